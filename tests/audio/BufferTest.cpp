// Buffer arithmetic: block lengths, gain, trimming windows.
#include "audio/AudioBuffer.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QVector>

namespace {

AudioBuffer ramp(int frames)
{
    AudioBuffer b(2, 0, 44100);
    QVector<short> s(frames * 2);
    for (int i = 0; i < s.size(); ++i)
        s[i] = short(i % 30000);
    b.addSamples(s.constData(), s.size(), 0.0, 1.0);
    return b;
}

TEST(AudioBufferAppend, MinimumDurationPadsOrCutsAndAppendsGoToTheEnd)
{
    QVector<short> s(1000, 5);
    AudioBuffer small(2, 0, 44100);
    EXPECT_EQ(small.addSamples(s.constData(), 100, 0.001, 1.0), 0);  // 88 samples at most: not a minimum
    EXPECT_EQ(small.getSampleCount(), 100);

    AudioBuffer padded(2, 0, 44100);
    padded.addSamples(s.constData(), 100, 0.01, 1.0);
    ASSERT_EQ(padded.getSampleCount(), 882);
    EXPECT_EQ(padded.getSamples()[99], 5);
    EXPECT_EQ(padded.getSamples()[100], 0);
    EXPECT_EQ(padded.getSamples()[881], 0);

    AudioBuffer cut(2, 0, 44100);
    cut.addSamples(s.constData(), 1000, 0.01, 1.0);
    EXPECT_EQ(cut.getSampleCount(), 882);
    EXPECT_EQ(cut.getSamples()[881], 5);
    cut.addSamples(s.constData(), 3, 0.0, 1.0);
    EXPECT_EQ(cut.getSampleCount(), 885);
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

TEST(AudioBufferAppend, GainTruncatesTowardZeroAndDurationFollowsTheCount)
{
    AudioBuffer b(2, 0, 44100);
    const short s[] = {-3, 3, 32767, -32768};
    b.addSamples(s, 4, 0.0, 0.5);
    EXPECT_EQ(b.getSamples(), (QVector<short>{-1, 1, 16383, -16384}));
    EXPECT_DOUBLE_EQ(ramp(44100 * 3).duration(), 3.0);
    EXPECT_DOUBLE_EQ(AudioBuffer(2, 0, 44100).duration(), 0.0);
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
        {"empty buffer", 0, 0.0, 0.0, 0, 0},
        {"both negative", 1000, -5.0, -1.0, 0, 2000},
        {"negative offset", 44100, -1.0, 0.5, 0, 44100},
        {"negative duration", 44100, 0.5, -3.0, 44100, 44100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AudioBuffer b = ramp(c.frames);
        const QVector<short> before = b.getSamples();
        b.shrink(c.offset, c.duration);
        EXPECT_EQ(b.getSamples(), before.mid(c.firstKept, c.keptCount));
    }
}

}  // namespace
