// The sequencer without a device: building the timeline (positions, totals, mixing, marker events),
// then its callback core driven with synthetic buffers (warm-up, region offsets, markers, input
// windows, the end of the timeline).
#include "AudioFixtures.h"
#include "audio/Audio.h"
#include "audio/AudioBuffer.h"
#include "audio/AudioInputRegion.h"
#include "audio/AudioOutputRegion.h"
#include "audio/AudioSequencer.h"
#include "audio/AudioSequencerMarkerEvent.h"
#include "debug/Debugging.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QThread>

#include <cmath>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace AudioFixtures;

// A stereo buffer of `seconds` whose every sample is `value` (left) and `value + 1` (right).
AudioBuffer* constant(double seconds, short value)
{
    return bufferOf(makeSamples(int(seconds * 44100), 2, [value](int, int c) { return short(value + c); }));
}

// Feeds 10 ms blocks with 10 ms input and 20 ms output latency; the microphone is signature(frame).
class CallbackCore : public ::testing::Test {
protected:
    void SetUp() override
    {
        AssertRecorder::clear();
        LogCapture::instance().clear();
    }
    void TearDown() override { Audio::setOutputVolume(1.0); }

    int block()
    {
        std::vector<short> in(frames);
        for (int i = 0; i < frames; ++i)
            in[i] = signature(inputFrame + i);
        out.assign(frames, short(12345));
        const int rc = seq.processBlock(in.data(), out.data(), frames, timing);
        inputFrame += frames;
        played.insert(played.end(), out.begin(), out.end());
        return rc;
    }
    // Adds the output region if given, prepares the timeline and runs the 19 warm-up blocks.
    void prepareAndWarmUp(AudioBuffer* output = nullptr, double position = 0.0)
    {
        if (output)
            seq.addOutput(output, position, true, true);
        seq.prepare();
        played.clear();
        for (int i = 0; i < AudioSequencer::kWarmUpInvocations; ++i)
            ASSERT_EQ(block(), 0);
        EXPECT_EQ(std::count(played.begin(), played.end(), 0), qint64(played.size())) << "the warm-up is silent";
        played.clear();
    }
    void dispatch()
    {
        seq.dispatchCallbackEvents();
        QCoreApplication::sendPostedEvents();
    }

    AudioSequencer seq{44100, 2};
    AudioSequencer::StreamTiming timing{44100.0, 0.01, 0.02, 0.0};
    int frames = 441;
    qint64 inputFrame = 0;
    std::vector<short> out;
    std::vector<short> played;  // output of the timeline blocks
};

class Timeline : public CallbackCore {};

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
         {{0, 100}, {1, 101}, {44098, 100}, {44100, 1100}, {44101, 1102}, {88198, 1100}, {88200, 1000},
          {132299, 1001}}},
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

