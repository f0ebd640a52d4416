// Building a timeline: positions, totals, sorting, mixing of overlapping outputs, marker events.
#include "audio/AudioBuffer.h"
#include "audio/AudioInputRegion.h"
#include "audio/AudioMarkerRegion.h"
#include "audio/AudioOutputRegion.h"
#include "audio/AudioSequencer.h"
#include "audio/AudioSequencerMarkerEvent.h"
#include "audio/AudioSequencerMarkerEventListener.h"
#include "debug/Debugging.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

namespace {

// A stereo buffer of `seconds` whose every sample is `value` (left) and `value + 1` (right).
AudioBuffer* constant(double seconds, short value)
{
    auto* b = new AudioBuffer(2, 0, 44100);
    const int frames = int(seconds * 44100);
    QVector<short> s(frames * 2);
    for (int f = 0; f < frames; ++f) {
        s[2 * f] = value;
        s[2 * f + 1] = short(value + 1);
    }
    b->addSamples(s.constData(), s.size(), 0.0, 1.0);
    return b;
}

class Timeline : public ::testing::Test {
protected:
    void SetUp() override
    {
        AssertRecorder::clear();
        LogCapture::instance().clear();
    }
    AudioSequencer seq{44100, 2};
};

TEST_F(Timeline, RelativePositionsCountFromTheCurrentEnd)
{
    seq.addSilence(2.5, 0.0, true);
    EXPECT_DOUBLE_EQ(seq.duration(), 2.5);
    seq.addOutput(constant(1.0, 1), 1.0, false, true);
    ASSERT_EQ(seq.outputRegions().size(), 1);
    EXPECT_DOUBLE_EQ(seq.outputRegions()[0]->position(), 3.5);
    EXPECT_DOUBLE_EQ(seq.duration(), 4.5);
    seq.addOutput(constant(1.0, 1), 1.0, true, true);
    EXPECT_DOUBLE_EQ(seq.outputRegions()[1]->position(), 1.0);
    EXPECT_DOUBLE_EQ(seq.duration(), 4.5);
}

TEST_F(Timeline, MarkersSilencesAndInputsExtendTheTotal)
{
    // Run alone (as ctest does), this is the process's first marker: adding it registers the event type.
    seq.addMarker(nullptr, 1, 0.0, true);
    EXPECT_NE(AudioSequencerMarkerEvent::m_customType.load(), 0);
    EXPECT_EQ(int(AudioSequencerMarkerEvent::customType()), AudioSequencerMarkerEvent::m_customType.load());
    seq.reset();

    seq.addOutput(constant(3.0, 1), 0.0, true, true);
    seq.addSilence(2.0, 0.0, false);
    EXPECT_DOUBLE_EQ(seq.duration(), 5.0);
    EXPECT_TRUE(seq.outputRegions().size() == 1 && seq.inputRegions().isEmpty());
    seq.addMarker(nullptr, 7, 6.0, true);
    EXPECT_DOUBLE_EQ(seq.duration(), 6.0);
    seq.addInput(nullptr, 1.5, 0.5, false);  // duration before position
    ASSERT_EQ(seq.inputRegions().size(), 1);
    EXPECT_DOUBLE_EQ(seq.inputRegions()[0]->position(), 6.5);
    EXPECT_EQ(seq.inputRegions()[0]->totalSamples(), 66150);
    EXPECT_DOUBLE_EQ(seq.duration(), 8.0);
}

TEST_F(Timeline, PrepareAddsATailEachTimeAndSortsStably)
{
    EXPECT_EQ(seq.prepare(), 0);
    EXPECT_DOUBLE_EQ(seq.duration(), 0.1);
    EXPECT_EQ(seq.prepare(), 0);
    EXPECT_DOUBLE_EQ(seq.duration(), 0.2);

    AudioSequencer s(44100, 2);
    for (int id = 0; id < 20; ++id)
        s.addMarker(nullptr, id, id % 2 ? 1.0 : 2.0, true);
    s.addMarker(nullptr, 99, 0.5, true);
    s.prepare();
    const auto& m = s.markerRegions();
    ASSERT_EQ(m.size(), 21);
    EXPECT_EQ(m[0]->id(), 99);
    for (int i = 1; i < 11; ++i)
        EXPECT_EQ(m[i]->id(), 2 * (i - 1) + 1) << i;  // equal positions keep insertion order
    for (int i = 11; i < 21; ++i)
        EXPECT_EQ(m[i]->id(), 2 * (i - 11)) << i;
}

TEST_F(Timeline, OverlappingOutputsAreMixedIntoOneRegion)
{
    seq.addOutput(constant(1.0, 100), 0.0, true, true);
    seq.addOutput(constant(1.0, 1000), 0.5, true, true);
    seq.prepare();
    ASSERT_EQ(seq.outputRegions().size(), 1);
    const AudioOutputRegion* r = seq.outputRegions()[0];
    EXPECT_DOUBLE_EQ(r->position(), 0.0);
    ASSERT_EQ(r->totalSamples(), 132300);
    const QVector<short>& s = r->buffer()->getSamples();
    EXPECT_EQ(s[0], 100);
    EXPECT_EQ(s[1], 101);
    EXPECT_EQ(s[44100 - 2], 100);
    EXPECT_EQ(s[44100], 1100);      // first frame of the overlap, left
    EXPECT_EQ(s[44101], 1102);      // right stays right
    EXPECT_EQ(s[88198], 1100);
    EXPECT_EQ(s[88200], 1000);
    EXPECT_EQ(s[132299], 1001);
    EXPECT_TRUE(r->ownsBuffer());
}

TEST_F(Timeline, TouchingOutputsStaySeparateAndChainsMergeOnlyTheirMembers)
{
    seq.addOutput(constant(1.0, 1), 0.0, true, true);
    seq.addOutput(constant(1.0, 2), 1.0, true, true);  // touches
    seq.prepare();
    EXPECT_EQ(seq.outputRegions().size(), 2);

    AudioSequencer chain(44100, 2);
    chain.addOutput(constant(1.0, 1), 0.0, true, true);
    chain.addOutput(constant(1.0, 2), 0.9, true, true);   // overlaps the first
    chain.addOutput(constant(0.5, 4), 1.8, true, true);   // overlaps the second only: still one chain
    chain.addOutput(constant(0.5, 8), 3.0, true, true);   // apart
    chain.addOutput(constant(0.2, 16), 2.9, true, true);  // added last, sorted before the one at 3.0
    chain.prepare();
    ASSERT_EQ(chain.outputRegions().size(), 2);
    EXPECT_DOUBLE_EQ(chain.outputRegions()[0]->position(), 0.0);
    EXPECT_EQ(chain.outputRegions()[0]->totalSamples(), (qint64(1.8 * 44100) + 22050) * 2);
    EXPECT_DOUBLE_EQ(chain.outputRegions()[1]->position(), 2.9);
    EXPECT_EQ(chain.outputRegions()[1]->totalSamples(), (qint64(3.0 * 44100) + 22050 - qint64(2.9 * 44100)) * 2);
    const QVector<short>& first = chain.outputRegions()[0]->buffer()->getSamples();
    EXPECT_EQ(first[2 * 44000], 3);                 // 0.9..1.0 s: 1 + 2
    EXPECT_EQ(first[2 * int(1.85 * 44100)], 6);     // 1.8..1.9 s: 2 + 4
    EXPECT_EQ(first[2 * int(2.2 * 44100)], 4);
}

AudioBuffer* samples(std::initializer_list<short> values)
{
    auto* b = new AudioBuffer(2, 0, 44100);
    const QVector<short> s(values);
    b->addSamples(s.constData(), s.size(), 0.0, 1.0);
    return b;
}

TEST_F(Timeline, MixingOverflowHoldsTheSampleBeforeAndCountsItAsLimited)
{
    Debugging::setLoggingLevel(QsLogging::DebugLevel);
    seq.addOutput(samples({100, 200, 30000, 30000, -30000, 7}), 0.0, true, true);
    seq.addOutput(samples({100, 100, 10000, -5000, -10000, 1}), 0.0, true, true);
    // Overflowing at the very first sample leaves 0.
    seq.addOutput(samples({30000, 5}), 1.0, true, true);
    seq.addOutput(samples({10000, 5}), 1.0, true, true);
    seq.prepare();
    Debugging::setLoggingLevel(QsLogging::InfoLevel);
    ASSERT_EQ(seq.outputRegions().size(), 2);
    EXPECT_EQ(seq.outputRegions()[0]->buffer()->getSamples(), (QVector<short>{200, 300, 300, 25000, 25000, 8}));
    EXPECT_EQ(seq.outputRegions()[1]->buffer()->getSamples(), (QVector<short>{0, 10}));
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("mixed regions 0-1 (samples=6 ; mixed=4 ; limited=2)")));
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("mixed regions 1-2 (samples=2 ; mixed=1 ; limited=1)")));
}

