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

TEST(AudioBufferAppend, WithoutMinimumAllSamplesAreAppended)
{
    AudioBuffer b(2, 0, 44100);
    QVector<short> s(100, 7);
    EXPECT_EQ(b.addSamples(s.constData(), 100, 0.001, 1.0), 0);
    EXPECT_EQ(b.getSampleCount(), 100);
    EXPECT_EQ(b.getChannelCount(), 2);
    EXPECT_EQ(b.getSampleRate(), 44100);
    EXPECT_EQ(b.getSampleFormat(), 0);
}

TEST(AudioBufferAppend, MinimumDurationPadsOrCuts)
{
    AudioBuffer padded(2, 0, 44100);
    QVector<short> s(1000, 5);
    padded.addSamples(s.constData(), 100, 0.01, 1.0);
    ASSERT_EQ(padded.getSampleCount(), 882);
    EXPECT_EQ(padded.getSamples()[99], 5);
    EXPECT_EQ(padded.getSamples()[100], 0);
    EXPECT_EQ(padded.getSamples()[881], 0);

    AudioBuffer cut(2, 0, 44100);
    cut.addSamples(s.constData(), 1000, 0.01, 1.0);
    EXPECT_EQ(cut.getSampleCount(), 882);
    EXPECT_EQ(cut.getSamples()[881], 5);

    // Appends go to the end.
    cut.addSamples(s.constData(), 3, 0.0, 1.0);
    EXPECT_EQ(cut.getSampleCount(), 885);
}

TEST(AudioBufferAppend, BlockBeyondTheLargestBufferIsRefused)
{
    AudioBuffer b(2, 0, 44100);
    const short s[] = {1, 2};
    b.addSamples(s, 2, 0.0, 1.0);
    LogCapture::instance().clear();
    EXPECT_EQ(b.addSamples(s, 2, 1e9, 1.0), 0);  // a minimum length of 31 years
    EXPECT_EQ(b.getSamples(), (QVector<short>{1, 2}));
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("nothing appended")));
}

TEST(AudioBufferAppend, GainTruncatesTowardZero)
{
    AudioBuffer b(2, 0, 44100);
    const short s[] = {-3, 3, 32767, -32768};
    b.addSamples(s, 4, 0.0, 0.5);
    EXPECT_EQ(b.getSamples(), (QVector<short>{-1, 1, 16383, -16384}));
}

TEST(AudioBufferAppend, DurationFollowsSampleCount)
{
    EXPECT_DOUBLE_EQ(ramp(44100 * 3).duration(), 3.0);
    EXPECT_DOUBLE_EQ(AudioBuffer(2, 0, 44100).duration(), 0.0);
}

TEST(AudioBufferShrink, KeepsWindowCountedFromNewStart)
{
    AudioBuffer b = ramp(44100 * 3);
    const QVector<short> before = b.getSamples();
    b.shrink(1.0, 0.5);
    ASSERT_EQ(b.getSampleCount(), 44100);
    EXPECT_EQ(b.getSamples(), before.mid(88200, 44100));
}

TEST(AudioBufferShrink, OffsetPastEndEmptiesAndZeroDurationKeepsRest)
{
    AudioBuffer b = ramp(44100 * 3);
    b.shrink(4.0, 0.0);
    EXPECT_EQ(b.getSampleCount(), 0);

    AudioBuffer c = ramp(44100 * 3);
    c.shrink(2.0, 0.0);
    EXPECT_EQ(c.getSampleCount(), 88200);

    AudioBuffer longer = ramp(100);
    longer.shrink(0.0, 10.0);  // longer than the buffer: nothing cut
    EXPECT_EQ(longer.getSampleCount(), 200);

    AudioBuffer empty(2, 0, 44100);
    empty.shrink(0.0, 0.0);
    EXPECT_EQ(empty.getSampleCount(), 0);
}

TEST(AudioBufferShrink, NegativeValuesMeanWholeBufferWithoutLimit)
{
    AudioBuffer b = ramp(1000);
    const QVector<short> before = b.getSamples();
    b.shrink(-5.0, -1.0);
    EXPECT_EQ(b.getSamples(), before);

    AudioBuffer c = ramp(44100);
    c.shrink(-1.0, 0.5);
    EXPECT_EQ(c.getSampleCount(), 44100);

    AudioBuffer d = ramp(44100);
    d.shrink(0.5, -3.0);
    EXPECT_EQ(d.getSampleCount(), 44100);
}

}  // namespace
