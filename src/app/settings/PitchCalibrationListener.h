#pragma once

#include "audio/MicSampleListener.h"

#include <QObject>
#include <QString>

#include <atomic>

class MicInput;

// Listens to the microphone for the loudest sample, from which the calibration derives the
// microphone's peak amplitude.
class PitchCalibrationListener : public QObject, public MicSampleListener {
    Q_OBJECT
public:
    explicit PitchCalibrationListener(QObject* parent = nullptr);

    void setMicInput(MicInput* mic) { mp_mic = mic; }
    // Forgets the maximum and starts the microphone with this object as its listener.
    void start();
    void stop();

    double noiseFloor() const { return 0.0; }
    // The largest magnitude since start(), as a fraction of 32768.
    double peakAmplitude() const { return maximum() * 3.0517578125e-5; }
    int maximum() const { return m_maximum.load(std::memory_order_acquire); }

    // Microphone callback thread.
    void newSample(short sample) override;

signals:
    void noteEvent(QString noteName, int octave);

private:
    MicInput* mp_mic = nullptr;
    // written on the microphone's thread, read by calibrate() on the main thread
    std::atomic<int> m_maximum{0};
};