TEST_F(CallbackCore, RegionsStartAtTheirFrameOffsets)
{
    // regions {frames, signature base, position}; what the timeline plays, as runs of silence (-1)
    // or of the signature from a base
    struct Region { int frames; qint64 base; double position; };
    QList<Region> pieces;  // back to back, at positions summed in seconds as callers do
    double position = 0.0;
    for (int piece = 0, base = 0; piece < 12; ++piece) {
        const int length = 137 + 61 * piece;
        pieces << Region{length, base, position};
        base += length;
        position += length / 44100.0;
    }
    const struct { const char* name; double rate; QList<Region> regions; QList<QPair<int, qint64>> runs; } rows[] = {
        // 220.5 frames into the first block: the offset counts mono frames
        {"offset", 44100, {{500, 0, 0.005}}, {{220, -1}, {500, 0}, {162, -1}}},
        // each piece whole, in order, exactly once, without a gap or a stop
        {"back to back", 44100, pieces, {{5670, 0}, {441, -1}}},
        // at 40000 Hz the second offset falls inside the first region's frames: it follows at once
        {"slower stream", 40000, {{300, 0, 0.0}, {100, 300, 300 / 44100.0}}, {{400, 0}, {482, -1}}},
        // a region already passed is never played
        {"passed", 44100, {{441, 50000, -0.5}, {100, 0, 0.02}}, {{882, -1}, {100, 0}, {1223, -1}}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        seq.reset();
        for (const Region& region : r.regions)
            seq.addOutput(signatureBuffer(region.frames, region.base), region.position, true, true);
        timing.sampleRate = r.rate;
        prepareAndWarmUp();
        size_t at = 0;
        for (const auto& run : r.runs) {
            while (played.size() < at + size_t(run.first))
                ASSERT_EQ(block(), 0) << "stopped mid-timeline at " << played.size();
            if (run.second < 0)
                EXPECT_EQ(std::count(played.begin() + at, played.begin() + at + run.first, 0), run.first) << at;
            else
                EXPECT_EQ(signatureMismatch(played.data() + at, run.first, run.second), -1) << at;
            at += size_t(run.first);
        }
    }
}

TEST_F(CallbackCore, OutputVolumeScalesAndSaturates)
{
    const struct { double volume; std::vector<short> expected; } rows[] = {
        {0.5, {500, -1, 15000, 0}},
        {2.0, {2000, -6, 32767, 0}},
        // far beyond any gain, negative, not a number: saturated or silent, never wrapped
        {1e10, {32767, -32768, 32767, 0}},
        {-3.0, {-3000, 9, -32768, 0}},
        {std::nan(""), {0, 0, 0, 0}},
    };
    for (const auto& r : rows) {
        seq.reset();
        Audio::setOutputVolume(r.volume);
        prepareAndWarmUp(bufferOf({1000, 0, -3, 0, 30000, 0}));
        block();
        EXPECT_EQ(std::vector<short>(out.begin(), out.begin() + 4), r.expected) << r.volume;
    }
}

TEST_F(CallbackCore, MarkersFallDueWithTheInputWindowInOrderAndOnce)
{
    MarkerRecorder target;
    seq.addOutput(signatureBuffer(4410, 0), 0.0, true, true);
    seq.addMarker(&target, 1, 0.0, true);
    seq.addMarker(&target, 3, 0.035, true);
    seq.addMarker(&target, 2, 0.035, true);  // same position: insertion order
    seq.addMarker(&target, 4, 0.05, true);
    auto* gone = new MarkerRecorder;
    seq.addMarker(gone, 9, 0.01, true);  // its target is deleted before it falls due: dropped
    delete gone;
    QSignalSpy started(&seq, &AudioSequencer::started);
    prepareAndWarmUp();
    dispatch();
    EXPECT_EQ(started.count(), 0);
    // Input window of timeline block k: [k x 10 ms - 30 ms, + 10 ms]; the output at 0 s plays from block 0.
    QList<int> delivered;
    for (int k = 0; k < 8; ++k) {
        ASSERT_EQ(block(), 0);
        dispatch();
        delivered << target.ids.size();
    }
    EXPECT_EQ(started.count(), 1);
    EXPECT_EQ(played[0], signature(0));
    EXPECT_EQ(delivered, (QList<int>{0, 0, 1, 1, 1, 1, 3, 4}));
    EXPECT_EQ(target.ids, (QList<int>{1, 3, 2, 4}));
    EXPECT_EQ(target.times, (QList<double>{0.0, 0.035, 0.035, 0.05}));
}

TEST_F(CallbackCore, LateInvocationsAreWarnedFromTheControlSideOnceIn500)
{
    const QString warning = QStringLiteral("time elapsed between invocations is unexpectedly high (0.050000)");
    seq.addSilence(10.0, 0.0, true);
    prepareAndWarmUp();
    timing.streamTime = 1.0;
    ASSERT_EQ(block(), 0);
    // Block k comes 50 ms after the one before it instead of 10 ms; the callback itself logs nothing.
    const struct {
        int lateBlocks;
        int warnings;  // the 1st late one, none of the next 499, the 501st
    } steps[] = {{1, 1}, {499, 0}, {1, 1}};
    for (const auto& step : steps) {
        for (int k = 0; k < step.lateBlocks; ++k) {
            timing.streamTime += 0.05;
            ASSERT_EQ(block(), 0);
        }
        EXPECT_FALSE(LogCapture::instance().contains(QStringLiteral("unexpectedly high")));
        dispatch();
        EXPECT_EQ(LogCapture::instance().linesContaining(warning).size(), step.warnings) << step.lateBlocks;
        LogCapture::instance().clear();
    }
}

TEST_F(CallbackCore, InputRegionsReceiveExactCountsWithWindowStartTimes)
{
    InputRecorder window, a, b;
    seq.addInput(&window, 0.02, 0.055, true);  // 882 samples from 5.5 ms into the window [50, 60)
    seq.addInput(&a, 0.0123, 0.1, true);       // then two back to back
    seq.addInput(&b, 0.0077, 0.0, false);
    prepareAndWarmUp();
    for (int k = 0; k < 18; ++k)
        ASSERT_EQ(block(), 0);
    ASSERT_EQ(window.samples.size(), 882u);
    const qint64 first = qint64(AudioSequencer::kWarmUpInvocations) * 441 + 8 * 441 + 220;
    EXPECT_EQ(signatureMismatch(window.samples.data(), 882, first), -1);
    EXPECT_NEAR(window.times.front(), 0.05, 1e-12);
    EXPECT_NEAR(window.times[221], 0.06, 1e-12);
    EXPECT_NEAR(window.times.back(), 0.07, 1e-12);
    ASSERT_EQ(a.samples.size(), size_t(0.0123 * 44100));
    ASSERT_EQ(b.samples.size(), size_t(0.0077 * 44100));
    // b's first sample follows a's last one in the microphone stream, or the frame after it when its
    // position rounds one frame later: none lost, none repeated
    const int gap = int(quint16(b.samples.front()) - quint16(a.samples.back())) & 0xffff;
    EXPECT_TRUE(gap == (40503 & 0xffff) || gap == ((2 * 40503) & 0xffff)) << gap;
}

// The host ended the stream under way and a new one goes on: the time lost in between is run through
// the timeline before the new stream's first block. The output skips what fell due meanwhile (a
// drop-out, not a pause), the input region gets that time as silence with every sample dated once,
// and the marker that fell in it is posted once. A timeline that ends in the lost time completes.
TEST_F(CallbackCore, AStreamThatGoesOnSkipsTheTimeLost)
{
    InputRecorder recorder;
    MarkerRecorder target;
    seq.addInput(&recorder, 1.0, 0.0, true);
    seq.addMarker(&target, 1, 0.25, true);
    prepareAndWarmUp(signatureBuffer(6 * 44100, 0));
    for (int k = 0; k < 10; ++k)
        ASSERT_EQ(block(), 0);
    const qint64 before = seq.framesProcessed();
    const size_t heardBefore = recorder.samples.size();
    seq.goOnFromHere();
    QThread::msleep(300);
    ASSERT_EQ(block(), 0);
    const qint64 skipped = seq.framesProcessed() - before - frames;
    EXPECT_GE(skipped, qint64(0.28 * 44100));
    EXPECT_LT(skipped, qint64(5.0 * 44100));  // the sleep, however late the machine woke from it
    // the block after the lost time plays the timeline where it now is
    EXPECT_EQ(signatureMismatch(played.data() + played.size() - frames, frames, before + skipped), -1);
    dispatch();
    EXPECT_EQ(target.ids, QList<int>{1});
    // every input sample once, dated in order; the lost ones silent, the microphone's after them
    ASSERT_EQ(recorder.samples.size(), heardBefore + size_t(skipped + frames));
    EXPECT_TRUE(std::is_sorted(recorder.times.begin(), recorder.times.end()));
    EXPECT_NEAR(recorder.times.back() - recorder.times[heardBefore - 1], double(skipped + frames) / 44100, 1e-9);
    EXPECT_EQ(std::count(recorder.samples.begin() + heardBefore, recorder.samples.end() - frames, short(0)),
              qint64(skipped));
    EXPECT_EQ(signatureMismatch(recorder.samples.data() + recorder.samples.size() - frames, frames,
                                inputFrame - frames), -1);

    // lost past the end: the stream completes
    seq.reset();
    prepareAndWarmUp(signatureBuffer(int(0.2 * 44100), 0));
    ASSERT_EQ(block(), 0);
    seq.goOnFromHere();
    QThread::msleep(400);
    EXPECT_EQ(block(), 1);
    EXPECT_EQ(std::count(played.end() - frames, played.end(), short(0)), frames);
}

// A busy machine: the host gives a block of its own silence when the microphone has nothing yet, and
// the microphone's samples come later. That silence is no input: no listener gets it, and the
// samples after it are dated as the ones they are, the markers falling due with them. A microphone
// silent for good holds the timeline back by a second at most.
TEST_F(CallbackCore, HostSilenceForALateMicrophoneIsNoInput)
{
    InputRecorder recorder;
    MarkerRecorder target;
    seq.addInput(&recorder, 0.05, 0.0, true);
    seq.addMarker(&target, 1, 0.03, true);
    prepareAndWarmUp();
    const qint64 first = inputFrame + 3 * 441;  // the input window of block 3 starts at 0 s
    auto hostSilence = [this] {
        std::vector<short> silence(frames, 0);
        out.assign(frames, short(12345));
        timing.inputPadded = true;
        const int rc = seq.processBlock(silence.data(), out.data(), frames, timing);
        timing.inputPadded = false;
        return rc;
    };
    for (int k = 0; k < 5; ++k)
        ASSERT_EQ(block(), 0);
    for (int k = 0; k < 3; ++k)
        ASSERT_EQ(hostSilence(), 0);
    // 20 ms of the region taken, 30 ms of silence: the marker at 30 ms is not due yet
    dispatch();
    EXPECT_TRUE(target.ids.isEmpty());
    ASSERT_EQ(block(), 0);
    dispatch();
    EXPECT_EQ(target.ids, QList<int>{1});
    for (int k = 0; k < 2; ++k)
        ASSERT_EQ(block(), 0);
    ASSERT_EQ(recorder.samples.size(), 2205u);
    EXPECT_EQ(signatureMismatch(recorder.samples.data(), 2205, first), -1);
    EXPECT_NEAR(recorder.times[882], 0.02, 1e-12);
    EXPECT_NEAR(recorder.times.back(), 0.04, 1e-12);

    // the microphone never comes back: a second of silence is waited out, then the silence is input
    seq.reset();
    seq.addInput(&recorder, 0.05, 0.0, true);
    prepareAndWarmUp();
    recorder.samples.clear();
    int blocks = 1;
    while (hostSilence() == 0 && blocks < 1000)
        ++blocks;
    // the window passes 0.15 s (the input and its tail) in block 19, and 100 blocks later with the wait
    EXPECT_EQ(blocks, 100 + 19);
    EXPECT_EQ(recorder.samples.size(), 2205u);
}

TEST_F(CallbackCore, EveryEndingFinishesThePlaybackOnce)
{
    // the timeline's end (a host end after it changes nothing), a missing input buffer, a stream the
    // host ends (twice); the error line each logs
    enum End { Timeline, NoInput, Host };
    const struct { End end; const char* line; bool logged; } rows[] = {
        {Timeline, "stream error", false},
        {NoInput, "no input stream!", true},
        {Host, "playback ended on a stream error", true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.line);
        seq.reset();
        QSignalSpy finished(&seq, &AudioSequencer::finished);
        prepareAndWarmUp(signatureBuffer(int(0.095 * 44100), 0));  // 0.195 s with the tail
        LogCapture::instance().clear();
        ASSERT_EQ(block(), 0);
        if (r.end == Timeline) {
            for (int k = 0; k < 21; ++k) {
                ASSERT_EQ(block(), 0) << k;
                dispatch();
            }
            EXPECT_EQ(finished.count(), 0);
            EXPECT_EQ(block(), 1);  // window [190, 200] ends after 0.195 s
            dispatch();
        } else if (r.end == NoInput) {
            EXPECT_EQ(seq.processBlock(nullptr, out.data(), 441, timing), 1);
        }
        seq.hostStreamFinished();
        seq.hostStreamFinished();
        dispatch();
        EXPECT_EQ(finished.count(), 1);
        EXPECT_FALSE(seq.isPlaying());
        EXPECT_EQ(LogCapture::instance().contains(r.line), r.logged);
        // what a user of the sequencer is told
        EXPECT_EQ(seq.lastError(), r.end == Timeline ? QString() : QString("playback ended on a stream error"));
    }
}

// A device faster than real time: the callback thread may take the last markers and end the timeline
// while the control thread is posting the earlier ones. The end is announced only after every marker.
TEST_F(CallbackCore, TheEndIsAnnouncedAfterEveryMarkerEvenWhenTheCallbackRacesAhead)
{
    int shortEnds = 0;
    for (int run = 0; run < 200; ++run) {
        seq.reset();
        MarkerRecorder target;
        for (int i = 0; i < 100; ++i)
            seq.addMarker(&target, i, 0.001 * i, true);
        prepareAndWarmUp();
        int deliveredAtEnd = -1;
        QObject::connect(&seq, &AudioSequencer::finished, &seq, [&] {
            QCoreApplication::sendPostedEvents(&target);
            deliveredAtEnd = target.ids.size();
        });
        std::thread callback([&] {
            while (block() == 0) {
            }
        });
        while (deliveredAtEnd < 0)
            seq.dispatchCallbackEvents();
        callback.join();
        QObject::disconnect(&seq, &AudioSequencer::finished, &seq, nullptr);
        if (deliveredAtEnd != 100)
            ++shortEnds;
    }
    EXPECT_EQ(shortEnds, 0) << "of 200 timelines ended before all their markers were posted";
}

TEST_F(CallbackCore, NothingIsPlayedUntilTheFirstFrameLeavesTheOutputLatencyOrTheMicrophoneIsHeard)
{
    // 10 ms blocks with 20 ms of output latency: the first two timeline blocks are still on their way
    // to the speaker. A microphone region placed before the start is fed from the first block on.
    const struct { const char* what; double inputAt; int blocks; bool nothing; } rows[] = {
        {"warm-up only", 1.0, 0, true},
        {"one block inside the latency", 1.0, 1, true},
        {"two blocks, exactly the latency", 1.0, 2, true},
        {"three blocks: the first frames are heard", 1.0, 3, false},
        {"well under way", 1.0, 30, false},
        {"microphone fed while the output is still silent", -0.025, 1, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        seq.reset();
        InputRecorder input;
        seq.addInput(&input, 0.5, r.inputAt, true);
        seq.addOutput(signatureBuffer(44100, 0), 0.0, true, true);
        seq.prepare();
        for (int i = 0; i < AudioSequencer::kWarmUpInvocations; ++i) {
            ASSERT_EQ(block(), 0);
            EXPECT_TRUE(seq.nothingPlayedYet()) << "warm-up block " << i;
        }
        for (int i = 0; i < r.blocks; ++i)
            ASSERT_EQ(block(), 0);
        EXPECT_EQ(seq.nothingPlayedYet(), r.nothing);
        EXPECT_EQ(input.samples.empty(), r.inputAt > 0.0);
    }
}

}  // namespace
