#pragma once

#include "audio/MicSampleListener.h"
#include "pitch/PitchListener.h"

#include <QObject>
#include <QString>

#include <atomic>

class MicInput;
class PitchDetector;

// The calibration's test mode: runs the pitch detector on the live microphone and reports every
// note it hears.
class PitchTesterListener : public QObject, public MicSampleListener, public PitchListener {
    Q_OBJECT
public:
    explicit PitchTesterListener(QObject* parent = nullptr);

    void setMicInput(MicInput* mic) { mp_mic = mic; }
    void setDetector(PitchDetector* detector) { mp_detector.store(detector, std::memory_order_release); }
    PitchDetector* detector() const { return mp_detector.load(std::memory_order_acquire); }

    // Becomes the microphone's sample listener and the detector's pitch listener, then starts the
    // microphone. Does nothing without a detector.
    void start();
    // Stops the microphone and leaves the detector: what it still had queued is dropped, and no
    // analysis calls this listener once this returns.
    void stop();

    // Microphone callback thread.
    void newSample(short sample) override;
    // Each sample also goes here (the live level), until cleared with the microphone stopped.
    void setLevelListener(MicSampleListener* listener) { mp_level.store(listener, std::memory_order_release); }
    // Detector worker thread.
    void newNote(const PitchDetector::NoteInfo& info) override;

signals:
    void noteEvent(QString noteName, int octave);

private:
    MicInput* mp_mic = nullptr;
    std::atomic<PitchDetector*> mp_detector{nullptr};
    std::atomic<MicSampleListener*> mp_level{nullptr};
};
