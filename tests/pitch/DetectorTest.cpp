// The detector: sample normalisation, blocks, the expected-note cut-off, the chain's say, debug lines, and the worker thread's hand-off, idle wait, reset and shutdown.
#include "pitch/PitchDetectionHeuristic.h"
#include "pitch/PitchDetectionStrategy.h"
#include "pitch/PitchDetector.h"
#include "pitch/OnsetDetectionStrategy.h"
#include "pitch/PitchListener.h"
#include "debug/Debugging.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"
#include "support/Watchdog.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <mutex>
#include <QThread>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace {

// Records every block and submits a fixed frequency per piece.
class RecordingStrategy : public PitchDetectionStrategy {
public:
    void reset() override {}
    void process(QVector<double>& block, PitchDetector* detector) override
    {
        {
            std::lock_guard<std::mutex> locker(mutex);
            blocks.push_back(block);
        }
        for (unsigned i = 0; i < detector->m_subBlockCount; ++i)
            detector->submitPitch(frequency);
        if (delayMs > 0)
            QThread::msleep(delayMs);
        while (held)
            QThread::usleep(100);
    }
    std::vector<QVector<double>> copy()
    {
        std::lock_guard<std::mutex> locker(mutex);
        return blocks;
    }
    std::mutex mutex;
    std::vector<QVector<double>> blocks;
    double frequency = 440.0;
    std::atomic<int> delayMs{0};
    std::atomic<bool> held{false};
};

class Recorder : public PitchListener {
public:
    void newNote(const PitchDetector::NoteInfo& note) override { notes.push_back(note); }
    void newOnset(const PitchDetector::OnsetInfo&) override {}
    std::vector<PitchDetector::NoteInfo> notes;
};

class ToExpected : public PitchDetectionHeuristic {
public:
    explicit ToExpected(PitchDetector* d) : PitchDetectionHeuristic(d, "ToExpected") {}
    bool process(PitchDetector::NoteInfo& note) override
    {
        note.note = Pitch::C;
        note.octave = 5;
        return true;
    }
    void prepare() override { ++prepares; }
    int prepares = 0;
};

class Detector : public ::testing::Test {
protected:
    void SetUp() override
    {
        LogCapture::instance().clear();
        AssertRecorder::clear();
        detector.mp_pitchDetectionStrategy = &strategy;
        detector.mp_listener = &listener;
        detector.m_blockSize = 2048;
        detector.m_subBlockCount = 2;
    }
    void feed(int count, double value)
    {
        for (int i = 0; i < count; ++i)
            detector.addSample(value);
    }
    // Declared before the detector, so the detector (and its worker) goes first.
    RecordingStrategy strategy;
    Recorder listener;
    PitchDetector detector;
};

TEST_F(Detector, SamplesAreGatedScaledAndClippedOnThePositiveSideOnly)
{
    detector.start();
    detector.addSample(0.99e-5);
    detector.addSample(1e-5);
    detector.m_peakAmplitude = 0.5;
    detector.addSample(0.75);
    detector.addSample(-0.75);
    detector.addSample(static_cast<short>(-32768));  // -1.0 scaled by the peak amplitude 0.5
    detector.m_peakAmplitude = 0.0;  // a peak amplitude of 0 or below counts as 1.0, with one warning
    detector.addSample(0.5);
    detector.m_peakAmplitude = -2.0;
    detector.addSample(0.25);
    EXPECT_EQ(*detector.mp_currentBlock, QVector<double>({0.0, 1e-5, 1.0, -1.5, -2.0, 0.5, 0.25}));
    EXPECT_EQ(LogCapture::instance().linesContaining("sample 0.75 is above peak amplitude 0.50; it will be clipped!").size(), 1);
    EXPECT_EQ(LogCapture::instance().linesContaining("is not positive; 1.0 is used").size(), 1);

    // the clipping warning: the first of each answer only, however many blocks clip
    for (int answer = 1; answer <= 2; ++answer) {
        LogCapture::instance().clear();
        detector.start();
        detector.m_peakAmplitude = 0.5;
        feed(2048, 0.9);
        feed(2148, 0.9);
        detector.wait();
        EXPECT_EQ(LogCapture::instance().linesContaining("clipped").size(), 1) << answer;
    }
}

