// The note input manager, its inputs and sources: registration and the active source, how inputs
// are timed and passed to the evaluator, and the hand-over between the main thread and the audio
// and detector threads.
#include "exercise/Evaluator.h"
#include "exercise/KeyboardNoteInputSource.h"
#include "exercise/MicNoteInputSource.h"
#include "exercise/NoteInput.h"
#include "exercise/NoteInputManager.h"
#include "pitch/PitchDetectionHeuristic.h"
#include "score/ScoreFixture.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"
#include "debug/Logger.h"
#include "debug/Debugging.h"

#include <QFileInfo>

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <memory>
#include <thread>

namespace {

// A source that records what it could see of its input while starting.
class ProbeSource : public NoteInputSource {
public:
    ProbeSource() : NoteInputSource(QStringLiteral("probe")) {}
    void start() override
    {
        sawInput = noteInput();
        sawStarted = sawInput && sawInput->isStarted();
        ++starts;
    }
    void stop() override { ++stops; }
    NoteInput* sawInput = nullptr;
    bool sawStarted = false;
    int starts = 0;
    int stops = 0;
};

class NoteInputTest : public ScoreTest {
protected:
    static void SetUpTestSuite()
    {
        ScoreTest::SetUpTestSuite();
        NoteInputManager::getInstance()->initialize();
    }
    void SetUp() override
    {
        // expected starts 0.0, 0.6, 1.2, 1.8 s
        ASSERT_TRUE(score.setGMNCode("[ \\meter<\"4/4\"> c1/4 d e f ]"));
        evaluator.reset(new Evaluator(score));
        evaluator->setMode(Evaluator::RhythmMode);
        grades.reset(new QSignalSpy(evaluator.get(), &Evaluator::inputEvaluated));
        AssertRecorder::clear();
        LogCapture::instance().clear();
    }
    NoteInputManager* manager() const { return NoteInputManager::getInstance(); }
    // (index, rhythm grade) of each grade made so far.
    QList<QPair<int, int>> graded() const
    {
        QList<QPair<int, int>> out;
        for (const QList<QVariant>& args : *grades)
            out << qMakePair(args.at(0).toInt(), int(args.at(1).value<Evaluator::EvaluationEntry>().rhythm));
        return out;
    }

