// The live level meter on a device that takes one opener per direction, as a hardware device does:
// the ALSA test card of scripts/test-env.sh behind the hook of OneOpenerAlsaHook.cpp.
#include "app/settings/InputLevelMeter.h"
#include "app/settings/PitchCalibrator.h"
#include "audio/Audio.h"
#include "audio/AudioFixtures.h"
#include "audio/AudioSequencer.h"
#include "audio/MicInput.h"
#include "debug/Debugging.h"
#include "exercise/MicNoteInputSource.h"
#include "pitch/PitchDetector.h"
#include "exercise/NoteInputManager.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <alsa/asoundlib.h>

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace {

using namespace AudioFixtures;

// An A4 of amplitude 8192 for a second: mean magnitude 8192 x 2/pi / 32767 = 0.159.
const double kToneLevel = 8192 * 2 / 3.141592653589793 / 32767;

class LevelMeterCardTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Debugging::setLoggingLevel(QsLogging::TraceLevel);
        NoteInputManager::getInstance()->initialize();
    }
    void SetUp() override
    {
        const char* alsaHome = std::getenv("ALSA_HOME");
        if (!alsaHome || !*alsaHome)
            GTEST_SKIP() << "the ALSA test card is not set up (ALSA_HOME unset); run through scripts/run-tests.sh";
        ASSERT_TRUE(m_dir.isValid());
        // the test card's own definition, and "onecard": the test card opened once per direction. The
        // hook sits below the file layer: above it, PortAudio would map the device's buffer and never
        // read the microphone's file, hearing whatever that buffer's memory held.
        QFile rc(m_dir.filePath(".asoundrc"));
        ASSERT_TRUE(rc.open(QIODevice::WriteOnly));
        rc.write(QStringLiteral("<%1/.asoundrc>\n"
                                "pcm_hook_type.brisola_one_opener {\n"
                                "    install \"brisola_one_opener_install\"\n"
                                "    lib \"%2\"\n"
                                "}\n"
                                "pcm.onceonly {\n"
                                "    type hooks\n"
                                "    slave.pcm \"null\"\n"
                                "    hooks.0 { type \"brisola_one_opener\" }\n"
                                "}\n"
                                "pcm.onecard {\n"
                                "    type asym\n"
                                "    capture.pcm {\n"
                                "        type file\n"
                                "        slave.pcm \"onceonly\"\n"
                                "        file \"/dev/null\"\n"
                                "        format \"raw\"\n"
                                "        infile { @func getenv vars [ TEST_MIC_RAW ] default \"/dev/zero\" }\n"
                                "    }\n"
                                "    playback.pcm {\n"
                                "        type file\n"
                                "        slave.pcm \"onceonly\"\n"
                                "        format \"wav\"\n"
                                "        file { @func getenv vars [ TEST_SPK_WAV ] default \"/dev/null\" }\n"
                                "    }\n"
                                "}\n")
                     .arg(QString::fromLocal8Bit(alsaHome), QStringLiteral(BRISOLA_ONE_OPENER_HOOK))
                     .toUtf8());
        rc.close();
        setenv("HOME", qPrintable(m_dir.path()), 1);  // ALSA reads it once, at the first initialisation
        QVector<short> mic = sine(44100, 1, 440.0, 8192);
        mic += QVector<short>(2 * 44100, 0);
        ASSERT_TRUE(writeBytes(m_dir.filePath("mic.raw"),
                               QByteArray(reinterpret_cast<const char*>(mic.constData()), mic.size() * 2)));
        setenv("TEST_MIC_RAW", qPrintable(m_dir.filePath("mic.raw")), 1);
        setenv("TEST_SPK_WAV", qPrintable(m_dir.filePath("spk.wav")), 1);
        ASSERT_TRUE(Audio::initialize());
        if (!Audio::inputDeviceList().contains("onecard"))
            GTEST_SKIP() << "PortAudio does not see the ALSA device \"onecard\"";
        Audio::setInputDevice("onecard");
        Audio::setOutputDevice("onecard");
        LogCapture::instance().clear();
    }

    QTemporaryDir m_dir;
};

