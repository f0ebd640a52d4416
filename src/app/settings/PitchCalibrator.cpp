#include "app/settings/PitchCalibrator.h"

#include "app/settings/InputLevelMeter.h"
#include "app/settings/PitchCalibrationListener.h"
#include "app/settings/PitchTesterListener.h"
#include "app/settings/Settings.h"
#include "audio/MicFileCapture.h"
#include "audio/MicInput.h"
#include "debug/Debugging.h"
#include "pitch/PitchDetector.h"

#include <algorithm>

static const char* const kChannel = "zq-calibrator";
// below this nothing was heard (about 328 of 32768)
static const double kHeardThreshold = 0.01;
// how often the main thread looks at the capture's count
static const int kWatchIntervalMs = 50;

PitchCalibrator::PitchCalibrator(QObject* parent)
    : QObject(parent), mp_calibrationListener(new PitchCalibrationListener), mp_tester(new PitchTesterListener),
      mp_mic(new MicInput), mp_fileCapture(new MicFileCapture(mp_mic))
{
    mp_calibrationListener->setMicInput(mp_mic);
    mp_tester->setMicInput(mp_mic);
    connect(mp_tester, &PitchTesterListener::noteEvent, this, &PitchCalibrator::onNoteEvent);
    m_captureWatch.setInterval(kWatchIntervalMs);
    connect(&m_captureWatch, &QTimer::timeout, this, &PitchCalibrator::watchCapture);
}

PitchCalibrator::~PitchCalibrator()
{
    m_captureWatch.stop();
    // the detector outlives this object: it must not call a deleted tester
    mp_tester->stop();
    // the meter may be gone already (a sibling made before this object); it is not started again
    mp_calibrationListener->setLevelListener(nullptr);
    mp_tester->setLevelListener(nullptr);
    delete mp_calibrationListener;
    delete mp_tester;
    delete mp_fileCapture;
    delete mp_mic;
}

void PitchCalibrator::setDetector(PitchDetector* detector)
{
    // a detector taken away (the program's end deletes it next) is left by a test still running
    if (detector != mp_detector && mp_tester->detector()) {
        mp_tester->stop();
        mp_tester->setDetector(nullptr);
    }
    mp_detector = detector;
}

void PitchCalibrator::setCalibrated(bool calibrated)
{
    m_calibrated = calibrated;
    emit calibratedChanged();
}

double PitchCalibrator::peakAmplitudeFor(double p)
{
    if (p < kHeardThreshold)
        return 1.0;
    if (p < 0.5)
        return 2.0 * p;
    return std::min(1.5 * p, 1.0);
}

void PitchCalibrator::startCapture()
{
    LOG_ENTRY(kChannel);
    if (m_capturing) {
        LOG_DEBUG(kChannel, "a capture is running already");
        return;
    }
    m_calibrated = false;
    emit calibratedChanged();
    m_progress = 0;
    emit progressChanged();
    setFailReason(QString());
    m_lastTaken = 0;
    m_sinceLastSample.start();
    takeMeter();
    if (!mp_calibrationListener->start(kCaptureSamples)) {
        returnMeter();
        keepStoredCalibration(QStringLiteral("Could not open the microphone.  Is it connected and chosen as the input device?"));
        return;
    }
    setCapturing(true);
    m_captureWatch.start();
}

void PitchCalibrator::stopCapture()
{
    LOG_ENTRY(kChannel);
    if (m_capturing) {
        LOG_INFO(kChannel, "capture abandoned after %lld samples; nothing stored",
                 static_cast<long long>(mp_calibrationListener->samplesTaken()));
        endCapture();
        m_calibrated = Settings::getInstance()->input_mic_calibrated();
        emit calibratedChanged();
        return;
    }
    if (mp_mic->isRunning())
        mp_mic->stop();
}

