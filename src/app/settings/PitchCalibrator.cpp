#include "app/settings/PitchCalibrator.h"

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

PitchCalibrator::PitchCalibrator(QObject* parent)
    : QObject(parent), mp_calibrationListener(new PitchCalibrationListener), mp_tester(new PitchTesterListener),
      mp_mic(new MicInput), mp_fileCapture(new MicFileCapture(mp_mic))
{
    mp_calibrationListener->setMicInput(mp_mic);
    mp_tester->setMicInput(mp_mic);
    connect(mp_tester, &PitchTesterListener::noteEvent, this, &PitchCalibrator::onNoteEvent);
}

PitchCalibrator::~PitchCalibrator()
{
    if (mp_mic->isRunning())
        mp_mic->stop();
    // the detector outlives this object: it must not call a deleted tester
    if (mp_detector && mp_detector->mp_listener == mp_tester)
        mp_detector->mp_listener = nullptr;
    delete mp_calibrationListener;
    delete mp_tester;
    delete mp_fileCapture;
    delete mp_mic;
}

void PitchCalibrator::setDetector(PitchDetector* detector)
{
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
    mp_calibrationListener->start();
    m_calibrated = false;
    emit calibratedChanged();
    m_progress = 0;
    emit progressChanged();
    m_failReason.clear();
    emit failReasonChanged();
}

void PitchCalibrator::stopCapture()
{
    LOG_ENTRY(kChannel);
    mp_mic->stop();
}

void PitchCalibrator::calibrate()
{
    LOG_ENTRY(kChannel);
    const double p = mp_calibrationListener->peakAmplitude();
    LOG_DEBUG(kChannel, "largest sample %d (peak %f)", mp_calibrationListener->maximum(), p);
    if (p > kHeardThreshold) {
        m_calibrated = true;
        emit calibratedChanged();
    } else {
        m_failReason = QStringLiteral("Could not detect your input.  Is the microphone working?");
        emit failReasonChanged();
    }
    m_progress = 100;
    emit progressChanged();
    save();
}

void PitchCalibrator::abortCalibration()
{
    LOG_ENTRY(kChannel);
}

void PitchCalibrator::startTest()
{
    LOG_ENTRY(kChannel);
    if (!mp_detector) {
        LOG_WARN(kChannel, "this calibrator has no pitch detector; test mode not started");
        return;
    }
    mp_tester->setDetector(mp_detector);
    mp_tester->start();
}

void PitchCalibrator::stopTest()
{
    LOG_ENTRY(kChannel);
    mp_mic->stop();
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