// Never started: a feeder that never starts the detector (the calibration test) must not grow
// blocks on the audio thread either.
TEST_F(Detector, TheBlockSizeThSampleHandsOverABlockThatHadRoomFromTheStart)
{
    for (int block = 0; block < 3; ++block) {
        EXPECT_GE(detector.mp_currentBlock->capacity(), 2048) << block;
        feed(2047, 0.1);
        detector.wait();
        EXPECT_EQ(strategy.copy().size(), static_cast<size_t>(block));
        detector.addSample(0.2);
        EXPECT_TRUE(detector.mp_currentBlock->isEmpty()) << block;
    }
    detector.wait();
    for (const QVector<double>& block : strategy.copy())
        EXPECT_EQ(std::make_pair(block.size(), block.last()), std::make_pair(2048, 0.2));
    ASSERT_EQ(listener.notes.size(), 6u);
    EXPECT_EQ(std::make_pair(listener.notes[5].note, listener.notes[5].octave), std::make_pair(Pitch::A, 4));
}

TEST_F(Detector, ResultsAfterTheLastExpectedNoteAreDiscarded)
{
    ToExpected rewrite(&detector);
    detector.m_heuristics.append(&rewrite);
    detector.m_expectedNotes = {PitchDetector::NoteInfo(), PitchDetector::NoteInfo(), PitchDetector::NoteInfo()};
    detector.start();
    EXPECT_EQ(rewrite.prepares, 1);
    feed(3 * 2048, 0.1);
    detector.wait();
    ASSERT_EQ(listener.notes.size(), 3u);
    EXPECT_EQ(detector.m_expectedIndex, 3);
    EXPECT_EQ(listener.notes[0].note, Pitch::C); // the heuristic's rewrite is what is reported
    EXPECT_EQ(detector.m_notes[2].octave, 5);

    detector.m_expectedNotes.clear();
    detector.start();
    feed(2048, 0.1);
    detector.wait();
    EXPECT_EQ(detector.m_notes.size(), 2);
    EXPECT_EQ(detector.m_expectedIndex, 0);
}

class RejectAll : public PitchDetectionHeuristic {
public:
    explicit RejectAll(PitchDetector* d) : PitchDetectionHeuristic(d, "RejectAll") {}
    bool process(PitchDetector::NoteInfo&) override { return false; }
};

TEST_F(Detector, DebugFlagsLogResultsAndVerdicts)
{
    ToExpected rewrite(&detector);
    RejectAll reject(&detector);
    detector.m_heuristics = {&rewrite};
    detector.m_debugFlags = PitchDetector::LogResults | PitchDetector::LogVerdicts;
    Debugging::setLoggingLevel(QsLogging::DebugLevel);
    detector.start();
    feed(2048, 0.1);
    detector.wait();
    EXPECT_TRUE(LogCapture::instance().contains("PitchTracking - Chunk:000 Result:1 Offset:0.00s Frequency:440.00"));
    EXPECT_TRUE(LogCapture::instance().contains("PitchTracking - Chunk:000 Result:2 Offset:0.02s"));
    EXPECT_EQ(LogCapture::instance().linesContaining("** Submitted **").size(), 2);
    EXPECT_TRUE(LogCapture::instance().contains("Note: C5"));

    LogCapture::instance().clear();
    detector.m_heuristics = {&rewrite, &reject};
    strategy.frequency = 0.0; // no note: with flag 0x4 its lines are left out
    detector.m_debugFlags = PitchDetector::LogResults | PitchDetector::LogVerdicts | PitchDetector::SkipSilentResults;
    detector.start();
    feed(2048, 0.1);
    detector.wait();
    EXPECT_FALSE(LogCapture::instance().contains("PitchTracking - Chunk:000 Result:1"));
    EXPECT_EQ(LogCapture::instance().linesContaining("- rejected -").size(), 2);
    EXPECT_FALSE(LogCapture::instance().contains("** Submitted **"));
    detector.m_debugFlags = 0;
    Debugging::setLoggingLevel(QsLogging::InfoLevel);
}

TEST_F(Detector, ResetStartAndTeardownWriteABareTraceLine)
{
    auto bareLines = [] {
        int count = 0;
        for (const QString& line : LogCapture::instance().lines())
            count += line.trimmed().endsWith(QLatin1String(" pitch")) ? 1 : 0;
        return count;
    };
    Debugging::setLoggingLevel(QsLogging::TraceLevel);
    detector.reset();
    detector.start();
    delete new PitchDetector();
    Debugging::setLoggingLevel(QsLogging::InfoLevel);
    // reset and start once each; the short-lived detector's construction (a reset) and teardown.
    EXPECT_EQ(bareLines(), 4);
    EXPECT_FALSE(LogCapture::instance().contains("entered..."));
}

TEST_F(Detector, ABlockWithoutStrategiesRaisesTheAssertionAndIsCounted)
{
    detector.mp_pitchDetectionStrategy = nullptr;
    detector.start();
    feed(2048, 0.1);
    detector.wait();
    EXPECT_EQ(AssertRecorder::count(), 1);
    EXPECT_EQ(detector.m_chunkIndex, 1u);
}

