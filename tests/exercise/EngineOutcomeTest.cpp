// The engine's outcome rows and marks, its life between attempts (abort, reuse for another
// question, stale markers, a playback that ends early) and its debug dump.
#include "ExerciseFixture.h"

#include "audio/AudioSequencerMarkerEvent.h"
#include "exercise/ExerciseDebugContext.h"
#include "exercise/ImitationQuestionSettings.h"

#include <QDir>
#include <QFile>

namespace {

const int Rhythm = ImitationQuestionSettings::CaptureRhythm;
const int P = Evaluator::PERFECT;
const int W = Evaluator::WRONG;

class EngineOutcomeTest : public ExerciseTest {
protected:
    void grade(int idx, Evaluator::accuracy_e rhythm, Evaluator::accuracy_e pitch,
               Qt::ConnectionType type = Qt::AutoConnection)
    {
        Evaluator::EvaluationEntry entry;
        entry.rhythm = rhythm;
        entry.pitch = pitch;
        entry.evaluated = true;
        QMetaObject::invokeMethod(engine.get(), "inputEvaluated", type, Q_ARG(int, idx),
                                  Q_ARG(Evaluator::EvaluationEntry, entry));
    }
};

// Rows come in index order, gaps padded with WRONG, a grade for a filled row dropped; a grade the
// detector's worker queued before the capture ended gets its row before the ungraded notes are
// filled in as WRONG.
TEST_F(EngineOutcomeTest, RowsInIndexOrderAndQueuedGradesBeforeThePadding)
{
    fresh(Rhythm);
    QObject::connect(engine.get(), &ImitationQuestionEngine::userInputEnd, engine.get(), [this] {
        grade(0, Evaluator::EARLY, Evaluator::NONE);     // rhythm mode: the rhythm grade
        grade(2, Evaluator::PERFECT, Evaluator::WRONG);  // a wrong pitch is WRONG in every mode
        grade(1, Evaluator::PERFECT, Evaluator::NONE);   // its row was filled in as WRONG already
        grade(3, Evaluator::LATE, Evaluator::NONE, Qt::QueuedConnection);
        emit engine->captureEnd();
    });
    EXPECT_EQ(run(), (QList<int>{Evaluator::EARLY, W, W, Evaluator::LATE}));
    EXPECT_TRUE(LogCapture::instance().contains("dropping out of order index 1"));
}

// A whole keyboard exercise on the test card; the taps are scripted on the input's clock, since the
// card plays the timeline at once.
TEST_F(EngineOutcomeTest, KeyboardExerciseGetsExactMarks)
{
    const struct {
        QList<double> taps;  // seconds from the first note
        QList<int> outcomes;
        double mark;
    } rows[] = {
        {{0.0, 0.71, 1.0}, {P, Evaluator::LATE, Evaluator::VERY_EARLY, W}, 0.5625},
        {{-0.3, 0.02, 0.62, 1.14, 1.83}, {P, P, P, P}, 1.0},
    };
    for (const auto& row : rows) {
        fresh(Rhythm, "[ \\meter<\"4/4\"> c1/4 d e f ]");
        double now = 0.0;
        QObject::connect(engine.get(), &ImitationQuestionEngine::userInputBegin, engine.get(), [&] {
            engine->noteInput()->setInputClock([&now] { return now; });
            for (double tap : row.taps) {
                now = ImitationQuestionEngine::kCaptureLead + tap;
                engine->handleKeyPress();
            }
        });
        double mark = -1.0;
        LogCapture::instance().clear();
        EXPECT_EQ(run(&mark), row.outcomes);
        EXPECT_DOUBLE_EQ(mark, row.mark);
        // every note answered ends the attempt before the timeline does: it is stopped, not
        // overrun by the next reset
        EXPECT_FALSE(LogCapture::instance().contains("already playing")) << row.mark;
    }
}

// Every row says why it has its grade: a note answered far off the beat is told from one never
// answered (passed over, or left at the end), and its timing says which way it was off.
TEST_F(EngineOutcomeTest, RowsTellAnsweredFromSkippedAndTheirTiming)
{
    fresh(Rhythm, "[ \\meter<\"4/4\"> c1/4 d e f ]");
    double now = 0.0;
    QObject::connect(engine.get(), &ImitationQuestionEngine::userInputBegin, engine.get(), [&] {
        engine->noteInput()->setInputClock([&now] { return now; });
        // quarters of 0.6 s: the first on time, the second 0.28 s late, the fourth 0.28 s early
        for (double tap : {0.0, 0.88, 1.52}) {
            now = ImitationQuestionEngine::kCaptureLead + tap;
            engine->handleKeyPress();
        }
    });
    double mark = -1.0;
    EXPECT_EQ(run(&mark), (QList<int>{P, W, W, W}));
    EXPECT_DOUBLE_EQ(mark, 0.25);
    const struct {
        bool skipped;
        int rhythm;
        double timing;
    } rows[] = {
        {false, P, 0.0},
        {false, W, 0.28},
        {true, Evaluator::NONE, 0.0},  // passed over by the last tap
        {false, W, -0.28},
    };
    ASSERT_EQ(engine->gradeModel()->rowCount(), 4);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const QVariantMap row = engine->gradeModel()->get(i);
        EXPECT_EQ(row.value("skipped").toBool(), rows[i].skipped);
        EXPECT_EQ(row.value("rhythm").toInt(), rows[i].rhythm);
        EXPECT_EQ(row.value("pitch").toInt(), int(Evaluator::NONE));
        EXPECT_NEAR(row.value("timing").toDouble(), rows[i].timing, 1e-6);
    }

