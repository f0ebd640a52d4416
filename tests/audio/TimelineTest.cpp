// Building a timeline: positions, totals, sorting, mixing of overlapping outputs, marker events.
#include "AudioFixtures.h"
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

#include <functional>

namespace {

using AudioFixtures::bufferOf;
using AudioFixtures::MarkerRecorder;

// A stereo buffer of `seconds` whose every sample is `value` (left) and `value + 1` (right).
AudioBuffer* constant(double seconds, short value)
{
    return bufferOf(
        AudioFixtures::makeSamples(int(seconds * 44100), 2, [value](int, int c) { return short(value + c); }));
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

TEST_F(Timeline, PositionsAndTheTotal)
{
    // Run alone (as ctest does), this is the process's first marker: adding it registers the event type.
    seq.addMarker(nullptr, 1, 0.0, true);
    EXPECT_NE(AudioSequencerMarkerEvent::m_customType.load(), 0);
    EXPECT_EQ(int(AudioSequencerMarkerEvent::customType()), AudioSequencerMarkerEvent::m_customType.load());
    EXPECT_EQ(seq.reset(), 0);
    EXPECT_TRUE(seq.markerRegions().isEmpty());

    // relative positions count from the current end; markers, silences and inputs extend the total
    const struct { std::function<void(AudioSequencer&)> add; double position, total; } rows[] = {
        {[](AudioSequencer& s) { s.addSilence(2.5, 0.0, true); }, -1, 2.5},
        {[](AudioSequencer& s) { s.addOutput(constant(1.0, 1), 1.0, false, true); }, 3.5, 4.5},
        {[](AudioSequencer& s) { s.addOutput(constant(1.0, 1), 1.0, true, true); }, 1.0, 4.5},
        {[](AudioSequencer& s) { s.addSilence(2.0, 0.0, false); }, -1, 6.5},
        {[](AudioSequencer& s) { s.addMarker(nullptr, 7, 7.0, true); }, -1, 7.0},
        {[](AudioSequencer& s) { s.addInput(nullptr, 1.5, 0.5, false); }, 7.5, 9.0},  // duration before position
    };
    for (const auto& r : rows) {
        r.add(seq);
        EXPECT_DOUBLE_EQ(seq.duration(), r.total);
    }
    EXPECT_DOUBLE_EQ(seq.outputRegions()[0]->position(), 3.5);
    EXPECT_DOUBLE_EQ(seq.outputRegions()[1]->position(), 1.0);
    EXPECT_DOUBLE_EQ(seq.inputRegions()[0]->position(), 7.5);
    EXPECT_EQ(seq.inputRegions()[0]->totalSamples(), 66150);
    const double year = 365.0 * 24 * 3600;  // frame counts are 64-bit
    seq.addInput(nullptr, year, 0.0, true);
    EXPECT_EQ(seq.inputRegions()[1]->totalSamples(), qint64(year * 44100));
    EXPECT_GT(seq.inputRegions()[1]->remainingSamples(), qint64(1) << 40);
    EXPECT_EQ(seq.reset(), 0);
    EXPECT_TRUE(seq.outputRegions().isEmpty() && seq.inputRegions().isEmpty() && seq.markerRegions().isEmpty());
    EXPECT_DOUBLE_EQ(seq.duration(), 0.0);
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
    QList<int> ids, expected{99};
    for (const auto* m : s.markerRegions())
        ids << m->id();
    for (int id = 1; id < 20; id += 2)  // equal positions keep insertion order
        expected << id;
    for (int id = 0; id < 20; id += 2)
        expected << id;
    EXPECT_EQ(ids, expected);
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
    // {sample index, value}: the overlap is 0.5..1.0 s; right stays right.
    const int expected[][2] = {{0, 100}, {1, 101}, {44098, 100}, {44100, 1100}, {44101, 1102},
                               {88198, 1100}, {88200, 1000}, {132299, 1001}};
    for (const auto& e : expected)
        EXPECT_EQ(s[e[0]], e[1]) << "sample " << e[0];
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

TEST_F(Timeline, MixingOverflowHoldsTheSampleBeforeAndCountsItAsLimited)
{
    Debugging::setLoggingLevel(QsLogging::DebugLevel);
    seq.addOutput(bufferOf({100, 200, 30000, 30000, -30000, 7}), 0.0, true, true);
    seq.addOutput(bufferOf({100, 100, 10000, -5000, -10000, 1}), 0.0, true, true);
    // Overflowing at the very first sample leaves 0.
    seq.addOutput(bufferOf({30000, 5}), 1.0, true, true);
    seq.addOutput(bufferOf({10000, 5}), 1.0, true, true);
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

TEST(MarkerEvents, ListenerTurnsMarkerEventsIntoCallsAndPassesOthersOn)
{
    MarkerRecorder listener;
    AudioSequencerMarkerEvent marker(1003, 2.5);
    EXPECT_TRUE(listener.event(&marker));
    EXPECT_EQ(listener.seen, (QList<QPair<int, double>>{{1003, 2.5}}));
    QEvent other(QEvent::Type(QEvent::User + 1));
    QObject plain;
    EXPECT_EQ(listener.event(&other), plain.event(&other));
    EXPECT_EQ(listener.seen.size(), 1);
    EXPECT_GE(int(marker.type()), int(QEvent::User));
    // a region posts to a live target and skips a deleted one
    auto* doomed = new MarkerRecorder;
    AudioMarkerRegion a(&listener, 5, 1.25);
    AudioMarkerRegion b(doomed, 6, 1.5);
    delete doomed;
    EXPECT_TRUE(a.notify());
    EXPECT_FALSE(b.notify());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(listener.seen, (QList<QPair<int, double>>{{1003, 2.5}, {5, 1.25}}));
}

TEST(OutputRegion, WriteNextFramePlaysLeftOrBothChannels)
{
    AudioOutputRegion r(bufferOf({10, 11, 20, 21, 30}), 0.0, true);
    short out[4] = {};
    EXPECT_EQ(r.writeNextFrame(out, true), out + 1);
    EXPECT_EQ(out[0], 10);
    EXPECT_EQ(r.remainingSamples(), 3);
    EXPECT_EQ(r.writeNextFrame(out, false), out + 2);
    EXPECT_TRUE(out[0] == 20 && out[1] == 21) << out[0] << " " << out[1];
    r.writeNextFrame(out, false);  // the last, odd sample is repeated on the right
    EXPECT_TRUE(out[0] == 30 && out[1] == 30) << out[0] << " " << out[1];
    EXPECT_EQ(r.remainingSamples(), 0);
    AssertRecorder::clear();
    r.writeNextFrame(out, true);  // overrun: assertion, silence, no read past the end
    EXPECT_EQ(AssertRecorder::count(), 1);
    EXPECT_EQ(out[0], 0);
    r.reset();
    EXPECT_EQ(r.remainingSamples(), 5);
}

}  // namespace
