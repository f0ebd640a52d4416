#pragma once

#include <QVector>

// Interleaved signed 16-bit samples with their channel count, sample format and rate.
// Everything the system plays passes through one of these.
class AudioBuffer {
public:
    AudioBuffer(int channelCount, int sampleFormat, int sampleRate);
    virtual ~AudioBuffer();

    int getChannelCount() const { return m_channelCount; }
    int getSampleFormat() const { return m_sampleFormat; }
    int getSampleRate() const { return m_sampleRate; }
    int getSampleCount() const { return m_samples.size(); }
    const QVector<short>& getSamples() const { return m_samples; }
    QVector<short>& getSamples() { return m_samples; }
    // Seconds: sample count / channels / rate.
    double duration() const;
    // trunc(channels x (rate x seconds)); 0 for negative or non-finite times.
    qint64 sampleIndexAt(double seconds) const;

    // Appends count samples scaled by gain; with minSeconds > 0.001 the block is exactly that long
    // (cut or zero-padded). Always 0.
    int addSamples(const short* samples, int count, double minSeconds, double gain);
    // Keeps the window [offset, offset + duration) in place; a duration of 0 keeps the rest.
    // Negative values count as 0.
    void shrink(double offset, double duration);

private:
    int m_channelCount;
    int m_sampleFormat;
    int m_sampleRate;
    QVector<short> m_samples;
};