    Score score;
    std::unique_ptr<Evaluator> evaluator;
    std::unique_ptr<QSignalSpy> grades;
};

TEST_F(NoteInputTest, ManagerHoldsTheSourcesAndTheThreeInputs)
{
    NoteInputManager* m = manager();
    ASSERT_TRUE(m->mp_micSource && m->mp_keyboardSource);
    EXPECT_EQ(m->mp_micSource->name(), "mic");
    EXPECT_EQ(m->mp_keyboardSource->name(), "Keyboard");
    EXPECT_EQ(m->mp_midiSource, nullptr);
    EXPECT_EQ(m->m_sources.keys(), (QList<NoteInputManager::SourceType>{NoteInputManager::SOURCE_MIC,
                                                                       NoteInputManager::SOURCE_KEYBOARD,
                                                                       NoteInputManager::SOURCE_MIDI}));
    EXPECT_EQ(m->getSourceByType(NoteInputManager::SOURCE_MIC), m->mp_micSource);
    EXPECT_EQ(m->getSourceByType(NoteInputManager::SOURCE_MIDI), nullptr);
    EXPECT_EQ(m->getTypeBySource(m->mp_keyboardSource), NoteInputManager::SOURCE_KEYBOARD);
    EXPECT_EQ(int(m->getTypeBySource(nullptr)), 0);

    // the clapping input has both sources, the microphone (registered first) active
    EXPECT_EQ(m->mp_clappingInput->sources(),
              (QSet<NoteInputSource*>{m->mp_micSource, m->mp_keyboardSource}));
    EXPECT_EQ(m->mp_clappingInput->activeSource(), m->mp_micSource);
    for (NoteInput* input : {m->mp_playingInput, m->mp_singingInput}) {
        EXPECT_EQ(input->sources(), QSet<NoteInputSource*>{m->mp_micSource});
        EXPECT_EQ(input->activeSource(), m->mp_micSource);
    }
    EXPECT_EQ(m->getInputByName("Singing"), m->mp_singingInput);
    EXPECT_EQ(m->getInputByName("CLAPPING"), m->mp_clappingInput);
    EXPECT_EQ(m->getInputByName("playing"), m->mp_playingInput);
    EXPECT_EQ(m->getInputByName("humming"), nullptr);
    EXPECT_EQ(AssertRecorder::expressions(), QStringList{"0"});

    // the one detector, built with the standard chain; a second initialize changes nothing
    PitchDetector* detector = m->mp_micSource->mp_detector;
    ASSERT_TRUE(detector);
    EXPECT_EQ(detector->m_blockSize, 2048u);
    EXPECT_EQ(detector->m_subBlockCount, 2u);
    EXPECT_EQ(detector->m_heuristics.size(), 6);
    NoteInput* clapping = m->mp_clappingInput;
    EXPECT_TRUE(m->initialize());
    EXPECT_EQ(m->mp_clappingInput, clapping);
    EXPECT_EQ(m->mp_micSource->mp_detector, detector);
}

TEST_F(NoteInputTest, ActiveSourceIsSetOnlyToARegisteredOne)
{
    NoteInput input;
    ProbeSource a, b;
    input.registerSource(&a);
    input.registerSource(&b);
    EXPECT_EQ(input.activeSource(), &a);
    input.setActiveSource(&b);
    EXPECT_EQ(input.activeSource(), &b);

    ProbeSource stranger;
    input.setActiveSource(&stranger);
    input.setActiveSource(nullptr);
    EXPECT_EQ(AssertRecorder::expressions(), (QStringList{"m_sourceList.contains(src)", "src", "m_sourceList.contains(src)"}));
    EXPECT_EQ(input.activeSource(), &b);

    input.unregisterSource(&a);
    EXPECT_EQ(input.sources(), QSet<NoteInputSource*>{&b});
    {
        ProbeSource shortLived;
        input.registerSource(&shortLived);
    }
    EXPECT_EQ(input.sources(), QSet<NoteInputSource*>{&b});  // a deleted source leaves no dangling entry
}

// Every input's time: its own offset, or the input's clock, less the start offset.
TEST_F(NoteInputTest, InputsAreTimedFromTheCaptureBeginLessTheStartOffset)
{
    NoteInput input;
    ProbeSource source;
    input.registerSource(&source);
    input.setEvaluator(evaluator.get());

    input.handleInput(&source, Pitch::C, 4, 2.62);  // not started: dropped silently
    EXPECT_TRUE(graded().isEmpty());

    input.start(2.0);
    input.handleInput(&source, Pitch::C, 4, 3.1);  // 1.1: nearest to note 2 (1.2)
    input.setInputClock([] { return 2.62; });       // 0.62: note 1
    input.handleInput(&source, Pitch::C, 4, -1.0);
    EXPECT_EQ(graded(), (QList<QPair<int, int>>{{2, Evaluator::EARLY}, {1, Evaluator::PERFECT}}));
}

TEST_F(NoteInputTest, InputsOfAnInactiveSourceAreDropped)
{
    NoteInput* clapping = manager()->mp_clappingInput;
    clapping->setActiveSource(manager()->mp_keyboardSource);
    clapping->setEvaluator(evaluator.get());
    clapping->start(0.0);
    PitchDetector::NoteInfo sung;
    sung.note = Pitch::A;
    sung.octave = 4;
    sung.offset = 0.6;
    manager()->mp_micSource->newNote(sung);
    EXPECT_TRUE(graded().isEmpty());
    EXPECT_TRUE(LogCapture::instance().contains("discarding input from inactive source source..."));
    clapping->stop();
    clapping->setActiveSource(manager()->mp_micSource);
}

TEST_F(NoteInputTest, ResetClearsOnlyTheStartedFlag)
{
    NoteInput input;
    ProbeSource source;
    input.registerSource(&source);
    input.setEvaluator(evaluator.get());
    input.start(0.0);
    input.reset();
    EXPECT_FALSE(input.isStarted());
    EXPECT_EQ(source.stops, 0);
    EXPECT_EQ(source.noteInput(), &input);
    input.handleInput(&source, Pitch::C, 4, 0.0);
    EXPECT_TRUE(graded().isEmpty());
    input.start(0.0);  // allowed again
    EXPECT_EQ(AssertRecorder::count(), 0);
    EXPECT_EQ(source.starts, 2);
    input.stop();
    EXPECT_EQ(source.noteInput(), nullptr);
}

// A source is started before any other thread can see it feeding the input.
TEST_F(NoteInputTest, SourcesStartBeforeTheInputIsPublished)
{
    NoteInput input;
    ProbeSource source;
    input.registerSource(&source);
    input.setEvaluator(evaluator.get());
    input.start(2.0);
    EXPECT_EQ(source.sawInput, nullptr);
    EXPECT_FALSE(source.sawStarted);
    EXPECT_EQ(source.noteInput(), &input);
    EXPECT_TRUE(input.isStarted());
}

TEST_F(NoteInputTest, KeyPressIsOneTimedInputAndNothingAfterTheLast)
{
    NoteInput input;
    KeyboardNoteInputSource keys;
    input.registerSource(&keys);
    input.setEvaluator(evaluator.get());
    keys.keyPressEvent(nullptr);  // before start: reaches nothing
    EXPECT_TRUE(graded().isEmpty());

    QSignalSpy finished(&input, &NoteInput::inputFinished);
    input.start(0.0);
    double now = 0.0;
    input.setInputClock([&now] { return now; });
    now = 1.81;  // the last note: the evaluation is complete
    keys.keyPressEvent(nullptr);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(input.isStarted());
    EXPECT_EQ(keys.noteInput(), nullptr);  // stopped on the first input, so the NONE one was not sent
    now = 0.0;
    keys.keyPressEvent(nullptr);
    EXPECT_EQ(graded().first(), qMakePair(3, int(Evaluator::PERFECT)));
    EXPECT_EQ(finished.count(), 1);
}

// Notes are dated from the input region's first sample, not from the late start on the main thread.
TEST_F(NoteInputTest, MicrophoneNotesCountTheRegionSamplesBeforeTheStart)
{
    NoteInput* singing = manager()->mp_singingInput;
    MicNoteInputSource* mic = manager()->mp_micSource;
    singing->setEvaluator(evaluator.get());
    mic->rewindCapture();
    for (int i = 0; i < 4410; ++i)  // 0.1 s of the region went by before marker 1003 was handled
        mic->newSample(0.0, 0);
    singing->start(2.0);
    mic->newSample(0.1, 0);
    EXPECT_DOUBLE_EQ(mic->clockShift(), 0.1);

    PitchDetector::NoteInfo sung;
    sung.note = Pitch::D;
    sung.octave = 4;
    sung.offset = 2.52;  // on the detector's clock: 2.62 on the region's, note 1 at 0.62
    mic->newNote(sung);
    singing->stop();
    EXPECT_EQ(graded(), (QList<QPair<int, int>>{{1, Evaluator::PERFECT}}));
}

// Stopping waits for a grade being made on another thread, so nothing is graded after it returns.
TEST_F(NoteInputTest, StopWaitsForAGradeInProgressOnTheWorker)
{
    NoteInput* singing = manager()->mp_singingInput;
    MicNoteInputSource* mic = manager()->mp_micSource;
    singing->setEvaluator(evaluator.get());
    singing->start(0.0);
    std::atomic<bool> grading{false};
    std::atomic<bool> graded{false};
    QObject::connect(evaluator.get(), &Evaluator::inputEvaluated, evaluator.get(),
                     [&] {
                         grading = true;
                         QThread::msleep(150);
                         graded = true;
                     },
                     Qt::DirectConnection);
    std::thread worker([&] {
        PitchDetector::NoteInfo sung;
        sung.note = Pitch::C;
        sung.octave = 4;
        sung.offset = 0.0;
        mic->newNote(sung);
    });
    while (!grading)
        QThread::usleep(100);
    singing->stop();
    EXPECT_TRUE(graded);
    worker.join();
}

// Holds the audio thread inside its sample, at the detector's clipping warning, until released.
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

// The debug capture file is closed only once the audio thread has left the sample it is writing.
TEST_F(NoteInputTest, StopWaitsForTheSampleBeingWritten)
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
    const double peak = detector->m_peakAmplitude;
    detector->m_peakAmplitude = 0.001;  // the sample below clips, so the detector warns
    Debugging::setLoggingLevel(QsLogging::WarnLevel);  // nothing on this thread reaches the logger
    mic->setCaptureFile(dir.filePath("capture.wav"));
    singing->setEvaluator(evaluator.get());
    singing->start(0.0);

    std::atomic<bool> left{false};
    std::thread audio([&] {
        mic->newSample(0.0, 1000);
        left = true;
    });
    while (!hold->held)
        QThread::usleep(100);
    std::thread releaser([&] {
        QThread::msleep(150);
        hold->released = true;
    });
    singing->stop();
    EXPECT_TRUE(left);
    audio.join();
    releaser.join();
    EXPECT_FALSE(mic->m_wavWriter.isOpen());
    EXPECT_EQ(QFileInfo(dir.filePath("capture.wav")).size(), 44 + 2);

    Debugging::setLoggingLevel(QsLogging::TraceLevel);
    detector->m_peakAmplitude = peak;
    mic->setCaptureFile(QString());
}

}  // namespace