    // nothing answered at all: every row is a skipped one
    fresh(Rhythm);
    EXPECT_EQ(run(), (QList<int>{W, W, W, W}));
    for (int i = 0; i < engine->gradeModel()->rowCount(); ++i)
        EXPECT_TRUE(engine->gradeModel()->get(i).value("skipped").toBool()) << i;
}

// The outcome model is what its callers know: the single role 257 "outcome", a row read as a map
// with that single key. The grade model holds the same rows with their reasons; both empty at a
// new attempt.
TEST_F(EngineOutcomeTest, OutcomeModelKeepsItsSingleRole)
{
    fresh(Rhythm, "[ \\meter<\"4/4\"> c1/4 d e f ]");
    const QHash<int, QByteArray> single = {{257, "outcome"}};
    EXPECT_EQ(engine->outcomeModel()->roleNames(), single);
    EXPECT_EQ(engine->gradeModel()->roleNames().value(257), "outcome");
    EXPECT_EQ(engine->gradeModel()->roleNames().size(), 5);
    QObject::connect(engine.get(), &ImitationQuestionEngine::userInputBegin, engine.get(), [this] {
        engine->noteInput()->setInputClock([] { return ImitationQuestionEngine::kCaptureLead + 0.6; });
        engine->handleKeyPress();
    });
    EXPECT_EQ(run(), (QList<int>{W, P, W, W}));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(engine->outcomeModel()->get(i).keys(), QStringList{"outcome"}) << i;
        EXPECT_EQ(engine->gradeModel()->get(i).value("outcome"), engine->outcomeModel()->get(i).value("outcome")) << i;
    }
    EXPECT_TRUE(engine->gradeModel()->get(0).value("skipped").toBool());
    QSignalSpy lengths(engine->gradeModel(), &RoleItemModel::lengthChanged);
    engine->reset();
    EXPECT_EQ(engine->outcomeModel()->rowCount() + engine->gradeModel()->rowCount(), 0);
    EXPECT_EQ(lengths.count(), 1);
}

