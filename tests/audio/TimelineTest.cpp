// Building a timeline: positions, totals, mixing of overlapping outputs, marker events.
#include "AudioFixtures.h"
#include "audio/AudioBuffer.h"
#include "audio/AudioInputRegion.h"
#include "audio/AudioMarkerRegion.h"
#include "audio/AudioOutputRegion.h"
#include "audio/AudioSequencer.h"
#include "audio/AudioSequencerMarkerEvent.h"
#include "debug/Debugging.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <functional>
#include <memory>

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
    EXPECT_EQ(seq.reset(), 0);

    // relative positions count from the current end; markers, silences and inputs extend the total
    const struct { std::function<void(AudioSequencer&)> add; double total; } rows[] = {
        {[](AudioSequencer& s) { s.addSilence(2.5, 0.0, true); }, 2.5},
        {[](AudioSequencer& s) { s.addOutput(constant(1.0, 1), 1.0, false, true); }, 4.5},
        {[](AudioSequencer& s) { s.addOutput(constant(1.0, 1), 1.0, true, true); }, 4.5},
        {[](AudioSequencer& s) { s.addSilence(2.0, 0.0, false); }, 6.5},
        {[](AudioSequencer& s) { s.addMarker(nullptr, 7, 7.0, true); }, 7.0},
        {[](AudioSequencer& s) { s.addInput(nullptr, 1.5, 0.5, false); }, 9.0},  // duration before position
    };
    for (const auto& r : rows) {
        r.add(seq);
        EXPECT_DOUBLE_EQ(seq.duration(), r.total);
    }
    EXPECT_DOUBLE_EQ(seq.outputRegions()[0]->position(), 3.5);
    EXPECT_DOUBLE_EQ(seq.inputRegions()[0]->position(), 7.5);
    EXPECT_EQ(seq.inputRegions()[0]->totalSamples(), 66150);
    const double year = 365.0 * 24 * 3600;  // frame counts are 64-bit
    seq.addInput(nullptr, year, 0.0, true);
    EXPECT_EQ(seq.inputRegions()[1]->totalSamples(), qint64(year * 44100));
    EXPECT_EQ(seq.reset(), 0);
    EXPECT_TRUE(seq.outputRegions().isEmpty() && seq.inputRegions().isEmpty() && seq.markerRegions().isEmpty());
    EXPECT_DOUBLE_EQ(seq.duration(), 0.0);
}

TEST_F(Timeline, OverlappingOutputsAreMixedIntoOneRegionPerChain)
{
    // outputs {seconds, value, position}; the regions prepared {position, samples}; samples
    // {index, value} of the first region
    struct Output { double seconds; short value; double position; };
    const struct {
        const char* name;
        QList<Output> outputs;
        QList<QPair<double, qint64>> regions;
        QList<QPair<int, int>> samples;
    } rows[] = {
        // the overlap is 0.5..1.0 s; right stays right
        {"overlap", {{1.0, 100, 0.0}, {1.0, 1000, 0.5}}, {{0.0, 132300}},
         {{0, 100}, {1, 101}, {44098, 100}, {44100, 1100}, {44101, 1102}, {88198, 1100}, {88200, 1000}, {132299, 1001}}},
        {"touching", {{1.0, 1, 0.0}, {1.0, 2, 1.0}}, {{0.0, 88200}, {1.0, 88200}}, {}},
        // the third overlaps the second only: still one chain; the last added is sorted before the one at 3.0
        {"chains", {{1.0, 1, 0.0}, {1.0, 2, 0.9}, {0.5, 4, 1.8}, {0.5, 8, 3.0}, {0.2, 16, 2.9}},
         {{0.0, (qint64(1.8 * 44100) + 22050) * 2}, {2.9, (qint64(3.0 * 44100) + 22050 - qint64(2.9 * 44100)) * 2}},
         {{2 * 44000, 3}, {2 * int(1.85 * 44100), 6}, {2 * int(2.2 * 44100), 4}}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        seq.reset();
        for (const Output& o : r.outputs)
            seq.addOutput(constant(o.seconds, o.value), o.position, true, true);
        seq.prepare();
        ASSERT_EQ(seq.outputRegions().size(), r.regions.size());
        for (int i = 0; i < r.regions.size(); ++i) {
            EXPECT_DOUBLE_EQ(seq.outputRegions()[i]->position(), r.regions[i].first);
            EXPECT_EQ(seq.outputRegions()[i]->totalSamples(), r.regions[i].second);
        }
        for (const auto& s : r.samples)
            EXPECT_EQ(seq.outputRegions()[0]->buffer()->getSamples()[s.first], s.second) << "sample " << s.first;
    }
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
    std::unique_ptr<AudioBuffer> a(constant(0.5, 1)), b(constant(0.5, 2));
    seq.addOutput(a.get(), 0.0, true, false);
    seq.addOutput(b.get(), 0.25, true, false);
    seq.prepare();
    ASSERT_EQ(seq.outputRegions().size(), 1);
    seq.reset();
    EXPECT_EQ(a->getSampleCount(), 44100);  // still ours: not deleted by the merge or the reset
    EXPECT_EQ(b->getSamples()[0], 2);
}

TEST_F(Timeline, WrongChannelCountAndFormatAreAssertions)
{
    AudioSequencer mono(44100, 1);
    ASSERT_EQ(AssertRecorder::count(), 1);
    EXPECT_EQ(AssertRecorder::expressions()[0], QStringLiteral("channelCount == 2"));
    EXPECT_EQ(seq.addOutput(new AudioBuffer(2, 1, 44100), 0.0, true, true), 0);
    EXPECT_EQ(AssertRecorder::count(), 2);
    EXPECT_EQ(seq.addOutput(nullptr, 0.0, true, true), 1);
    EXPECT_EQ(seq.outputRegions().size(), 1);
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("addOutput without a buffer")));
}

TEST(MarkerEvents, RegionsPostToLiveTargetsAndListenersTurnThemIntoCalls)
{
    MarkerRecorder listener;
    auto* doomed = new MarkerRecorder;
    AudioMarkerRegion live(&listener, 5, 1.25);
    AudioMarkerRegion dead(doomed, 6, 1.5);
    delete doomed;
    EXPECT_TRUE(live.notify());
    EXPECT_FALSE(dead.notify());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(listener.ids, QList<int>{5});
    EXPECT_EQ(listener.times, QList<double>{1.25});
    // other events pass on to QObject
    QEvent other(QEvent::Type(QEvent::User + 1));
    QObject plain;
    EXPECT_EQ(listener.event(&other), plain.event(&other));
    EXPECT_EQ(listener.ids.size(), 1);
}

}  // namespace