void PitchCalibrator::watchCapture()
{
    const qint64 taken = mp_calibrationListener->samplesTaken();
    if (taken >= kCaptureSamples) {
        calibrate();
        return;
    }
    const int progress = int(taken * 100 / kCaptureSamples);
    if (progress != m_progress) {
        m_progress = progress;
        emit progressChanged();
    }
    if (taken != m_lastTaken) {
        m_lastTaken = taken;
        m_sinceLastSample.restart();
        return;
    }
    const int limit = taken == 0 ? kFirstSamplesMs : kStallMs;
    if (m_sinceLastSample.elapsed() < limit)
        return;
    LOG_WARN(kChannel, "the microphone delivered %lld of %lld samples, then nothing for %d ms",
             static_cast<long long>(taken), static_cast<long long>(kCaptureSamples), limit);
    endCapture();
    keepStoredCalibration(QStringLiteral("The microphone stopped sending sound.  Is it still connected?"));
}

void PitchCalibrator::endCapture()
{
    m_captureWatch.stop();
    if (mp_mic->isRunning())
        mp_mic->stop();
    returnMeter();
    setCapturing(false);
}

void PitchCalibrator::takeMeter()
{
    if (!mp_meter || m_meterTaken || !mp_meter->ownStream())
        return;
    mp_meter->takeFed();
    mp_calibrationListener->setLevelListener(mp_meter);
    mp_tester->setLevelListener(mp_meter);
    m_meterTaken = true;
}

void PitchCalibrator::returnMeter()
{
    // the microphone has stopped: no callback uses the meter any more
    mp_calibrationListener->setLevelListener(nullptr);
    mp_tester->setLevelListener(nullptr);
    if (!m_meterTaken)
        return;
    m_meterTaken = false;
    mp_meter->start();
}

void PitchCalibrator::keepStoredCalibration(const QString& reason)
{
    m_calibrated = Settings::getInstance()->input_mic_calibrated();
    emit calibratedChanged();
    LOG_INFO(kChannel, "calibration failed (%s); the stored calibration is kept", qPrintable(reason));
    setFailReason(m_calibrated ? reason + QStringLiteral("  The earlier calibration is kept.") : reason);
    m_progress = 100;
    emit progressChanged();
}

void PitchCalibrator::setFailReason(const QString& reason)
{
    m_failReason = reason;
    emit failReasonChanged();
}

void PitchCalibrator::setCapturing(bool capturing)
{
    if (m_capturing == capturing)
        return;
    m_capturing = capturing;
    emit capturingChanged();
}

void PitchCalibrator::calibrate()
{
    LOG_ENTRY(kChannel);
    if (m_capturing)
        endCapture();
    const double p = mp_calibrationListener->peakAmplitude();
    LOG_DEBUG(kChannel, "largest sample %d (peak %f) of %lld samples", mp_calibrationListener->maximum(), p,
              static_cast<long long>(mp_calibrationListener->samplesTaken()));
    if (!(p > kHeardThreshold)) {
        keepStoredCalibration(QStringLiteral("Could not detect your input.  Is the microphone working?"));
        return;
    }
    m_calibrated = true;
    emit calibratedChanged();
    m_progress = 100;
    emit progressChanged();
    save();
}

void PitchCalibrator::startTest()
{
    LOG_ENTRY(kChannel);
    if (!mp_detector) {
        LOG_WARN(kChannel, "this calibrator has no pitch detector; test mode not started");
        return;
    }
    mp_tester->setDetector(mp_detector);
    takeMeter();
    mp_tester->start();
    if (!mp_mic->isRunning())
        returnMeter();
}

void PitchCalibrator::stopTest()
{
    LOG_ENTRY(kChannel);
    mp_tester->stop();
    returnMeter();
}

void PitchCalibrator::onNoteEvent(QString note, int octave)
{
    emit testNote(note, octave);
}

void PitchCalibrator::load()
{
    LOG_ENTRY(kChannel);
    Settings* settings = Settings::getInstance();
    if (mp_detector) {
        mp_detector->m_noiseFloor = settings->input_mic_noise_floor();
        mp_detector->m_peakAmplitude = settings->input_mic_peak_amplitude();
    } else {
        LOG_WARN(kChannel, "this calibrator has no pitch detector; thresholds not loaded");
    }
    m_calibrated = settings->input_mic_calibrated();
}

void PitchCalibrator::save()
{
    LOG_ENTRY(kChannel);
    Settings* settings = Settings::getInstance();
    settings->set_input_mic_noise_floor(0.0);
    settings->set_input_mic_peak_amplitude(peakAmplitudeFor(mp_calibrationListener->peakAmplitude()));
    settings->set_input_mic_calibrated(m_calibrated);
}
