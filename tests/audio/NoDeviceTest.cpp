// A fresh process on a machine without any audio device and with no SoundFont loaded: the assertion
// path and failures that are reported, not hidden.
#include "AudioFixtures.h"
#include "audio/Audio.h"
#include "audio/AudioBuffer.h"
#include "audio/AudioPlayer.h"
#include "audio/AudioSequencer.h"
#include "audio/MicFileCapture.h"
#include "audio/MicInput.h"
#include "audio/StdioCapture.h"
#include "audio/midi/MidiSynth.h"
#include "debug/Debugging.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>

namespace {

// Hides every device before PortAudio first looks: no PulseAudio, no test card.
class NoDevice : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static QTemporaryDir emptyHome;
        unsetenv("PULSE_SERVER");
        setenv("HOME", qPrintable(emptyHome.path()), 1);
    }
    void SetUp() override
    {
        AssertRecorder::clear();
        LogCapture::instance().clear();
    }
    QTemporaryDir m_dir;
};

TEST_F(NoDevice, InitialiseAssertsForBothDirectionsAndTheMicrophoneReportsIt)
{
    Debugging::setLoggingLevel(QsLogging::DebugLevel);
    StdioCapture printed;
    EXPECT_TRUE(Audio::initialize());
    const QStringList shown = printed.finish();
    Debugging::setLoggingLevel(QsLogging::InfoLevel);
    if (!Audio::inputDeviceList().isEmpty())
        GTEST_SKIP() << "this machine has an audio device: " << qPrintable(Audio::inputDeviceList().join(", "));
    // the back ends' complaints about missing cards and servers go to the log, not to the terminal
    EXPECT_EQ(shown.filter(QRegularExpression("ALSA|[Jj]ack|server")), QStringList());
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("ALSA lib")));
    EXPECT_EQ(AssertRecorder::expressions(), (QStringList{"!idl.isEmpty()", "!odl.isEmpty()"}));
    EXPECT_EQ(Audio::inputDeviceName() + "|" + Audio::outputDeviceName(), "Unknown Input Device|Unknown Output Device");
    MicInput mic;
    MicFileCapture capture(&mic);  // the microphone's listener
    capture.start(m_dir.filePath("capture.wav"));
    EXPECT_EQ(mic.start(), 1);
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("no default input device")));
    EXPECT_FALSE(mic.isRunning());
}

TEST_F(NoDevice, FailedPlayIsNotPlayingAndAnnouncesNothing)
{
    Audio::initialize();
    AudioSequencer seq(44100, 2);
    seq.addSilence(1.0, 0.0, true);
    seq.prepare();
    QSignalSpy started(&seq, &AudioSequencer::started);
    QSignalSpy finished(&seq, &AudioSequencer::finished);
    EXPECT_EQ(seq.play(), 4);
    EXPECT_FALSE(seq.isPlaying());
    EXPECT_EQ(LogCapture::instance().linesContaining(QStringLiteral("attempting to recover audio")).size(), 5);
    EXPECT_EQ(LogCapture::instance().linesContaining(QStringLiteral("failed to open stream")).size(), 5);
    EXPECT_TRUE(seq.lastError().startsWith("failed to open stream (")) << seq.lastError().toStdString();
    EXPECT_EQ(Audio::activeAudioHandleCount(), 0);
    // The sequencer is usable afterwards.
    EXPECT_EQ(seq.prepare(), 0);
    EXPECT_EQ(seq.stop(false), 0);

    // the player returns its failure to start
    const QString ogg = m_dir.filePath("a.ogg");
    ASSERT_TRUE(AudioFixtures::writeOgg(ogg, AudioFixtures::sine(44100, 2, 440, 5000), 2, 44100));
    AudioPlayer* player = AudioPlayer::getInstance();
    QSignalSpy done(player, &AudioPlayer::playFinished);
    EXPECT_EQ(player->playFile(ogg, 0.0, 0.0), 4);
    EXPECT_FALSE(player->sequencer().isPlaying());
    QTest::qWait(50);
    EXPECT_EQ(finished.count() + started.count() + done.count(), 0);
}

TEST_F(NoDevice, SynthesizerWithoutSoundFontRefusesToRender)
{
    const QString fake = m_dir.filePath("fake.sf2");
    ASSERT_TRUE(AudioFixtures::writeBytes(fake, QByteArray(1000, 'q')));
    EXPECT_EQ(MidiSynth::instance()->initialize(fake), 3);
    EXPECT_TRUE(LogCapture::instance().contains(fake + QStringLiteral(" is not a soundfont")));
    EXPECT_EQ(MidiSynth::instance()->initialize(m_dir.filePath("absent.sf2")), 3);
    const QString midi = m_dir.filePath("a.mid");
    ASSERT_TRUE(AudioFixtures::writeBytes(midi, AudioFixtures::midiFile({60})));
    AudioBuffer buffer(2, 0, 44100);
    EXPECT_EQ(MidiSynth::instance()->renderToAudioBuffer(midi, buffer), 1);
    EXPECT_EQ(buffer.getSampleCount(), 0);
    EXPECT_EQ(MidiSynth::instance()->renderToPcmFile(midi, m_dir.filePath("x.raw")), 1);
}

}  // namespace