TEST_F(Timeline, MixedChainOfUnownedBuffersLeavesThemAlive)
{
    AudioBuffer* a = constant(0.5, 1);
    AudioBuffer* b = constant(0.5, 2);
    seq.addOutput(a, 0.0, true, false);
    seq.addOutput(b, 0.25, true, false);
    seq.prepare();
    ASSERT_EQ(seq.outputRegions().size(), 1);
    EXPECT_EQ(a->getSampleCount(), 44100);  // still readable: not deleted by the merge
    EXPECT_EQ(b->getSampleCount(), 44100);
    seq.reset();
    EXPECT_EQ(a->getSamples()[0], 1);
    delete a;
    delete b;
}

TEST_F(Timeline, ResetEmptiesEverythingAndPrepareWhilePlayingIsRefused)
{
    seq.addOutput(constant(0.2, 1), 0.0, true, true);
    seq.addInput(nullptr, 1.0, 0.0, true);
    seq.addMarker(nullptr, 1, 0.0, true);
    EXPECT_EQ(seq.reset(), 0);
    EXPECT_TRUE(seq.outputRegions().isEmpty() && seq.inputRegions().isEmpty() && seq.markerRegions().isEmpty());
    EXPECT_DOUBLE_EQ(seq.duration(), 0.0);
    EXPECT_FALSE(seq.isPlaying());
}

