#pragma once

#include "audio/MicSampleListener.h"

#include <QObject>
#include <QString>

#include <atomic>

class MicInput;

// Listens to the microphone for the loudest sample, from which the calibration derives the
// microphone's peak amplitude. A capture takes a fixed number of samples: it lasts as long as the
// microphone needs to deliver them, however the screen's clock runs.
class PitchCalibrationListener : public QObject, public MicSampleListener {
    Q_OBJECT
public:
    explicit PitchCalibrationListener(QObject* parent = nullptr);

    void setMicInput(MicInput* mic) { mp_mic = mic; }
    // Forgets the maximum and the count, then starts the microphone with this object as its
    // listener; samples past `samples` are left out. False when the microphone did not start.
    bool start(qint64 samples = kUnlimited);
    void stop();

    double noiseFloor() const { return 0.0; }
    // The largest magnitude since start(), as a fraction of 32768.
    double peakAmplitude() const { return maximum() * 3.0517578125e-5; }
    int maximum() const { return m_maximum.load(std::memory_order_acquire); }
    // Samples taken since start(), at most the limit.
    qint64 samplesTaken() const { return m_taken.load(std::memory_order_acquire); }

    // Microphone callback thread.
    void newSample(short sample) override;
    // Each sample also goes here (the live level), until cleared with the microphone stopped.
    void setLevelListener(MicSampleListener* listener) { mp_level.store(listener, std::memory_order_release); }

    static constexpr qint64 kUnlimited = qint64(1) << 62;

signals:
    void noteEvent(QString noteName, int octave);

private:
    MicInput* mp_mic = nullptr;
    // written on the microphone's thread, read by the calibrator on the main thread
    std::atomic<int> m_maximum{0};
    std::atomic<qint64> m_taken{0};
    std::atomic<qint64> m_limit{kUnlimited};
    std::atomic<MicSampleListener*> mp_level{nullptr};
};
