#pragma once

#include "audio/AudioStreamOwner.h"

#include <QByteArray>
#include <QObject>

#include <atomic>

// Plays a queue of interleaved stereo 16-bit PCM chunks through an output-only stream.
class AudioOutput : public QObject, public AudioStreamOwner {
    Q_OBJECT
public:
    AudioOutput();
    ~AudioOutput() override;

    // Opens and starts the (paused) stream; 0, or 3 on a PortAudio failure.
    int prepare(int tickIntervalMs);
    // Appends a chunk of durationMs (or of size bytes when 0), zero-padded; 0, or 2 when it cannot be
    // queued (out of memory, or while playing: the callback reads the queue without a lock).
    int addData(const unsigned char* data, unsigned long size, int durationMs);
    void reset();
    // Plays the queue, emitting tick() every tick interval until it ends; then stops.
    int start(int delayMs);
    // 0 stopped; 1 not running; 3 PortAudio failure. Emits playFinished() in every case.
    int stop();
    int getLatency() const { return m_latencyMs; }

    // The callback's work: copies frames from the queue, silence while paused; 1 at the end.
    int fillBuffer(short* out, unsigned long frames);

signals:
    void tick();
    void playFinished();

private:
    void audioStreamClosed(void* stream) override;

    QByteArray m_queue;
    std::atomic<qint64> m_readOffset{0};
    std::atomic<bool> m_paused{true};
    std::atomic<bool> m_running{false};
    // Written by the callback before it completes the stream; read once the stream has ended.
    struct LastBuffer {
        int offset = 0;
        int left = 0;
        int perBuffer = 0;
    };
    LastBuffer m_lastBuffer;
    std::atomic<bool> m_lastBufferFinished{false};
    int m_tickIntervalMs = 0;
    int m_latencyMs = 0;
    void* mp_stream = nullptr;
};