TEST_F(Timeline, WrongChannelCountAndFormatAreAssertions)
{
    AudioSequencer mono(44100, 1);
    ASSERT_EQ(AssertRecorder::count(), 1);
    EXPECT_EQ(AssertRecorder::expressions()[0], QStringLiteral("channelCount == 2"));
    auto* odd = new AudioBuffer(2, 1, 44100);
    EXPECT_EQ(seq.addOutput(odd, 0.0, true, true), 0);
    EXPECT_EQ(AssertRecorder::count(), 2);
    EXPECT_EQ(seq.outputRegions().size(), 1);
    EXPECT_EQ(seq.addOutput(nullptr, 0.0, true, true), 1);
    EXPECT_EQ(seq.outputRegions().size(), 1);
}

TEST_F(Timeline, HugeInputRegionCountsIn64Bits)
{
    const double year = 365.0 * 24 * 3600;
    seq.addInput(nullptr, year, 0.0, true);
    EXPECT_EQ(seq.inputRegions()[0]->totalSamples(), qint64(year * 44100));
    EXPECT_GT(seq.inputRegions()[0]->remainingSamples(), qint64(1) << 40);
}

class RecordingListener : public AudioSequencerMarkerEventListener {
public:
    void newMarker(int id, double time) override { seen.append(qMakePair(id, time)); }
    QList<QPair<int, double>> seen;
};

TEST(MarkerEvents, ListenerTurnsMarkerEventsIntoCallsAndPassesOthersOn)
{
    RecordingListener listener;
    AudioSequencerMarkerEvent marker(1003, 2.5);
    EXPECT_TRUE(listener.event(&marker));
    ASSERT_EQ(listener.seen.size(), 1);
    EXPECT_EQ(listener.seen[0].first, 1003);
    EXPECT_DOUBLE_EQ(listener.seen[0].second, 2.5);
    QEvent other(QEvent::Type(QEvent::User + 1));
    QObject plain;
    EXPECT_EQ(listener.event(&other), plain.event(&other));
    EXPECT_EQ(listener.seen.size(), 1);
    EXPECT_EQ(AudioSequencerMarkerEvent::customType(), marker.type());
    EXPECT_GE(int(marker.type()), int(QEvent::User));
}

TEST(MarkerEvents, NotifyPostsToLiveTargetsAndSkipsDeletedOnes)
{
    RecordingListener live;
    auto* doomed = new RecordingListener;
    AudioMarkerRegion a(&live, 5, 1.25);
    AudioMarkerRegion b(doomed, 6, 1.5);
    delete doomed;
    EXPECT_TRUE(a.notify());
    EXPECT_FALSE(b.notify());
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(live.seen.size(), 1);
    EXPECT_EQ(live.seen[0].first, 5);
    EXPECT_DOUBLE_EQ(live.seen[0].second, 1.25);
}

TEST(OutputRegion, WriteNextFramePlaysLeftOrBothChannels)
{
    AudioBuffer* b = new AudioBuffer(2, 0, 44100);
    const short s[] = {10, 11, 20, 21, 30};
    b->addSamples(s, 5, 0.0, 1.0);
    AudioOutputRegion r(b, 0.0, true);
    short out[4] = {};
    EXPECT_EQ(r.writeNextFrame(out, true), out + 1);
    EXPECT_EQ(out[0], 10);
    EXPECT_EQ(r.remainingSamples(), 3);
    EXPECT_EQ(r.writeNextFrame(out, false), out + 2);
    EXPECT_EQ(out[0], 20);
    EXPECT_EQ(out[1], 21);
    r.writeNextFrame(out, false);  // the last, odd sample is repeated on the right
    EXPECT_EQ(out[0], 30);
    EXPECT_EQ(out[1], 30);
    EXPECT_EQ(r.remainingSamples(), 0);
    AssertRecorder::clear();
    r.writeNextFrame(out, true);  // overrun: assertion, silence, no read past the end
    EXPECT_EQ(AssertRecorder::count(), 1);
    EXPECT_EQ(out[0], 0);
    r.reset();
    EXPECT_EQ(r.remainingSamples(), 5);
}

}  // namespace
