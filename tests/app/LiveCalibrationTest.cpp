// The settings screen's microphone check in real time, on the private PulseAudio of
// scripts/test-env.sh: a tone played into sink "mic" is what the microphone hears.
#include "SettingsFixture.h"

#include "app/settings/InputLevelMeter.h"
#include "app/settings/PitchCalibrationListener.h"
#include "app/settings/PitchCalibrator.h"
#include "app/settings/Settings.h"
#include "audio/Audio.h"
#include "audio/AudioFixtures.h"
#include "exercise/MicNoteInputSource.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

using namespace AudioFixtures;

// An A4 of amplitude 12000: mean magnitude 12000 x 2/pi / 32767 = 0.233, peak 0.366.
const double kMeanLevel = 12000 * 2 / 3.141592653589793 / 32767;

class LiveCalibrationTest : public SettingsFixture {
protected:
    void SetUp() override
    {
        if (!std::getenv("PULSE_SERVER"))
            GTEST_SKIP() << "needs the private PulseAudio of scripts/test-env.sh";
        SettingsFixture::SetUp();
        ASSERT_TRUE(Audio::initialize());
        if (!Audio::inputDeviceList().contains("default"))
            GTEST_SKIP() << "PortAudio sees no PulseAudio device";
        Audio::setInputDevice("default");
        Audio::setOutputDevice("default");
        m_tone = m_dir.filePath("a4.wav");
        ASSERT_TRUE(writeWav(m_tone, sine(3 * 44100, 1, 440.0, 12000), 1, 44100));
    }
    void TearDown() override
    {
        m_feeder.kill();
        m_feeder.waitForFinished(2000);
        SettingsFixture::TearDown();
    }
    void playTone()
    {
        m_feeder.start("paplay", {"-d", "mic", m_tone});
        ASSERT_TRUE(m_feeder.waitForStarted(5000));
    }
    static double maxLevel(const QSignalSpy& spy, int from)
    {
        double m = 0.0;
        for (int i = from; i < spy.count(); ++i)
            m = std::max(m, spy.at(i).at(0).toDouble());
        return m;
    }

    QString m_tone;
    QProcess m_feeder;
};

TEST_F(LiveCalibrationTest, ToneMovesTheMeterTestModeNamesItAndCalibrationStoresItsPeak)
{
    InputLevelMeter meter;
    QSignalSpy levels(&meter, &InputLevelMeter::newInputLevel);
    meter.start();
    // a loaded machine may start the stream late: wait for it, then for a third of a second of silence
    ASSERT_TRUE(levels.wait(5000));
    QTest::qWait(350);
    const int beforeTone = levels.count();
    EXPECT_GT(beforeTone, 30);  // about 176 a second
    const double quiet = maxLevel(levels, 0);
    EXPECT_LT(quiet, 0.01);
    playTone();
    QTest::qWait(1500);
    meter.stop();
    const double heard = maxLevel(levels, beforeTone);
    std::printf("level meter: %d reports (%d before the tone), %.3f before the tone, %.3f with it (expected %.3f)\n",
                levels.count(), beforeTone, quiet, heard, kMeanLevel);
    EXPECT_NEAR(heard, kMeanLevel, 0.03);
    m_feeder.waitForFinished(5000);

    PitchCalibrator calibrator;
    calibrator.setDetector(NoteInputManager::getInstance()->mp_micSource->mp_detector);
    QSignalSpy notes(&calibrator, &PitchCalibrator::testNote);
    calibrator.startTest();
    playTone();
    QStringList heardNotes;
    for (int i = 0; i < 40 && !heardNotes.contains("A4"); ++i) {
        notes.wait(100);
        heardNotes.clear();
        for (const QList<QVariant>& n : notes)
            heardNotes << n.at(0).toString() + n.at(1).toString();
    }
    calibrator.stopTest();
    std::printf("test mode heard: %s\n", qPrintable(heardNotes.join(' ')));
    EXPECT_TRUE(heardNotes.contains("A4"));
    m_feeder.waitForFinished(5000);

    calibrator.startCapture();
    playTone();
    QTest::qWait(1500);
    calibrator.calibrate();
    calibrator.stopCapture();
    EXPECT_TRUE(calibrator.calibrated());
    const double stored = rows().value("input_mic_peak_amplitude").toDouble();
    std::printf("calibration: largest sample %.3f, peak amplitude stored %.4f\n", stored / 2, stored);
    EXPECT_NEAR(stored, 2 * 12000 / 32768.0, 0.02);
    EXPECT_EQ(rows().value("input_mic_calibrated"), "true");
}

// Another stream's recovery terminates the device layer, and every stream with it: the capture's
// microphone stops delivering, which is said, and the stored calibration stays.
TEST_F(LiveCalibrationTest, MicrophoneThatStopsMidCaptureFailsAndKeepsTheStoredCalibration)
{
    ASSERT_TRUE(store("input_mic_calibrated", "true"));
    ASSERT_TRUE(store("input_mic_peak_amplitude", "0.5"));
    Settings::getInstance()->load();
    const QMap<QString, QString> before = rows();
    PitchCalibrator calibrator;
    QSignalSpy capturing(&calibrator, &PitchCalibrator::capturingChanged);
    playTone();
    calibrator.startCapture();
    ASSERT_TRUE(calibrator.capturing());
    for (int i = 0; i < 100 && calibrator.calibrationListener()->samplesTaken() < 44100 / 4; ++i)
        QTest::qWait(50);
    ASSERT_GT(calibrator.calibrationListener()->samplesTaken(), 0);
    Audio::terminate();
    ASSERT_TRUE(capturing.wait(PitchCalibrator::kStallMs + 2000));
    EXPECT_FALSE(calibrator.capturing());
    EXPECT_LT(calibrator.calibrationListener()->samplesTaken(), PitchCalibrator::kCaptureSamples);
    EXPECT_EQ(calibrator.failReason(),
              QString("The microphone stopped sending sound.  Is it still connected?  The earlier calibration is kept."));
    EXPECT_TRUE(calibrator.calibrated());
    EXPECT_EQ(rows(), before);
    EXPECT_TRUE(LogCapture::instance().contains("then nothing for"));
}

} // namespace
