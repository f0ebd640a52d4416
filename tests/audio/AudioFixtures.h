#pragma once

#include "audio/AudioSequencerInputListener.h"
#include "audio/AudioSequencerMarkerEventListener.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>

#include <functional>
#include <vector>

class AudioBuffer;

// Sound fixtures made on the spot (nothing is downloaded).
namespace AudioFixtures {

// Interleaved 16-bit samples of `frames` frames; value(frame, channel).
QVector<short> makeSamples(int frames, int channels, const std::function<short(int, int)>& value);
QVector<short> sine(int frames, int channels, double hz, double amplitude, int rate = 44100);

// Encodes interleaved samples as Ogg Vorbis (oggenc); false when the encoder refuses.
bool writeOgg(const QString& path, const QVector<short>& interleaved, int channels, int rate);
bool writeBytes(const QString& path, const QByteArray& bytes);
// A 16-bit PCM WAV written by the system's own writer.
bool writeWav(const QString& path, const QVector<short>& interleaved, int channels, int rate);
// Samples of a 16-bit PCM WAV (the test card's speaker); empty when it cannot be read.
QVector<short> readWavSamples(const QString& path, int* channels = nullptr);
// A format-0 MIDI file with one track playing the notes (quarter notes at 120 bpm).
QByteArray midiFile(const QVector<int>& notes);

// Dominant frequency (1 Hz steps, Goertzel) between lowHz and highHz.
double dominantFrequency(const QVector<short>& mono, int rate, double lowHz, double highHz);
double rms(const short* samples, int count, int step = 1);

// A sequence without short repeats (period 65536), so that any window of it has one place.
short signature(qint64 index);
// A stereo 44100 Hz buffer holding the interleaved samples.
AudioBuffer* bufferOf(const QVector<short>& interleaved);
// One channel of a stereo buffer between two times in seconds.
QVector<short> channelOf(const AudioBuffer& buffer, int channel, double from = 0.0, double to = 1e9);
// signature(base), signature(base + 1), ...
QVector<short> signatureRun(qint64 base, int count);
// Index of the first of `count` samples that is not signature(base + index); -1 when all are.
qint64 signatureMismatch(const short* samples, qint64 count, qint64 base);
// A stereo 44100 Hz buffer whose left channel is signature(base + frame) and whose right channel is 0.
AudioBuffer* signatureBuffer(int frames, qint64 base);

// What an input region delivers, kept up to the capacity reserved up front (the callback must not allocate).
class InputRecorder : public AudioSequencerInputListener {
public:
    explicit InputRecorder(size_t capacity = 200000)
    {
        times.reserve(capacity);
        samples.reserve(capacity);
    }
    void newSample(double time, short sample) override
    {
        if (samples.size() < samples.capacity()) {
            times.push_back(time);
            samples.push_back(sample);
        }
    }
    std::vector<double> times;
    std::vector<short> samples;
};

class MarkerRecorder : public AudioSequencerMarkerEventListener {
public:
    void newMarker(int id, double time) override
    {
        ids << id;
        times << time;
    }
    QList<int> ids;
    QList<double> times;
};

}  // namespace AudioFixtures
