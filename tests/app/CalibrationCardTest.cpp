// The calibration's capture on the ALSA test card of scripts/test-env.sh, whose microphone reads
// $TEST_MIC_RAW faster than real time: a capture is as long as its samples, never the clock's.
#include "SettingsFixture.h"

#include "app/settings/PitchCalibrationListener.h"
#include "app/settings/PitchCalibrator.h"
#include "app/settings/Settings.h"
#include "audio/Audio.h"
#include "audio/AudioFixtures.h"
#include "audio/MicInput.h"
#include "exercise/MicNoteInputSource.h"
#include "pitch/PitchDetector.h"

#include <QSignalSpy>

#include <cstdlib>

namespace {

using namespace AudioFixtures;

PitchDetector* detector()
{
    return NoteInputManager::getInstance()->mp_micSource->mp_detector;
}

class CalibrationCardTest : public SettingsFixture {
protected:
    void SetUp() override
    {
        const char* home = std::getenv("ALSA_HOME");
        if (!home || !*home)
            GTEST_SKIP() << "the ALSA test card is not set up (ALSA_HOME unset); run through scripts/run-tests.sh";
        setenv("HOME", home, 1);  // where ALSA finds the test card, read once
        SettingsFixture::SetUp();
        ASSERT_TRUE(Audio::initialize());
        if (!Audio::inputDeviceList().contains("testcard"))
            GTEST_SKIP() << "PortAudio does not see the ALSA device \"testcard\"";
        Audio::setInputDevice("testcard");
        Audio::setOutputDevice("testcard");
        m_calibrator.setDetector(detector());
    }
    // The microphone's samples: amplitude `loud` up to `seconds`, then `later` for a second.
    void microphone(double seconds, short loud, short later)
    {
        QVector<short> mic = sine(int(seconds * 44100), 1, 440.0, loud);
        mic += sine(44100, 1, 440.0, later);
        mic += QVector<short>(44100, 0);
        const QString raw = m_dir.filePath("mic.raw");
        ASSERT_TRUE(writeBytes(raw, QByteArray(reinterpret_cast<const char*>(mic.constData()), mic.size() * 2)));
        setenv("TEST_MIC_RAW", qPrintable(raw), 1);
    }
    // Runs a capture to its own end; false when it did not end within the time.
    bool capture(int ms = 10000)
    {
        QSignalSpy ended(&m_calibrator, &PitchCalibrator::capturingChanged);
        m_calibrator.startCapture();
        if (!m_calibrator.capturing())
            return true;  // refused at once
        return ended.wait(ms) && !m_calibrator.capturing();
    }

    PitchCalibrator m_calibrator;
};

TEST_F(CalibrationCardTest, CaptureTakesFourSecondsOfSamplesAndEndsByItself)
{
    // 8000 for a little over four seconds, then a louder note the capture must not reach
    microphone(4.05, 8000, 30000);
    QSignalSpy progress(&m_calibrator, &PitchCalibrator::progressChanged);
    ASSERT_TRUE(capture());
    EXPECT_EQ(m_calibrator.calibrationListener()->samplesTaken(), 4 * 44100);
    EXPECT_NEAR(m_calibrator.calibrationListener()->maximum(), 8000, 2);
    EXPECT_TRUE(m_calibrator.calibrated());
    EXPECT_EQ(m_calibrator.progress(), 100);
    EXPECT_GE(progress.count(), 2);  // from 0 to 100
    EXPECT_EQ(m_calibrator.failReason(), QString());
    EXPECT_FALSE(m_calibrator.micInput()->isRunning());
    EXPECT_NEAR(rows().value("input_mic_peak_amplitude").toDouble(), 2 * 8000 / 32768.0, 1e-3);
    EXPECT_EQ(rows().value("input_mic_calibrated"), "true");

    // again: the second capture's values replace the first's
    microphone(4.5, 12000, 0);
    ASSERT_TRUE(capture());
    EXPECT_TRUE(m_calibrator.calibrated());
    EXPECT_NEAR(rows().value("input_mic_peak_amplitude").toDouble(), 2 * 12000 / 32768.0, 1e-3);
    EXPECT_NEAR(detector()->m_peakAmplitude, 2 * 12000 / 32768.0, 1e-3);
    EXPECT_EQ(AssertRecorder::count(), 0);
}

TEST_F(CalibrationCardTest, FailedCaptureKeepsTheStoredCalibration)
{
    microphone(4.5, 12000, 0);
    ASSERT_TRUE(capture());
    ASSERT_TRUE(m_calibrator.calibrated());
    const QMap<QString, QString> good = rows();
    const double peak = detector()->m_peakAmplitude;

    // nothing heard for four seconds, then a note too late for the capture
    microphone(4.0, 0, 20000);
    ASSERT_TRUE(capture());
    EXPECT_EQ(m_calibrator.failReason(),
              QString("Could not detect your input.  Is the microphone working?  The earlier calibration is kept."));
    EXPECT_TRUE(m_calibrator.calibrated());
    EXPECT_EQ(rows(), good);
    EXPECT_DOUBLE_EQ(detector()->m_peakAmplitude, peak);
    EXPECT_TRUE(LogCapture::instance().contains("the stored calibration is kept"));

    // a microphone that cannot be opened: said at once, nothing stored
    setenv("TEST_MIC_RAW", qPrintable(m_dir.filePath("missing.raw")), 1);
    ASSERT_TRUE(capture());
    EXPECT_FALSE(m_calibrator.capturing());
    EXPECT_TRUE(m_calibrator.failReason().startsWith("Could not open the microphone.")) << qPrintable(m_calibrator.failReason());
    EXPECT_EQ(rows(), good);

    // abandoned (the screen left while capturing): nothing stored either
    microphone(4.0, 20000, 20000);
    m_calibrator.startCapture();
    m_calibrator.stopCapture();
    EXPECT_FALSE(m_calibrator.capturing());
    EXPECT_TRUE(m_calibrator.calibrated());
    EXPECT_EQ(rows(), good);
    EXPECT_EQ(AssertRecorder::count(), 0);
}

} // namespace
