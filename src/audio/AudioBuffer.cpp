#include "audio/AudioBuffer.h"

#include "audio/SampleScaling.h"
#include "debug/Debugging.h"

#include <cmath>
#include <limits>

namespace {

// The vector's one allocation, header included, is limited to INT_MAX bytes, not elements.
const qint64 kMaxSamples =
    (qint64(std::numeric_limits<int>::max()) - qint64(sizeof(QArrayData))) / qint64(sizeof(short));

}  // namespace

AudioBuffer::AudioBuffer(int channelCount, int sampleFormat, int sampleRate)
    : m_channelCount(channelCount), m_sampleFormat(sampleFormat), m_sampleRate(sampleRate)
{
}

AudioBuffer::~AudioBuffer() = default;

double AudioBuffer::duration() const
{
    if (m_channelCount <= 0 || m_sampleRate <= 0)
        return 0.0;
    return double(m_samples.size()) / m_channelCount / m_sampleRate;
}

qint64 AudioBuffer::sampleIndexAt(double seconds) const
{
    const double index = std::trunc(m_channelCount * (m_sampleRate * seconds));
    if (!(index > 0.0))  // also NaN
        return 0;
    if (index >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return qint64(index);
}

int AudioBuffer::addSamples(const short* samples, int count, double minSeconds, double gain)
{
    if (count < 0 || (count > 0 && !samples))
        count = 0;
    qint64 blockLength = count;
    if (minSeconds > 0.001)
        blockLength = sampleIndexAt(minSeconds);
    const int copied = int(qMin<qint64>(blockLength, count));
    const int oldSize = m_samples.size();
    if (oldSize + qMax<qint64>(blockLength, count) > kMaxSamples) {
        LOG_ERROR("audio", "a block of %lld samples would overflow the buffer (%d samples); nothing appended",
                  static_cast<long long>(blockLength), oldSize);
        return 0;
    }
    // Geometric growth: renders append thousands of small blocks, and growing to the exact size each
    // time would copy the whole buffer for every block.
    const int needed = oldSize + int(qMax<qint64>(blockLength, count));
    if (needed > m_samples.capacity())
        m_samples.reserve(int(qBound<qint64>(needed, 2 * qint64(m_samples.capacity()), kMaxSamples)));
    m_samples.resize(oldSize + int(blockLength));
    short* dst = m_samples.data() + oldSize;
    for (int i = 0; i < copied; ++i)
        dst[i] = scaledSample(samples[i], gain);
    for (qint64 i = copied; i < blockLength; ++i)
        dst[i] = 0;
    return 0;
}

void AudioBuffer::shrink(double offset, double duration)
{
    // Negative values come from QML now and then; they mean "from the start" and "no limit".
    if (!(offset > 0.0))
        offset = 0.0;
    if (!(duration > 0.0))
        duration = 0.0;
    const qint64 start = sampleIndexAt(offset);
    if (m_samples.size() <= start) {
        m_samples.clear();
        return;
    }
    m_samples.remove(0, int(start));
    if (duration != 0.0) {
        const qint64 length = sampleIndexAt(duration);
        if (m_samples.size() > length)
            m_samples.resize(int(length));
    }
}
