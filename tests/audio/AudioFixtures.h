#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <functional>

class AudioBuffer;

// Sound fixtures made on the spot (nothing is downloaded).
namespace AudioFixtures {

// Interleaved 16-bit samples of `frames` frames; value(frame, channel).
QVector<short> makeSamples(int frames, int channels, const std::function<short(int, int)>& value);
QVector<short> sine(int frames, int channels, double hz, double amplitude, int rate = 44100);

// Encodes interleaved samples as Ogg Vorbis; false when the encoder refuses.
bool writeOgg(const QString& path, const QVector<short>& interleaved, int channels, int rate);
// Raw little-endian 16-bit samples (the test card's microphone).
bool writeRaw(const QString& path, const QVector<short>& samples);
// Little-endian 16-bit PCM WAV.
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
// A stereo 44100 Hz buffer whose left channel is signature(base + frame) and whose right channel is 0.
AudioBuffer* signatureBuffer(int frames, qint64 base);

}  // namespace AudioFixtures