// Taps that take no note are not graded, as the grading rules say, but counted. In the count-in:
// one before the capture began reaches no input at all, two more come before the first note's reach,
// and the notes they were meant for stay unanswered. Later, a tap between two notes is extra, and the
// note passed over gets its row before its own grade comes. A learner's taps log no warning; the
// next attempt starts its counts afresh.
TEST_F(EngineOutcomeTest, TapsThatTakeNoNoteAreCountedNotGraded)
{
    fresh(Rhythm, "[ \\meter<\"4/4\"> c1/4 d e f ]");
    bool early = true;
    // while the question plays: without a count-in the capture begins before the pre-capture marker
    QObject::connect(engine.get(), &ImitationQuestionEngine::playbackBegin, engine.get(), [&] {
        if (early)
            engine->handleKeyPress();
    });
    double now = 0.0;
    QObject::connect(engine.get(), &ImitationQuestionEngine::userInputBegin, engine.get(), [&] {
        engine->noteInput()->setInputClock([&now] { return now; });
        // quarters of 0.6 s: the learner began two beats early and kept the beat; then began on the
        // second note and tapped once between it and the third
        const QList<double> taps = early ? QList<double>{-1.2, -0.6, 0.0, 0.6} : QList<double>{0.6, 0.9, 1.2, 1.8};
        for (double tap : taps) {
            now = ImitationQuestionEngine::kCaptureLead + tap;
            engine->handleKeyPress();
        }
    });
    auto warnings = [] {  // of the taps: a late callback on a busy machine is the sound system's
        int n = 0;
        for (const QString& line : LogCapture::instance().lines())
            n += line.trimmed().startsWith("WARN") && !line.contains("unexpectedly high") ? 1 : 0;
        return n;
    };
    LogCapture::instance().clear();
    EXPECT_EQ(run(), (QList<int>{P, P, W, W}));
    EXPECT_EQ(engine->earlyInputCount(), 3);
    EXPECT_EQ(engine->extraInputCount(), 0);
    EXPECT_TRUE(engine->gradeModel()->get(3).value("skipped").toBool());
    early = false;
    EXPECT_EQ(run(), (QList<int>{W, P, P, P}));
    EXPECT_EQ(engine->earlyInputCount(), 0);
    EXPECT_EQ(engine->extraInputCount(), 1);
    EXPECT_TRUE(engine->gradeModel()->get(0).value("skipped").toBool());
    EXPECT_TRUE(LogCapture::instance().contains("dropping out of order index 0"));
    EXPECT_EQ(warnings(), 0) << LogCapture::instance().lines().join("\n").toStdString();
}

// A playback that ends before its capture-end marker (a stream error, a stream the host ended) is
// no result of the learner's: the attempt fails with the reason, no row and no mark stay, and a
// later start runs a whole new attempt.
TEST_F(EngineOutcomeTest, PlaybackEndingEarlyFailsTheAttemptAndALaterStartRuns)
{
    const struct {
        void (ImitationQuestionEngine::*signal)();
        bool tapFirstNote;
    } rows[] = {
        {&ImitationQuestionEngine::playbackBegin, false},  // during the question
        {&ImitationQuestionEngine::userInputBegin, true},  // during the answer, one note already graded
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.tapFirstNote);
        fresh(Rhythm);
        QSignalSpy captureEnd(engine.get(), &ImitationQuestionEngine::captureEnd);
        QSignalSpy finished(engine.get(), &ImitationQuestionEngine::finished);
        QSignalSpy failed(engine.get(), &ImitationQuestionEngine::failed);
        int rowsBeforeTheEnd = -1;
        QMetaObject::Connection c = QObject::connect(engine.get(), row.signal, engine.get(), [&] {
            if (row.tapFirstNote) {
                engine->noteInput()->setInputClock([] { return ImitationQuestionEngine::kCaptureLead; });
                engine->handleKeyPress();
            }
            rowsBeforeTheEnd = engine->outcomeModel()->rowCount();
            // the stream ends here, and no later marker comes, however far the test card ran ahead
            const_cast<AudioSequencer&>(engine->sequencer()).stop();
            QCoreApplication::removePostedEvents(engine.get(), AudioSequencerMarkerEvent::customType());
        });
        engine->start();
        ASSERT_TRUE(failed.wait(10000));
        QObject::disconnect(c);
        EXPECT_EQ(rowsBeforeTheEnd, row.tapFirstNote ? 1 : 0);
        EXPECT_EQ(failed.first().first().toString(), "playback ended before the capture end");
        EXPECT_EQ(engine->outcomeModel()->rowCount(), 0);  // the graded tap is gone too
        EXPECT_FALSE(engine->noteInput()->isStarted());
        EXPECT_TRUE(LogCapture::instance().contains("the attempt failed: playback ended before the capture end"));
        QTest::qWait(100);
        EXPECT_EQ(QList<int>({finished.count(), captureEnd.count(), failed.count()}), QList<int>({0, 0, 1}));
        engine->handleKeyPress();  // the input is stopped: nothing is graded
        EXPECT_EQ(engine->outcomeModel()->rowCount(), 0);

        double mark = -1.0;
        EXPECT_EQ(run(&mark), QList<int>({W, W, W, W}));  // Start again: a whole attempt
        EXPECT_DOUBLE_EQ(mark, 0.0);
        EXPECT_EQ(QList<int>({finished.count(), captureEnd.count(), failed.count()}), QList<int>({1, 1, 1}));
    }
}

