#include "audio/formats/WavWriter.h"

#include <QFile>

#include <algorithm>
#include <new>

namespace {

void putU16(unsigned char* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void putU32(unsigned char* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

short clampShifted(int value, int shift)
{
    if (shift > 0)
        value >>= std::min(shift, 31);
    return short(std::clamp(value, -32768, 32767));
}

}  // namespace

WavWriter::~WavWriter()
{
    close();
}

int WavWriter::open(const QString& path, const WavDesc& desc)
{
    if ((desc.fmtSize != 0 && desc.fmtSize != 16) || desc.formatTag > 1
        || (desc.bitsPerSample != 0 && desc.bitsPerSample != 16))
        return 2;
    if (desc.channels > 2 || desc.sampleRate > 44100)
        return 1;
    close();
    const uint16_t channels = desc.channels == 0 ? 1 : desc.channels;
    const uint32_t rate = desc.sampleRate == 0 ? 44100 : desc.sampleRate;

    mp_file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!mp_file)
        return 3;

    unsigned char header[44];
    std::copy_n("RIFF", 4, header);
    putU32(header + 4, 0);
    std::copy_n("WAVE", 4, header + 8);
    std::copy_n("fmt ", 4, header + 12);
    putU32(header + 16, 16);
    putU16(header + 20, 1);
    putU16(header + 22, channels);
    putU32(header + 24, rate);
    putU32(header + 28, rate * channels * 2);
    putU16(header + 32, uint16_t(channels * 2));
    putU16(header + 34, 16);
    std::copy_n("data", 4, header + 36);
    putU32(header + 40, 0);
    std::fwrite(header, 1, sizeof header, mp_file);
    std::fflush(mp_file);  // readable from the start, like every later write
    m_riffSizePos = 4;
    m_dataSizePos = 40;
    return 0;
}

void WavWriter::addData16(const short* samples, int count)
{
    if (!mp_file || !samples || count <= 0)
        return;
    std::fwrite(samples, sizeof(short), size_t(count), mp_file);
    std::fflush(mp_file);
}

void WavWriter::writeConverted(const short* data, size_t count)
{
    std::fwrite(data, sizeof(short), count, mp_file);
    std::fflush(mp_file);
}

void WavWriter::addData32(const short* samples, int count, int shift)
{
    if (!mp_file || !samples || count <= 0)
        return;
    short* out = new (std::nothrow) short[size_t(count)];
    if (!out)
        return;
    for (int i = 0; i < count; ++i)
        out[i] = clampShifted(samples[i], shift);
    writeConverted(out, size_t(count));
    delete[] out;
}

template <typename Sample, typename Convert>
void WavWriter::writeInterleaved(const Sample* left, const Sample* right, int frames, Convert convert)
{
    if (!mp_file || !left || !right || frames <= 0)
        return;
    short* out = new (std::nothrow) short[size_t(frames) * 2];
    if (!out)
        return;
    for (int i = 0; i < frames; ++i) {
        out[2 * i] = convert(left[i]);
        out[2 * i + 1] = convert(right[i]);
    }
    writeConverted(out, size_t(frames) * 2);
    delete[] out;
}

void WavWriter::addData16lr(const short* left, const short* right, int frames)
{
    writeInterleaved(left, right, frames, [](short v) { return v; });
}

void WavWriter::addData32lr(const int* left, const int* right, int frames, int shift)
{
    writeInterleaved(left, right, frames, [shift](int v) { return clampShifted(v, shift); });
}

void WavWriter::close()
{
    if (!mp_file)
        return;
    std::fseek(mp_file, 0, SEEK_END);
    const long length = std::ftell(mp_file);
    unsigned char field[4];
    putU32(field, uint32_t(length - 4 - long(m_riffSizePos)));
    std::fseek(mp_file, long(m_riffSizePos), SEEK_SET);
    std::fwrite(field, 1, 4, mp_file);
    putU32(field, uint32_t(length - 4 - long(m_dataSizePos)));
    std::fseek(mp_file, long(m_dataSizePos), SEEK_SET);
    std::fwrite(field, 1, 4, mp_file);
    std::fclose(mp_file);
    mp_file = nullptr;
}
