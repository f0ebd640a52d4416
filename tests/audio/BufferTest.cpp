// Buffer arithmetic: block lengths, gain, the size guard, trimming windows.
#include "audio/AudioBuffer.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QVector>

#include <cmath>

namespace {

TEST(AudioBufferAppend, MinimumDurationPadsOrCutsAndAppendsGoToTheEnd)
{
    // 0.01 s of stereo is 882 samples; 1 ms and below is no minimum
    const struct { int count; double minSeconds; int copied, padded; } rows[] = {
        {100, 0.001, 100, 0},
        {100, 0.01, 100, 782},
        {1000, 0.01, 882, 0},
    };
    const QVector<short> fives(1000, 5);
    for (const auto& r : rows) {
        AudioBuffer b(2, 0, 44100);
        b.addSamples(fives.constData(), r.count, r.minSeconds, 1.0);
        b.addSamples(fives.constData(), 3, 0.0, 1.0);
        EXPECT_EQ(b.getSamples(), QVector<short>(r.copied, 5) + QVector<short>(r.padded, 0) + QVector<short>(3, 5))
            << r.count << " samples, at least " << r.minSeconds << " s";
    }
    AudioBuffer gain(2, 0, 44100);
    const short s[] = {-3, 3, 32767, -32768};
    gain.addSamples(s, 4, 0.0, 0.5);
    EXPECT_EQ(gain.getSamples(), (QVector<short>{-1, 1, 16383, -16384}));  // truncated toward zero
    // a gain above 1 saturates instead of wrapping; no number gives silence
    const struct { double gain; QVector<short> expected; } gains[] = {
        {2.0, {-6, 6, 32767, -32768}},
        {-1.0, {3, -3, -32767, 32767}},
        {1e12, {-32768, 32767, 32767, -32768}},
        {std::nan(""), {0, 0, 0, 0}},
    };
    for (const auto& r : gains) {
        AudioBuffer b(2, 0, 44100);
        b.addSamples(s, 4, 0.0, r.gain);
        EXPECT_EQ(b.getSamples(), r.expected) << r.gain;
    }
}

TEST(AudioBufferAppend, BlockBeyondTheLargestBufferIsRefused)
{
    AudioBuffer b(2, 0, 44100);
    const short s[] = {1, 2};
    b.addSamples(s, 2, 0.0, 1.0);
    // 31 years; and 3 h 23 min, whose 1,076,040,000 samples fit an int but not the vector's 2 GB of bytes
    for (double seconds : {1e9, 12200.0}) {
        LogCapture::instance().clear();
        EXPECT_EQ(b.addSamples(s, 2, seconds, 1.0), 0);
        EXPECT_EQ(b.getSamples(), (QVector<short>{1, 2}));
        EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("nothing appended"))) << seconds;
    }
}

TEST(AudioBufferShrink, KeepsTheWindowCountedFromTheNewStart)
{
    // Negative values (from QML) mean "from the start" and "no limit".
    const struct {
        const char* name;
        int frames;
        double offset, duration;
        int firstKept, keptCount;  // in samples of the original buffer
    } cases[] = {
        {"window", 44100 * 3, 1.0, 0.5, 88200, 44100},
        {"offset past the end", 44100 * 3, 4.0, 0.0, 0, 0},
        {"zero duration keeps the rest", 44100 * 3, 2.0, 0.0, 176400, 88200},
        {"longer than the buffer", 100, 0.0, 10.0, 0, 200},
        {"both negative", 1000, -5.0, -1.0, 0, 2000},
        {"negative duration", 44100, 0.5, -3.0, 44100, 44100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QVector<short> ramp(c.frames * 2);
        for (int i = 0; i < ramp.size(); ++i)
            ramp[i] = short(i % 30000);
        AudioBuffer b(2, 0, 44100);
        b.addSamples(ramp.constData(), ramp.size(), 0.0, 1.0);
        b.shrink(c.offset, c.duration);
        EXPECT_EQ(b.getSamples(), ramp.mid(c.firstKept, c.keptCount));
    }
}

}  // namespace