// Abort stops the sound and the input: a key press afterwards grades nothing and nothing finishes.
// The engine reused for the next question grades against that question's notes; marker events of
// a timeline that was reset or replaced do not drive the current one.
TEST_F(EngineOutcomeTest, AbortedAndReusedEngineFollowsTheCurrentQuestionOnly)
{
    fresh(Rhythm);
    QSignalSpy finished(engine.get(), &ImitationQuestionEngine::finished);
    QMetaObject::Connection c = QObject::connect(engine.get(), &ImitationQuestionEngine::userInputBegin, engine.get(),
                                                 [this] { engine->abort(); });
    engine->start();
    QTest::qWait(1500);
    EXPECT_FALSE(engine->sequencer().isPlaying());
    EXPECT_FALSE(engine->noteInput()->isStarted());
    engine->handleKeyPress();
    QTest::qWait(200);
    EXPECT_EQ(finished.count(), 0);
    EXPECT_TRUE(outcomes().isEmpty());
    QObject::disconnect(c);

    ASSERT_TRUE(questionScore.setGMNCode("[ c1/2 e/2 ]"));
    ASSERT_TRUE(answerScore.setGMNCode("[ c1/2 e/2 ]"));
    EXPECT_EQ(run(), (QList<int>{W, W}));
    EXPECT_EQ(engine->evaluator()->getGmnBasedOnInput(), answerScore.gmnCode());  // its tokens too

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

// The debug dump: fixed names in the temporary directory, never written through a planted link.
TEST_F(EngineOutcomeTest, DebugDumpWritesPlainFilesOnly)
{
    const QString info = QDir::temp().filePath("zq_question_info.txt");
    const QString victim = QDir::temp().filePath("victim.txt");
    QFile v(victim);
    ASSERT_TRUE(v.open(QIODevice::WriteOnly));
    v.write("keep me");
    v.close();
    ASSERT_TRUE(QFile::link(victim, info));
    fresh(ImitationQuestionSettings::CapturePitch, "[ c1/4 d ]");
    ExerciseDebugContext::setDebugMode(true);
    engine->start();
    ASSERT_TRUE(v.open(QIODevice::ReadOnly));
    EXPECT_EQ(v.readAll(), QByteArray("keep me"));
    EXPECT_TRUE(LogCapture::instance().contains("cannot open debug file"));

    QFile::remove(info);
    ExerciseDebugContext::setCurrentActivityPathProvider([] { return QStringLiteral("grade1/rhythm/intro"); });
    run();
    QFile dump(info);
    ASSERT_TRUE(dump.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(dump.readAll()),
              QStringLiteral("Path: grade1/rhythm/intro\nType: pitch\nGMN: %1\n").arg(answerScore.gmnCode()));
    EXPECT_EQ(engine->micSource()->captureFile(), QDir::temp().filePath("zq_question_capture.wav"));
    ExerciseDebugContext::setDebugMode(false);
    ExerciseDebugContext::setCurrentActivityPathProvider({});
    QFile::remove(engine->micSource()->captureFile());
    engine->micSource()->setCaptureFile(QString());
}

}  // namespace
