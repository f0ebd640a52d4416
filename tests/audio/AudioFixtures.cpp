#include "AudioFixtures.h"

#include "audio/AudioBuffer.h"
#include "audio/formats/WavWriter.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <cmath>

namespace AudioFixtures {

QVector<short> makeSamples(int frames, int channels, const std::function<short(int, int)>& value)
{
    QVector<short> out(frames * channels);
    for (int f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c)
            out[f * channels + c] = value(f, c);
    return out;
}

QVector<short> sine(int frames, int channels, double hz, double amplitude, int rate)
{
    return makeSamples(frames, channels, [=](int f, int) {
        return short(std::lround(amplitude * std::sin(2 * M_PI * hz * f / rate)));
    });
}

bool writeOgg(const QString& path, const QVector<short>& interleaved, int channels, int rate)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("source.wav"));
    if (!writeWav(wav, interleaved, channels, rate))
        return false;
    return QProcess::execute(QStringLiteral("oggenc"), {"-Q", "-q", "6", "-o", path, wav}) == 0;
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool writeWav(const QString& path, const QVector<short>& interleaved, int channels, int rate)
{
    WavDesc desc;
    desc.channels = uint16_t(channels);
    desc.sampleRate = uint32_t(rate);
    WavWriter writer;
    if (writer.open(path, desc) != 0)
        return false;
    writer.addData16(interleaved.constData(), interleaved.size());
    return true;  // the sizes are written as the writer closes
}

QVector<short> readWavSamples(const QString& path, int* channels)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = file.readAll();
    const int data = all.indexOf("data", 36);
    if (!all.startsWith("RIFF") || data < 0)
        return {};
    if (channels)
        *channels = qFromLittleEndian<quint16>(all.constData() + 22);
    // A writer that has not patched the size yet leaves 0 or all ones: take the rest of the file.
    qint64 size = qFromLittleEndian<quint32>(all.constData() + data + 4);
    if (size == 0 || data + 8 + size > all.size())
        size = all.size() - data - 8;
    QVector<short> out(int(size / 2));
    memcpy(out.data(), all.constData() + data + 8, size_t(out.size()) * 2);
    return out;
}

QByteArray midiFile(const QVector<int>& notes)
{
    // Tempo 500000 us per quarter (120 bpm), piano; each note a quarter of 480 ticks (delta "83 60").
    QByteArray track = QByteArray::fromHex("00ff5103 07a120 00c000");
    for (int note : notes)
        track += QByteArray::fromHex("0090") + char(note) + QByteArray::fromHex("64 8360 80") + char(note) + '\0';
    track += QByteArray::fromHex("00ff2f00");
    char length[4];
    qToBigEndian(quint32(track.size()), length);
    return "MThd" + QByteArray::fromHex("00000006 0000 0001 01e0") + "MTrk" + QByteArray(length, 4) + track;
}

double dominantFrequency(const QVector<short>& mono, int rate, double lowHz, double highHz)
{
    double best = 0, bestHz = 0;
    for (double hz = lowHz; hz <= highHz; hz += 1.0) {
        const double c = 2 * std::cos(2 * M_PI * hz / rate);
        double s1 = 0, s2 = 0;
        for (short x : mono) {
            const double s0 = x + c * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double p = s1 * s1 + s2 * s2 - c * s1 * s2;
        if (p > best) {
            best = p;
            bestHz = hz;
        }
    }
    return bestHz;
}

double rms(const short* samples, int count, int step)
{
    double sum = 0;
    int n = 0;
    for (int i = 0; i < count; i += step, ++n)
        sum += double(samples[i]) * samples[i];
    return n ? std::sqrt(sum / n) : 0.0;
}

short signature(qint64 index)
{
    // 40503 is odd, so index -> 40503 x index is a bijection modulo 65536.
    return short(quint16((index * 40503 + 12345) & 0xffff));
}

QVector<short> signatureRun(qint64 base, int count)
{
    return makeSamples(count, 1, [base](int f, int) { return signature(base + f); });
}

qint64 signatureMismatch(const short* samples, qint64 count, qint64 base)
{
    for (qint64 i = 0; i < count; ++i)
        if (samples[i] != signature(base + i))
            return i;
    return -1;
}

AudioBuffer* bufferOf(const QVector<short>& interleaved)
{
    auto* b = new AudioBuffer(2, 0, 44100);
    b->addSamples(interleaved.constData(), interleaved.size(), 0.0, 1.0);
    return b;
}

QVector<short> channelOf(const AudioBuffer& buffer, int channel, double from, double to)
{
    QVector<short> out;
    const qint64 end = qMin<qint64>(buffer.getSampleCount(), 2 * qint64(qMin(to, 1e5) * buffer.getSampleRate()));
    for (qint64 i = 2 * qint64(from * buffer.getSampleRate()) + channel; i < end; i += 2)
        out << buffer.getSamples()[int(i)];
    return out;
}

AudioBuffer* signatureBuffer(int frames, qint64 base)
{
    return bufferOf(makeSamples(frames, 2, [base](int f, int c) { return c == 0 ? signature(base + f) : short(0); }));
}

}  // namespace AudioFixtures
