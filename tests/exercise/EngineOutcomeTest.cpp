// The engine's outcome rows, its life between attempts (abort, reuse for another question, stale
// markers) and its debug dump.
#include "ExerciseFixture.h"

#include "audio/AudioSequencerMarkerEvent.h"
#include "exercise/ExerciseDebugContext.h"
#include "exercise/ImitationQuestionSettings.h"
#include "exercise/MicNoteInputSource.h"

#include <QDir>
#include <QFile>

namespace {

class EngineOutcomeTest : public ExerciseTest {
protected:
    // An engine that ran one attempt, so it holds its evaluator and mode; rows cleared.
    void runOnce(int captureType)
    {
        setUp("[ c1/4 d e f ]", "[ c1/4 d e f ]", settings(captureType));
        startAndReadTimeline();
        engine->reset();
    }
    void grade(int idx, Evaluator::accuracy_e rhythm, Evaluator::accuracy_e pitch)
    {
        Evaluator::EvaluationEntry entry;
        entry.rhythm = rhythm;
        entry.pitch = pitch;
        entry.evaluated = true;
        QMetaObject::invokeMethod(engine.get(), "inputEvaluated", Q_ARG(int, idx),
                                  Q_ARG(Evaluator::EvaluationEntry, entry));
    }
};

TEST_F(EngineOutcomeTest, RowsInIndexOrderPaddedWithWrongAndLateGradesDropped)
{
    runOnce(ImitationQuestionSettings::CaptureRhythm);
    QSignalSpy changed(engine.get(), &ImitationQuestionEngine::outcomeModelChanged);
    grade(0, Evaluator::EARLY, Evaluator::NONE);   // rhythm mode: the rhythm grade
    grade(3, Evaluator::LATE, Evaluator::NONE);
    grade(1, Evaluator::PERFECT, Evaluator::NONE);  // its row was filled in as WRONG already
    grade(4, Evaluator::PERFECT, Evaluator::WRONG);  // a wrong pitch is WRONG in every mode
    EXPECT_EQ(outcomes(), (QList<int>{Evaluator::EARLY, Evaluator::WRONG, Evaluator::WRONG, Evaluator::LATE,
                                      Evaluator::WRONG}));
    EXPECT_TRUE(LogCapture::instance().contains("dropping out of order index 1"));
    EXPECT_EQ(changed.count(), 4);
    EXPECT_EQ(engine->outcomeModel()->length(), 5);

    changed.clear();
    engine->reset();
    EXPECT_TRUE(outcomes().isEmpty());
    EXPECT_EQ(changed.count(), 1);

    engine.reset(new ImitationQuestionEngine());
    runOnce(ImitationQuestionSettings::CapturePitch);
    grade(0, Evaluator::EARLY, Evaluator::HIGH);  // pitch mode: the pitch grade
    EXPECT_EQ(outcomes(), QList<int>{Evaluator::HIGH});
}

// A grade the detector's worker queued before the capture ended gets its row before the ungraded
// notes are filled in as WRONG (here the capture ends while the grade is still queued).
TEST_F(EngineOutcomeTest, GradesQueuedBeforeTheEndComeFirst)
{
    setUp("[ c1/4 d e f ]", "[ c1/4 d e f ]", settings(ImitationQuestionSettings::CaptureRhythm));
    QObject::connect(engine.get(), &ImitationQuestionEngine::userInputEnd, engine.get(), [this] {
        Evaluator::EvaluationEntry entry;
        entry.rhythm = Evaluator::PERFECT;
        QMetaObject::invokeMethod(engine.get(), "inputEvaluated", Qt::QueuedConnection, Q_ARG(int, 0),
                                  Q_ARG(Evaluator::EvaluationEntry, entry));
        emit engine->captureEnd();
    });
    startAndReadTimeline();
    EXPECT_EQ(outcomes(), (QList<int>{Evaluator::PERFECT, Evaluator::WRONG, Evaluator::WRONG, Evaluator::WRONG}));
}

// A whole keyboard exercise on the test card; the taps are scripted on the input's clock, since the
// card plays the timeline at once.
TEST_F(EngineOutcomeTest, KeyboardExerciseGetsExactMarks)
{
    struct Row {
        QList<double> taps;  // seconds from the first note
        QList<int> outcomes;
        double mark;
    };
    const Row rows[] = {
        {{0.0, 0.71, 1.0}, {Evaluator::PERFECT, Evaluator::LATE, Evaluator::VERY_EARLY, Evaluator::WRONG}, 0.5625},
        {{-0.3, 0.02, 0.62, 1.14, 1.83}, {Evaluator::PERFECT, Evaluator::PERFECT, Evaluator::PERFECT, Evaluator::PERFECT},
         1.0},
    };
    for (const Row& row : rows) {
        engine.reset(new ImitationQuestionEngine());
        setUp("[ \\meter<\"4/4\"> c1/4 d e f ]", "[ \\meter<\"4/4\"> c1/4 d e f ]",
              settings(ImitationQuestionSettings::CaptureRhythm));
        double now = 0.0;
        QObject::connect(engine.get(), &ImitationQuestionEngine::userInputBegin, engine.get(), [&] {
            engine->noteInput()->setInputClock([&now] { return now; });
            for (double tap : row.taps) {
                now = ImitationQuestionEngine::kCaptureLead + tap;
                engine->handleKeyPress();
            }
        });
        QSignalSpy finished(engine.get(), &ImitationQuestionEngine::finished);
        engine->start();
        ASSERT_TRUE(finished.wait(20000));
        EXPECT_EQ(outcomes(), row.outcomes);
        EXPECT_DOUBLE_EQ(finished.first().first().toDouble(), row.mark);
    }
}

// Abort stops the sound and the input: a key press afterwards grades nothing and nothing finishes.
TEST_F(EngineOutcomeTest, AbortAlsoStopsTheNoteInput)
{
    setUp("[ c1/4 d e f ]", "[ c1/4 d e f ]", settings(ImitationQuestionSettings::CaptureRhythm));
    QSignalSpy finished(engine.get(), &ImitationQuestionEngine::finished);
    QObject::connect(engine.get(), &ImitationQuestionEngine::userInputBegin, engine.get(),
                     [this] { engine->abort(); });
    engine->start();
    QTest::qWait(1500);
    EXPECT_FALSE(engine->sequencer().isPlaying());
    EXPECT_FALSE(engine->noteInput()->isStarted());
    engine->handleKeyPress();
    QTest::qWait(200);
    EXPECT_EQ(finished.count(), 0);
    EXPECT_TRUE(outcomes().isEmpty());
}

// A playback that ends before its capture-end marker (a stream error, a stream the host ended)
// ends the attempt with the grades made so far, and Retry runs a whole new one.
TEST_F(EngineOutcomeTest, PlaybackEndingEarlyGradesWhatWasAnsweredAndRetryRuns)
{
    struct Row {
        const char* when;
        void (ImitationQuestionEngine::*signal)();
        bool tapFirstNote;
        QList<int> outcomes;
    };
    const int W = Evaluator::WRONG;
    const Row rows[] = {
        {"during the question", &ImitationQuestionEngine::playbackBegin, false, {W, W, W, W}},
        {"during the answer", &ImitationQuestionEngine::userInputBegin, true, {Evaluator::PERFECT, W, W, W}},
    };
    for (const Row& row : rows) {
        engine.reset(new ImitationQuestionEngine());
        LogCapture::instance().clear();
        setUp("[ c1/4 d e f ]", "[ c1/4 d e f ]", settings(ImitationQuestionSettings::CaptureRhythm));
        QSignalSpy finished(engine.get(), &ImitationQuestionEngine::finished);
        QSignalSpy captureEnd(engine.get(), &ImitationQuestionEngine::captureEnd);
        QMetaObject::Connection c = QObject::connect(engine.get(), row.signal, engine.get(), [&] {
            if (row.tapFirstNote) {
                engine->noteInput()->setInputClock([] { return ImitationQuestionEngine::kCaptureLead; });
                engine->handleKeyPress();
            }
            // the stream ends here (closed, finished emitted), and no later marker comes, however
            // far the test card ran ahead
            const_cast<AudioSequencer&>(engine->sequencer()).stop();
            QCoreApplication::removePostedEvents(engine.get(), AudioSequencerMarkerEvent::customType());
        });
        engine->start();
        ASSERT_TRUE(finished.wait(10000)) << row.when;
        QObject::disconnect(c);
        EXPECT_EQ(outcomes(), row.outcomes) << row.when;
        EXPECT_DOUBLE_EQ(finished.first().first().toDouble(), engine->evaluator()->getOutcome()) << row.when;
        EXPECT_EQ(row.tapFirstNote, finished.first().first().toDouble() > 0.0) << row.when;
        EXPECT_FALSE(engine->noteInput()->isStarted()) << row.when;
        EXPECT_TRUE(LogCapture::instance().contains("playback ended before the capture end")) << row.when;
        QTest::qWait(100);
        EXPECT_EQ(QList<int>({finished.count(), captureEnd.count()}), QList<int>({1, 1})) << row.when;

        engine->start();  // Retry
        ASSERT_TRUE(finished.wait(20000)) << row.when;
        EXPECT_EQ(outcomes(), QList<int>({W, W, W, W})) << row.when;
        EXPECT_EQ(captureEnd.count(), 2) << row.when;
    }
}

// An engine reused for the next question grades against that question's notes; marker events of
// a timeline that was reset or replaced do not drive the current one.
TEST_F(EngineOutcomeTest, ReusedEngineFollowsTheCurrentQuestionOnly)
{
    setUp("[ c1/4 d e f ]", "[ c1/4 d e f ]", settings(ImitationQuestionSettings::CaptureRhythm));
    startAndReadTimeline();
    EXPECT_EQ(outcomes().size(), 4);
    ASSERT_TRUE(questionScore.setGMNCode("[ c1/2 e/2 ]"));
    ASSERT_TRUE(answerScore.setGMNCode("[ c1/2 e/2 ]"));
    startAndReadTimeline();
    EXPECT_EQ(engine->evaluator()->noteInfoList().size(), 2);
    EXPECT_EQ(engine->evaluator()->getGmnBasedOnInput(), answerScore.gmnCode());  // its tokens too
    EXPECT_EQ(outcomes(), (QList<int>{Evaluator::WRONG, Evaluator::WRONG}));

    QSignalSpy captureBegin(engine.get(), &ImitationQuestionEngine::captureBegin);
    AudioSequencerMarkerEvent stale(1003, 4.4);  // of no timeline now laid out
    QCoreApplication::sendEvent(engine.get(), &stale);
    QCoreApplication::postEvent(engine.get(), new AudioSequencerMarkerEvent(1003, 4.4));  // queued at a reset
    engine->reset();
    QCoreApplication::sendPostedEvents(engine.get());
    EXPECT_EQ(captureBegin.count(), 0);
    EXPECT_FALSE(engine->noteInput()->isStarted());
    EXPECT_TRUE(LogCapture::instance().contains("ignoring stale marker 1003"));
}

// The debug dump: fixed names in the temporary directory, never written through a planted link,
// an empty path without a current activity.
TEST_F(EngineOutcomeTest, DebugDumpWritesPlainFilesOnly)
{
    const QString info = QDir::temp().filePath("zq_question_info.txt");
    const QString capture = QDir::temp().filePath("zq_question_capture.wav");
    QFile::remove(info);
    const QString code = "[ c1/4 d ]";
    setUp(code, code, settings(ImitationQuestionSettings::CapturePitch));
    ExerciseDebugContext::setDebugMode(true);
    engine->start();
    QFile dump(info);
    ASSERT_TRUE(dump.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(dump.readAll()),
              QStringLiteral("Path: \nType: pitch\nGMN: %1\n").arg(answerScore.gmnCode()));
    dump.close();
    EXPECT_EQ(engine->micSource()->captureFile(), capture);

    ExerciseDebugContext::setCurrentActivityPathProvider([] { return QStringLiteral("grade1/rhythm/intro"); });
    QFile::remove(info);
    const QString victim = QDir::temp().filePath("victim.txt");
    QFile v(victim);
    ASSERT_TRUE(v.open(QIODevice::WriteOnly));
    v.write("keep me");
    v.close();
    ASSERT_TRUE(QFile::link(victim, info));
    engine->start();
    ASSERT_TRUE(v.open(QIODevice::ReadOnly));
    EXPECT_EQ(v.readAll(), QByteArray("keep me"));
    EXPECT_TRUE(LogCapture::instance().contains("cannot open debug file"));

    QFile::remove(info);
    engine->start();
    ASSERT_TRUE(dump.open(QIODevice::ReadOnly));
    EXPECT_TRUE(dump.readLine().startsWith("Path: grade1/rhythm/intro\n"));

    ExerciseDebugContext::setDebugMode(false);
    ExerciseDebugContext::setCurrentActivityPathProvider({});
    QSignalSpy finished(engine.get(), &ImitationQuestionEngine::finished);
    finished.wait(20000);
    engine->micSource()->setCaptureFile(QString());
    QFile::remove(capture);
}

}  // namespace
