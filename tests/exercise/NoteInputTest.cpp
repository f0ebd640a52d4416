// Note inputs and their sources: the active source, how inputs are timed, and the hand-over between
// the main thread and the audio and detector threads. (The manager's wiring is what every engine
// test runs on.)
#include "ExerciseFixture.h"

#include "debug/Logger.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <cmath>
#include <random>
#include <vector>
#include <functional>
#include <thread>

namespace {

// A source that records what it could see of its input while starting.
class ProbeSource : public NoteInputSource {
public:
    ProbeSource() : NoteInputSource(QStringLiteral("probe")) {}
    void start() override { sawInput = noteInput(); }
    void stop() override {}
    NoteInput* sawInput = nullptr;
};

// An evaluator over four quarter notes (expected at 0.0, 0.6, 1.2, 1.8 s) grading rhythm.
class NoteInputTest : public EvaluatorTest {
protected:
    static void SetUpTestSuite()
    {
        EvaluatorTest::SetUpTestSuite();
        NoteInputManager::getInstance()->initialize();
    }
    void SetUp() override
    {
        EvaluatorTest::SetUp();
        load("[ \\meter<\"4/4\"> c1/4 d e f ]", Evaluator::RhythmMode);
    }
    NoteInputManager* manager() const { return NoteInputManager::getInstance(); }
};

// Only a registered source can be active; sources start before another thread can see them feed the
// input; reset clears the started flag only.
TEST_F(NoteInputTest, SourcesAreRegisteredActivatedStartedAndReset)
{
    NoteInput input;
    ProbeSource a, b, stranger;
    input.registerSource(&a);
    input.registerSource(&b);
    {
        ProbeSource shortLived;
        input.registerSource(&shortLived);
    }
    EXPECT_EQ(input.sources(), (QSet<NoteInputSource*>{&a, &b}));  // a deleted source leaves no entry
    EXPECT_EQ(input.activeSource(), &a);
    input.setActiveSource(&b);
    input.setActiveSource(&stranger);
    EXPECT_EQ(input.activeSource(), &b);

    input.setEvaluator(evaluator.get());
    input.start(2.0);
    EXPECT_EQ(b.sawInput, nullptr);  // the source ran before the input was handed to it
    input.reset();
    input.handleInput(&b, Pitch::C, 4, 2.0);  // not started: dropped silently
    EXPECT_EQ(spy->count(), 0);
    EXPECT_EQ(b.noteInput(), &input);
    input.start(2.0);  // allowed again
    input.start(2.0);  // but not while started
    input.stop();
    EXPECT_EQ(b.noteInput(), nullptr);
    EXPECT_EQ(AssertRecorder::expressions(), (QStringList{"m_sourceList.contains(src)", "!m_isStarted"}));
}

// Microphone notes are dated from the input region's first sample, not from the late start on the
// main thread, less the start offset; inputs of an inactive source are dropped. (Key presses and
// the completed evaluation: the engine's keyboard exercises.)
TEST_F(NoteInputTest, MicrophoneNotesCountTheRegionSamplesBeforeTheStart)
{
    NoteInput* singing = manager()->mp_singingInput;
    MicNoteInputSource* mic = manager()->mp_micSource;
    manager()->mp_clappingInput->setActiveSource(manager()->mp_keyboardSource);
    manager()->mp_clappingInput->handleInput(mic, Pitch::A, 4, 3.0);
    EXPECT_TRUE(LogCapture::instance().contains("discarding input from inactive source source..."));

    singing->setEvaluator(evaluator.get());
    mic->rewindCapture();
    for (int i = 0; i < 4410; ++i)  // 0.1 s of the region went by before marker 1003 was handled
        mic->newSample(0.0, 0);
    singing->start(2.0);
    mic->newSample(0.1, 0);
    PitchDetector::NoteInfo sung;
    sung.note = Pitch::D;
    sung.offset = 2.52;  // on the detector's clock: 2.62 on the region's, note 1 at 0.62
    mic->newNote(sung);
    singing->stop();
    EXPECT_EQ(gradeText(evaluator->evaluationList(), false), "-P--");
}

// Samples of a capture region: the 2 s lead, then a 40 ms noise burst (a clap, peak -12 dBFS) at
// each of `claps` seconds after it.
std::vector<short> clappedRegion(const std::vector<double>& claps, double seconds)
{
    std::vector<short> out(size_t((2.0 + seconds) * 44100), 0);
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> white(-8000, 8000);
    for (double t : claps) {
        const size_t a = size_t((2.0 + t) * 44100);
        for (size_t k = 0; k < size_t(0.04 * 44100) && a + k < out.size(); ++k)
            out[a + k] = short(white(rng) * std::exp(-double(k) / 400.0));
    }
    return out;
}

// With the microphone as its source the clapping input takes each attack as a timed input, dated
// from the region's first sample like a sung note, and no notes; the singing input takes notes and
// no attacks.
TEST_F(NoteInputTest, ClapsIntoTheMicrophoneAreTimedInputsOfTheClappingInputOnly)
{
    MicNoteInputSource* mic = manager()->mp_micSource;
    manager()->mp_clappingInput->setActiveSource(mic);
    PitchDetector::NoteInfo sung;
    sung.note = Pitch::D;
    sung.octave = 4;
    sung.offset = 2.6;  // note 1, on the detector's clock
    const struct {
        const char* name;
        NoteInput* input;
        std::vector<double> claps;
        bool sing;
        int inputs;
        QString grades;
    } rows[] = {
        // the third note left out: wrong once the last graded ends the answer
        {"claps", manager()->mp_clappingInput, {0.0, 0.63, 1.79}, false, 3, "PPWP"},
        {"a clap 100 ms late", manager()->mp_clappingInput, {0.1}, false, 1, "l---"},
        {"a sung note on the clapping input", manager()->mp_clappingInput, {}, true, 0, "----"},
        {"claps on the singing input", manager()->mp_singingInput, {0.0, 0.6}, false, 0, "----"},
        {"a sung note on the singing input", manager()->mp_singingInput, {}, true, 1, "-P--"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        evaluator->reset();
        row.input->reset();
        row.input->setEvaluator(evaluator.get());
        mic->rewindCapture();
        for (int i = 0; i < 441; ++i)  // the main thread started the input 10 ms into the region
            mic->newSample(0.0, 0);
        row.input->start(2.0);
        for (short s : clappedRegion(row.claps, 2.5))
            mic->newSample(0.0, s);
        mic->mp_detector->wait();
        if (row.sing)
            mic->newNote(sung);
        EXPECT_EQ(row.input->inputCount(), row.inputs);
        EXPECT_EQ(gradeText(evaluator->evaluationList(), false), row.grades);
        row.input->stop();
        QCoreApplication::processEvents();
    }
    manager()->mp_clappingInput->setActiveSource(manager()->mp_keyboardSource);
}

// The region's last sample ends the detector's input: a clap in the last samples, too few to fill
// a block, is heard once the input end has been analysed.
TEST_F(NoteInputTest, TheRegionsLastSamplesAreHeardWhenItEnds)
{
    MicNoteInputSource* mic = manager()->mp_micSource;
    NoteInput* clapping = manager()->mp_clappingInput;
    clapping->setActiveSource(mic);
    clapping->setEvaluator(evaluator.get());
    // 1.81 s lies within the last 967 samples the detector is given, after its last full block
    const std::vector<short> region = clappedRegion({0.0, 0.6, 1.2, 1.81}, 1.83);
    ASSERT_EQ(region.size() % 2048, 967u);
    mic->rewindCapture(qint64(region.size()));
    clapping->start(2.0);
    for (short s : region)
        mic->newSample(0.0, s);
    EXPECT_TRUE(mic->mp_detector->waitForInputEnd(std::chrono::milliseconds(3000)));
    EXPECT_EQ(clapping->inputCount(), 4);
    EXPECT_EQ(gradeText(evaluator->evaluationList(), false), "PPPP");
    clapping->stop();
    QCoreApplication::processEvents();
    clapping->setActiveSource(manager()->mp_keyboardSource);
}

// Holds the thread that logs the detector's clipping warning (the audio thread, inside its sample)
// until released.
class HoldingDestination : public QsLogging::Destination {
public:
    void write(const QString& message) override
    {
        if (!message.contains("above peak amplitude") || QThread::currentThread() == qApp->thread())
            return;
        held = true;
        while (!released)
            QThread::usleep(100);
    }
    std::atomic<bool> held{false};
    std::atomic<bool> released{false};
};

// Stopping returns only once no other thread is inside a call with the input in hand: a grade on
// the detector's worker, a sample the audio thread writes to the debug capture file.
TEST_F(NoteInputTest, StopWaitsForTheWorkerAndTheAudioThread)
{
    static HoldingDestination* const hold = [] {
        auto* d = new HoldingDestination();
        QsLogging::Logger::instance().addDestination(d);
        return d;
    }();
    QTemporaryDir dir;
    NoteInput* singing = manager()->mp_singingInput;
    MicNoteInputSource* mic = manager()->mp_micSource;
    PitchDetector* detector = mic->mp_detector;
    singing->setEvaluator(evaluator.get());
    std::atomic<bool> grading{false}, released{false};
    QObject::connect(evaluator.get(), &Evaluator::inputEvaluated, evaluator.get(), [&] {
        grading = true;
        while (!released)
            QThread::usleep(100);
    }, Qt::DirectConnection);
    // Runs call on another thread, waits until it is held there, stops, and tells whether it had left.
    auto stopWhileInside = [&](std::function<void()> call, std::atomic<bool>& held, std::atomic<bool>& release) {
        singing->reset();
        singing->start(0.0);
        std::atomic<bool> left{false};
        std::thread other([&] {
            call();
            left = true;
        });
        while (!held)
            QThread::usleep(100);
        std::thread releaser([&] {
            QThread::msleep(150);
            release = true;
        });
        singing->stop();
        const bool waited = left;
        other.join();
        releaser.join();
        return waited;
    };
    PitchDetector::NoteInfo sung;
    sung.note = Pitch::C;
    sung.offset = 0.0;
    EXPECT_TRUE(stopWhileInside([&] { mic->newNote(sung); }, grading, released));

    const double peak = detector->m_peakAmplitude;
    detector->m_peakAmplitude = 0.001;  // the sample clips, so the detector warns
    Debugging::setLoggingLevel(QsLogging::WarnLevel);  // nothing on this thread reaches the logger
    mic->setCaptureFile(dir.filePath("capture.wav"));
    EXPECT_TRUE(stopWhileInside([&] { mic->newSample(0.0, 1000); }, hold->held, hold->released));
    EXPECT_EQ(QFileInfo(dir.filePath("capture.wav")).size(), 44 + 2);  // closed with its one sample
    Debugging::setLoggingLevel(QsLogging::TraceLevel);
    detector->m_peakAmplitude = peak;
    mic->setCaptureFile(QString());
}

}  // namespace