// What the tests below stand on. (PortAudio itself is not asked: its ALSA host aborts the process on
// an input device that refuses it, with "PaAlsaStream_Initialize: Assertion ... nfds failed".)
TEST_F(LevelMeterCardTest, TheDeviceTakesOneOpenerPerDirection)
{
    snd_pcm_t* first = nullptr;
    snd_pcm_t* second = nullptr;
    snd_pcm_t* playback = nullptr;
    ASSERT_EQ(snd_pcm_open(&first, "onecard", SND_PCM_STREAM_CAPTURE, 0), 0);
    EXPECT_EQ(snd_pcm_open(&second, "onecard", SND_PCM_STREAM_CAPTURE, 0), -EBUSY);
    EXPECT_EQ(snd_pcm_open(&playback, "onecard", SND_PCM_STREAM_PLAYBACK, 0), 0);
    snd_pcm_close(first);
    ASSERT_EQ(snd_pcm_open(&second, "onecard", SND_PCM_STREAM_CAPTURE, 0), 0);
    snd_pcm_close(second);
    snd_pcm_close(playback);
}

// The question page's meter while a question runs: fed by the question's own input, so the question's
// stream is the only one and opens at once.
TEST_F(LevelMeterCardTest, MeterFollowsTheQuestionsOwnInput)
{
    MicNoteInputSource* mic = NoteInputManager::getInstance()->mp_micSource;
    ASSERT_TRUE(mic);
    AudioSequencer question(44100, 2);
    question.addInput(mic, 1.0, 0.0, true);
    question.prepare();
    mic->rewindCapture();

    InputLevelMeter meter;
    QSignalSpy levels(&meter, &InputLevelMeter::newInputLevel);
    // the page starts the meter before the question
    ASSERT_TRUE(QMetaObject::invokeMethod(&meter, "follow"));
    QSignalSpy finished(&question, &AudioSequencer::finished);
    ASSERT_EQ(question.play(), 0);
    ASSERT_TRUE(finished.count() > 0 || finished.wait(10000));
    EXPECT_FALSE(LogCapture::instance().contains("failed to open stream"));
    EXPECT_FALSE(LogCapture::instance().contains("attempting to recover audio"));
    EXPECT_FALSE(meter.sequencer().isPlaying());
    meter.deliverLevels();
    // every sample of the question's input region, in reports of 250
    EXPECT_EQ(levels.count(), 44100 / InputLevelMeter::kSamplesPerReport);
    double loudest = 0.0;
    for (const QList<QVariant>& level : levels)
        loudest = std::max(loudest, level.at(0).toDouble());
    EXPECT_NEAR(loudest, kToneLevel, 0.01);  // the file's tone, not whatever the buffer held

    // stopped, the meter hears no more of the next question
    QMetaObject::invokeMethod(&meter, "stop");
    const int reported = levels.count();
    question.prepare();
    mic->rewindCapture();
    ASSERT_EQ(question.play(), 0);
    ASSERT_TRUE(finished.wait(10000));
    meter.deliverLevels();
    EXPECT_EQ(levels.count(), reported);
}

// The settings screen: its meter runs a stream of its own until Calibrate or Test takes the
// microphone; then the meter hears the calibrator's stream, and gets its own back afterwards.
TEST_F(LevelMeterCardTest, CalibratorTakesTheMeterWhileItHoldsTheMicrophone)
{
    InputLevelMeter meter;
    PitchCalibrator calibrator;
    calibrator.setLevelMeter(&meter);
    calibrator.setDetector(NoteInputManager::getInstance()->mp_micSource->mp_detector);
    QSignalSpy levels(&meter, &InputLevelMeter::newInputLevel);
    meter.start();
    ASSERT_TRUE(meter.ownStream());

    QSignalSpy capturing(&calibrator, &PitchCalibrator::capturingChanged);
    calibrator.startCapture();
    ASSERT_TRUE(calibrator.capturing()) << qPrintable(calibrator.failReason());
    EXPECT_FALSE(meter.ownStream());
    ASSERT_TRUE(capturing.wait(10000));
    EXPECT_TRUE(calibrator.calibrated()) << qPrintable(calibrator.failReason());
    EXPECT_TRUE(meter.ownStream());
    meter.deliverLevels();
    double loudest = 0.0;
    for (const QList<QVariant>& level : levels)
        loudest = std::max(loudest, level.at(0).toDouble());
    EXPECT_NEAR(loudest, kToneLevel, 0.01);  // the capture's tone reached the meter

    calibrator.startTest();
    EXPECT_TRUE(calibrator.micInput()->isRunning());
    EXPECT_FALSE(meter.ownStream());
    calibrator.stopTest();
    EXPECT_TRUE(meter.ownStream());
    meter.stop();
    EXPECT_FALSE(LogCapture::instance().contains("Pa_OpenStream failed"));
}

} // namespace
