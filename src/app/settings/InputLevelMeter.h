#pragma once

#include "audio/AudioSequencer.h"
#include "audio/AudioSequencerInputListener.h"
#include "audio/MicSampleListener.h"

#include <QObject>
#include <QTimer>

#include <atomic>

// How loud the microphone is: the mean magnitude of every 250 input samples (0.0 to 1.0, about
// 176 reports a second), until stop(). start() listens through a stream of its own (the settings
// screen); follow() through the question's own input, the microphone note source's region, so that
// a running question's stream is the only one on the device (one that takes a single opener, as a
// hardware device does, would refuse the question's).
class InputLevelMeter : public QObject, public AudioSequencerInputListener, public MicSampleListener {
    Q_OBJECT
public:
    static const int kSamplesPerReport = 250;
    // 365 days: in effect, until stop()
    static constexpr double kInputSeconds = 31536000.0;

    explicit InputLevelMeter(QObject* parent = nullptr);
    ~InputLevelMeter() override;

    Q_INVOKABLE void start();
    Q_INVOKABLE void follow();
    // No stream of its own: samples come through newSample(short) from whoever holds the
    // microphone (the calibrator while it captures or tests).
    void takeFed();
    bool ownStream() const { return m_sequencer.isPlaying(); }
    Q_INVOKABLE void stop();

    const AudioSequencer& sequencer() const { return m_sequencer; }

    // Sequencer callback thread: no lock, no allocation; reports wait in a ring for the main thread.
    void newSample(double time, short sample) override;
    void newSample(short sample) override { newSample(0.0, sample); }
    // Main thread: emits the waiting reports in order. Runs by itself while the meter plays.
    void deliverLevels();

signals:
    void newInputLevel(double level);

private:
    static const quint32 kRingSize = 256;

    void resetCounts();

    AudioSequencer m_sequencer;
    QTimer m_delivery;
    bool m_following = false;
    bool m_fed = false;
    // the callback's own running count and sum
    quint64 m_count = 0;
    double m_sum = 0.0;
    double m_ring[kRingSize] = {};
    std::atomic<quint32> m_written{0};
    std::atomic<quint32> m_delivered{0};
};
