#include "AudioFixtures.h"

#include "audio/AudioBuffer.h"

#include <QFile>

#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdlib>
#include <ctime>

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
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, channels, rate, 0.6f) != 0) {
        vorbis_info_clear(&vi);
        return false;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 1234);
    ogg_packet header, comm, code;
    vorbis_analysis_headerout(&vd, &vc, &header, &comm, &code);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &comm);
    ogg_stream_packetin(&os, &code);
    ogg_page og;
    auto writePage = [&] {
        file.write(reinterpret_cast<const char*>(og.header), og.header_len);
        file.write(reinterpret_cast<const char*>(og.body), og.body_len);
    };
    while (ogg_stream_flush(&os, &og) != 0)
        writePage();
    // One analysis buffer for the whole signal, then the end of stream: the encoder splits it into blocks.
    const int frames = interleaved.size() / channels;
    float** buf = vorbis_analysis_buffer(&vd, frames);
    for (int f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c)
            buf[c][f] = interleaved[f * channels + c] / 32768.0f;
    vorbis_analysis_wrote(&vd, frames);
    vorbis_analysis_wrote(&vd, 0);
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
        vorbis_analysis(&vb, nullptr);
        vorbis_bitrate_addblock(&vb);
        ogg_packet op;
        while (vorbis_bitrate_flushpacket(&vd, &op)) {
            ogg_stream_packetin(&os, &op);
            while (ogg_stream_pageout(&os, &og) != 0)
                writePage();
        }
    }
    while (ogg_stream_flush(&os, &og) != 0)
        writePage();
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return true;
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool writeRaw(const QString& path, const QVector<short>& samples)
{
    return writeBytes(path, QByteArray(reinterpret_cast<const char*>(samples.constData()), samples.size() * 2));
}

static void put16(QByteArray& b, int v)
{
    b.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
}

static void put32(QByteArray& b, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xff));
}

bool writeWav(const QString& path, const QVector<short>& interleaved, int channels, int rate)
{
    QByteArray b;
    const quint32 data = quint32(interleaved.size() * 2);
    b.append("RIFF");
    put32(b, 36 + data);
    b.append("WAVEfmt ");
    put32(b, 16);
    put16(b, 1);
    put16(b, channels);
    put32(b, quint32(rate));
    put32(b, quint32(rate * channels * 2));
    put16(b, channels * 2);
    put16(b, 16);
    b.append("data");
    put32(b, data);
    b.append(reinterpret_cast<const char*>(interleaved.constData()), int(data));
    return writeBytes(path, b);
}

QVector<short> readWavSamples(const QString& path, int* channels)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = file.readAll();
    if (all.size() < 12 || !all.startsWith("RIFF"))
        return {};
    auto u16 = [&](int at) { return int(quint8(all[at])) | (int(quint8(all[at + 1])) << 8); };
    auto u32 = [&](int at) { return quint32(u16(at)) | (quint32(u16(at + 2)) << 16); };
    int pos = 12;
    QVector<short> out;
    while (pos + 8 <= all.size()) {
        const QByteArray id = all.mid(pos, 4);
        quint32 size = u32(pos + 4);
        if (id == "fmt " && channels)
            *channels = u16(pos + 10);
        if (id == "data") {
            // A writer that never patched the size leaves 0 or all ones: take the rest of the file.
            if (size == 0 || size == 0xffffffffu || pos + 8 + qint64(size) > all.size())
                size = quint32(all.size() - pos - 8);
            out.resize(int(size / 2));
            memcpy(out.data(), all.constData() + pos + 8, out.size() * 2);
            return out;
        }
        pos += 8 + int(size) + int(size & 1);
    }
    return out;
}

static void putVarLen(QByteArray& b, quint32 v)
{
    QByteArray tmp;
    tmp.prepend(char(v & 0x7f));
    while (v >>= 7)
        tmp.prepend(char((v & 0x7f) | 0x80));
    b.append(tmp);
}

QByteArray midiFile(const QVector<int>& notes)
{
    const int ticks = 480;
    QByteArray track;
    // Tempo 500000 us per quarter (120 bpm), piano.
    track.append(QByteArray::fromHex("00ff5103 07a120"));
    track.append(QByteArray::fromHex("00c000"));
    for (int note : notes) {
        putVarLen(track, 0);
        track.append(char(0x90)).append(char(note)).append(char(100));
        putVarLen(track, ticks);
        track.append(char(0x80)).append(char(note)).append(char(0));
    }
    track.append(QByteArray::fromHex("00ff2f00"));
    QByteArray file("MThd");
    file.append(QByteArray::fromHex("00000006 0000 0001"));
    file.append(char(ticks >> 8)).append(char(ticks & 0xff));
    file.append("MTrk");
    const quint32 len = quint32(track.size());
    file.append(char(len >> 24)).append(char(len >> 16)).append(char(len >> 8)).append(char(len));
    file.append(track);
    return file;
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