// stop() is wait() under its other name: each returns once every queued block is analysed, and
// gives up on a pass that does not end, saying so. A reset waits for the block in progress and
// drops the rest.
TEST_F(Detector, StopAndWaitTakeEveryQueuedBlockAndResetDropsThem)
{
    const std::vector<std::pair<const char*, std::function<void()>>> calls = {
        {"stop", [this] { detector.stop(); }}, {"wait", [this] { detector.wait(); }}};
    for (const auto& [name, call] : calls) {
        SCOPED_TRACE(name);
        LogCapture::instance().clear();
        strategy.delayMs = 20;
        detector.start();
        const size_t before = strategy.copy().size();
        feed(5 * 2048, 0.1);
        call();
        EXPECT_EQ(strategy.copy().size(), before + 5);
        strategy.delayMs = 0;
        strategy.held = true;
        feed(2048, 0.1);
        call();  // returns on its bound while the pass is still held
        EXPECT_TRUE(LogCapture::instance().contains("after 500 ms"));
        strategy.held = false;
        call();
        EXPECT_EQ(strategy.copy().size(), before + 6);
    }

    const size_t before = strategy.copy().size();
    strategy.delayMs = 50;
    feed(8 * 2048, 0.1);
    QThread::msleep(20);
    detector.reset();
    const size_t afterReset = strategy.copy().size();
    EXPECT_LT(afterReset, before + 8u);
    detector.wait();
    EXPECT_EQ(strategy.copy().size(), afterReset);
    EXPECT_TRUE(detector.m_notes.isEmpty());
}

// The end of the input is waited for, not an empty queue: the feeder (the audio thread, behind
// the grading here) hands its blocks over while the worker lags, and its last one, not full, goes
// to the worker completed with silence. A worker that analyses nothing for the stall time is given
// up on; a start forgets the end.
TEST_F(Detector, TheInputEndIsWaitedForWhateverTheFeederAndTheWorkerStillHold)
{
    Watchdog watchdog(60000, "the input end");
    strategy.delayMs = 20;
    detector.start();
    std::thread feeder([this] {
        feed(3 * 2048 + 1000, 0.25);
        detector.endInput();
    });
    EXPECT_TRUE(detector.waitForInputEnd(std::chrono::milliseconds(3000)));
    const std::vector<QVector<double>> blocks = strategy.copy();
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(blocks[3].size(), 2048);
    EXPECT_EQ(std::make_pair(blocks[3][999], blocks[3][1000]), std::make_pair(0.25, 0.0));
    EXPECT_EQ(blocks[3].count(0.0), 2048 - 1000);
    feeder.join();
    EXPECT_TRUE(detector.mp_currentBlock->isEmpty());

    // an end with nothing left to hand over
    detector.start();
    feed(2048, 0.25);
    detector.endInput();
    EXPECT_TRUE(detector.waitForInputEnd(std::chrono::milliseconds(3000)));
    EXPECT_EQ(strategy.copy().size(), 5u);

    // the worker held in its pass: no block analysed meanwhile, so the wait ends without the input
    LogCapture::instance().clear();
    detector.start();
    strategy.delayMs = 0;
    strategy.held = true;
    feed(2 * 2048, 0.25);
    detector.endInput();
    EXPECT_FALSE(detector.waitForInputEnd(std::chrono::milliseconds(50)));
    EXPECT_TRUE(LogCapture::instance().contains("analysis stalled for 50 ms before the end of the input (ended, "));
    strategy.held = false;
    detector.wait();
    EXPECT_EQ(strategy.copy().size(), 7u);

    // a start begins a new input, whose end has not come
    detector.start();
    EXPECT_FALSE(detector.waitForInputEnd(std::chrono::milliseconds(50)));
    EXPECT_TRUE(LogCapture::instance().contains("(not ended, 0 blocks queued)"));
}

TEST_F(Detector, ResetAndStartWhileTheAudioThreadFeeds)
{
    Watchdog watchdog(30000, "reset and start while feeding");
    detector.mp_listener = nullptr;
    detector.m_blockSize = 256;
    detector.start();
    std::atomic<bool> running(true);
    std::thread feeder([&] {
        while (running)
            detector.addSample(0.1);
    });
    for (int i = 0; i < 200; ++i) {
        QThread::usleep(300);
        if (i % 2)
            detector.reset();
        else
            detector.start();
    }
    // On a busy machine the feeder may have had no turn during the cycles: it feeds until a block is in.
    QElapsedTimer fed;
    fed.start();
    while (strategy.copy().empty() && fed.elapsed() < 10000)
        QThread::msleep(1);
    running = false;
    feeder.join();
    detector.wait();
    EXPECT_GT(strategy.copy().size(), 0u);
    for (const QVector<double>& block : strategy.copy())
        EXPECT_EQ(block.size(), 256);
}

} // namespace
