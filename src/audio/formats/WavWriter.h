#pragma once

#include <QString>

#include <cstdint>
#include <cstdio>

// The fields of a RIFF header that follow its four-character codes, in file order.
struct WavDesc {
    uint32_t riffSize = 0;
    uint32_t fmtSize = 0;
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint32_t byteRate = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint32_t dataSize = 0;
};

// Writes 16-bit PCM WAV files; the size fields are patched on close.
class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // 0 ok; 1 more than 2 channels or rate above 44100; 2 not 16-bit PCM; 3 the file cannot be created.
    int open(const QString& path, const WavDesc& desc);
    bool isOpen() const { return mp_file != nullptr; }
    void addData16(const short* samples, int count);
    void addData32(const short* samples, int count, int shift);
    void addData16lr(const short* left, const short* right, int frames);
    void addData32lr(const int* left, const int* right, int frames, int shift);
    void close();

private:
    void writeConverted(const short* data, size_t count);
    template <typename Sample, typename Convert>
    void writeInterleaved(const Sample* left, const Sample* right, int frames, Convert convert);

    FILE* mp_file = nullptr;
    uint32_t m_riffSizePos = 0;
    uint32_t m_dataSizePos = 0;
};
