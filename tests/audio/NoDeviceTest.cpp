// A machine without any audio device: the assertion path and failures that are reported, not hidden.
#include "AudioFixtures.h"
#include "audio/Audio.h"
#include "audio/AudioPlayer.h"
#include "audio/AudioSequencer.h"
#include "audio/MicInput.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

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
};

TEST_F(NoDevice, InitialiseAssertsForBothDirectionsAndTheMicrophoneReportsIt)
{
    Audio::terminate();  // before initialisation: nothing to do
    Audio::terminate();
    EXPECT_FALSE(Audio::isInitialized());
    EXPECT_TRUE(Audio::initialize());
    if (!Audio::inputDeviceList().isEmpty())
        GTEST_SKIP() << "this machine has an audio device: " << qPrintable(Audio::inputDeviceList().join(", "));
    EXPECT_EQ(AssertRecorder::expressions(), (QStringList{"!idl.isEmpty()", "!odl.isEmpty()"}));
    EXPECT_TRUE(Audio::outputDeviceList().isEmpty());
    EXPECT_EQ(Audio::inputDeviceId(), -1);
    EXPECT_EQ(Audio::inputDeviceName() + "|" + Audio::outputDeviceName(), "Unknown Input Device|Unknown Output Device");
    AudioFixtures::MicRecorder listener(0);
    MicInput mic;
    mic.setSampleListener(&listener);
    EXPECT_EQ(mic.start(), 1);
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("no default input device")));
    EXPECT_FALSE(mic.isRunning());
    EXPECT_EQ(mic.stop(), 2);
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
    QTest::qWait(50);
    EXPECT_EQ(finished.count(), 0);
    EXPECT_EQ(started.count(), 0);
    EXPECT_EQ(LogCapture::instance().linesContaining(QStringLiteral("attempting to recover audio")).size(), 5);
    EXPECT_EQ(LogCapture::instance().linesContaining(QStringLiteral("failed to open stream")).size(), 5);
    EXPECT_EQ(Audio::activeAudioHandleCount(), 0);
    // The sequencer is usable afterwards.
    EXPECT_EQ(seq.prepare(), 0);
    EXPECT_EQ(seq.stop(false), 0);
    EXPECT_EQ(finished.count(), 0);

    // the player returns its failure to start
    QTemporaryDir dir;
    const QString ogg = dir.filePath("a.ogg");
    ASSERT_TRUE(AudioFixtures::writeOgg(ogg, AudioFixtures::sine(44100, 2, 440, 5000), 2, 44100));
    AudioPlayer* player = AudioPlayer::getInstance();
    QSignalSpy done(player, &AudioPlayer::playFinished);
    EXPECT_EQ(player->playFile(ogg, 0.0, 0.0), 4);
    EXPECT_FALSE(player->sequencer().isPlaying());
    QTest::qWait(50);
    EXPECT_EQ(done.count(), 0);
}

}  // namespace
