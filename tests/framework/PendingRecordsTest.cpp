// Records that the learner database cannot take now: kept in order, with the skill rating measured
// behind the answers kept before it, written to the first file that takes them, and saved once by
// a later save or a later run.
#include "FrameworkFixtures.h"

#include "framework/PendingRecords.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

using namespace edufrmwk;

namespace {

class Pending : public OpenDatabase {
protected:
    void SetUp() override
    {
        OpenDatabase::SetUp();
        // the first file sits in a folder that does not exist: the second one takes what is kept
        m_files = QStringList{m_dir.filePath(QStringLiteral("missing/Brisola.unsaved.json")),
                              m_dir.filePath(QStringLiteral("Brisola-0.unsaved.json"))};
    }
    // The kinds of the records in a file, in order.
    static QStringList kindsIn(const QString& file)
    {
        QFile in(file);
        if (!in.open(QIODevice::ReadOnly))
            return {QStringLiteral("<no file>")};
        QStringList kinds;
        for (const QJsonValue& v : QJsonDocument::fromJson(in.readAll()).object().value("records").toArray())
            kinds << v.toObject().value("kind").toString();
        return kinds;
    }
    PendingRecords::Record answerOf(const char* path, double value)
    {
        return PendingRecords::answer(1, QuestionVariant(QString::fromLatin1(path), QString()), value);
    }

    QStringList m_files;
};

TEST_F(Pending, EveryKindKeptWhileTheFileIsHeldIsSavedInOrderWithTheRatingMeasuredBehindTheAnswers)
{
    login(QStringLiteral("g1[s1[q1 q2]]"));
    PendingRecords* pending = m_model->pendingRecords();
    pending->setFiles(m_files);
    {
        OtherProgram other(m_file, "BEGIN EXCLUSIVE");
        EXPECT_EQ(pending->save(&m_db, {answerOf("g1/s1/q1", 0.5)}), PendingRecords::Kept);
        // measured when saved: the answer above counts, though it is not in the file yet
        EXPECT_EQ(pending->save(&m_db, {PendingRecords::markMeasuredAtSave(1, QStringLiteral("g1/s1/q1"), 0.5, 0),
                                        PendingRecords::ratingMeasuredAtSave(1, false)}),
                  PendingRecords::Kept);
        // the completion stands in memory and waits with the rest
        EXPECT_EQ(m_model->setElementState(el("q1"), ElementState::COMPLETED), 0);
        EXPECT_EQ(m_course->states(), QStringLiteral("g1=U s1=U q1=C q2=U"));
        EXPECT_EQ(pending->count(), 4);
        EXPECT_EQ(pending->keptIn(), m_files.at(1));
        EXPECT_EQ(kindsIn(m_files.at(1)), (QStringList{"answer", "mark", "rating", "states"}));
    }
    EXPECT_EQ(rows("SELECT count(*) FROM answers"), QStringList{"0"});
    EXPECT_EQ(storedStates(), QStringLiteral("g1=U s1=U q1=U q2=L"));

    pending->saveKept(&m_db);
    EXPECT_EQ(pending->count(), 0);
    EXPECT_EQ(rows("SELECT variant, correctness FROM answers"), QStringList{"g1/s1/q1@|0.5"});
    // (0.5 over two question activities) x 1000: read after the answer went in, not before
    EXPECT_EQ(rows("SELECT path, mark, ratingDelta FROM marks"), QStringList{"g1/s1/q1|0.5|250"});
    EXPECT_EQ(rows("SELECT rating, practice FROM ratings"), QStringList{"250|0"});
    EXPECT_EQ(storedStates(), QStringLiteral("g1=U s1=U q1=C q2=U"));
    EXPECT_FALSE(QFile::exists(m_files.at(1))) << "a saved record is not left for a later run";
    EXPECT_EQ(AssertRecorder::count(), 0);
}

// A run that begins while records wait: the rating it starts from is measured behind them, so its
// gain counts only its own answers, also when its mark waits in the file for a later run.
TEST_F(Pending, ARunBegunWhileRecordsWaitMeasuresItsStartBehindThem)
{
    login(QStringLiteral("g1[s1[q1 q2]]"));
    PendingRecords* pending = m_model->pendingRecords();
    pending->setFiles(m_files);
    const qint64 run = 42;
    {
        OtherProgram other(m_file, "BEGIN EXCLUSIVE");
        pending->save(&m_db, {answerOf("g1/s1/q1", 0.5)});                   // the run before
        pending->save(&m_db, {PendingRecords::runStart(1, run)});            // this run begins
        EXPECT_EQ(pending->count(), 1) << "the start is no result of the learner's";
        PendingRecords::Record mark = PendingRecords::markMeasuredAtSave(1, QStringLiteral("g1/s1/q2"), 1.0, -1);
        mark.run = run;
        pending->save(&m_db, {answerOf("g1/s1/q2", 1.0), mark});             // its answer and mark
        EXPECT_EQ(pending->count(), 3);
    }
    // a later run of the program finds them in the file
    PendingRecords next;
    next.setFiles(m_files);
    next.setRatingSource([this](int& rating) {
        bool ok = false;
        rating = m_stats.getSkillRating(&ok);
        return ok;
    });
    EXPECT_EQ(next.load(), 3);
    next.saveKept(&m_db);
    EXPECT_EQ(next.count(), 0);
    // from 250 (q1 at 0.5 over two activities) to 750: the 250 before the run is not its gain
    EXPECT_EQ(rows("SELECT path, ratingDelta FROM marks"), QStringList{"g1/s1/q2|500"});
    int start = -1;
    EXPECT_TRUE(next.runStartRating(run, start));
    EXPECT_EQ(start, 250);

    // measured already when the mark comes, the start goes into the file with it
    const qint64 second = 43;
    EXPECT_EQ(next.save(&m_db, {PendingRecords::runStart(1, second)}), PendingRecords::Saved);
    PendingRecords::Record secondMark = PendingRecords::markMeasuredAtSave(1, QStringLiteral("g1/s1/q1"), 0.5, -1);
    secondMark.run = second;
    {
        OtherProgram other(m_file, "BEGIN EXCLUSIVE");
        EXPECT_EQ(next.save(&m_db, {secondMark}), PendingRecords::Kept);
    }
    PendingRecords third;
    third.setFiles(m_files);
    third.setRatingSource([](int& rating) { rating = 1000; return true; });
    EXPECT_EQ(third.load(), 1);
    third.saveKept(&m_db);
    EXPECT_EQ(rows("SELECT ratingDelta FROM marks WHERE path = 'g1/s1/q1'"), QStringList{"250"});
}

TEST_F(Pending, WhileTheFileIsHeldOnlyTheFirstRecordWaitsForIt)
{
    login(QStringLiteral("g1[s1[q1]]"));
    m_db.setBusyTimeout(300);
    PendingRecords pending;
    OtherProgram other(m_file, "BEGIN EXCLUSIVE");
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(pending.save(&m_db, {answerOf("g1/s1/q1", 0.1), answerOf("g1/s1/q1", 0.2), answerOf("g1/s1/q1", 0.3)}),
              PendingRecords::Kept);
    EXPECT_GE(timer.elapsed(), 300);
    EXPECT_LT(timer.elapsed(), 850) << "waited more than once";
    EXPECT_EQ(pending.count(), 3);
    EXPECT_TRUE(pending.keptIn().isEmpty()) << "no file was given";
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("3 records not saved yet, kept for the next save "
                                                               "(the database is in use by another program)")));
}

TEST_F(Pending, AStateChangeTheDatabaseRefusesIsDroppedNotKept)
{
    login(QStringLiteral("g1[s1[q1 q2]]"));
    ASSERT_TRUE(run("CREATE TRIGGER refuse BEFORE UPDATE ON element_state BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    PendingRecords pending;
    const PendingRecords::Record change =
        PendingRecords::states(1, {{QStringLiteral("g1/s1/q2"), ElementState::UNLOCKED, false}});
    EXPECT_EQ(pending.save(&m_db, {change, answerOf("g1/s1/q1", 0.5)}), PendingRecords::Refused);
    EXPECT_EQ(pending.count(), 0);
    EXPECT_EQ(rows("SELECT count(*) FROM answers"), QStringList{"1"});
    // a change made on states that could not be read is never kept, whatever stops it
    {
        OtherProgram other(m_file, "BEGIN EXCLUSIVE");
        EXPECT_EQ(pending.saveUnkept(&m_db, answerOf("g1/s1/q1", 0.5)), PendingRecords::Refused);
    }
    EXPECT_EQ(pending.count(), 0);
}

TEST_F(Pending, ALaterRunTakesTheFilesInTheOrderTheRecordsWereMadeSavesThemOnceAndSetsADamagedOneAside)
{
    login(QStringLiteral("g1[s1[q1]]"));
    QDateTime firstTime;
    {
        // two runs that ended while the file was held, each leaving its file
        OtherProgram other(m_file, "BEGIN EXCLUSIVE");
        PendingRecords older;
        older.setFiles({m_files.at(1)});
        older.save(&m_db, {answerOf("g1/s1/q1", 0.25)});
        firstTime = QDateTime::currentDateTime();
        QThread::msleep(1100);  // stored times have seconds
        ASSERT_TRUE(QDir().mkpath(m_dir.filePath(QStringLiteral("missing"))));
        PendingRecords newer;
        newer.setFiles({m_files.at(0)});
        newer.save(&m_db, {PendingRecords::rating(1, 7, true), answerOf("g1/s1/q1", 0.75)});
        EXPECT_EQ(newer.keptIn(), m_files.at(0));
    }
    PendingRecords next;
    next.setFiles(m_files);
    EXPECT_EQ(next.load(), 3);
    EXPECT_EQ(kindsIn(m_files.at(0)), (QStringList{"answer", "rating", "answer"})) << "one file for all now";
    EXPECT_FALSE(QFile::exists(m_files.at(1)));
    next.saveKept(&m_db);
    EXPECT_EQ(rows("SELECT correctness FROM answers ORDER BY id"), (QStringList{"0.25", "0.75"}));
    EXPECT_EQ(rows("SELECT rating, practice FROM ratings"), QStringList{"7|1"});
    // each row carries the time it was made, not the time it was saved
    const QString stored = rows("SELECT timestamp FROM answers ORDER BY id").value(0);
    EXPECT_LE(qAbs(Database::parseTimestamp(stored).secsTo(firstTime)), 1) << stored.toStdString();
    EXPECT_FALSE(QFile::exists(m_files.at(0)));

    PendingRecords again;
    again.setFiles(m_files);
    EXPECT_EQ(again.load(), 0) << "nothing is saved twice";

    QFile damaged(m_files.at(1));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("{\"records\": [{\"kind\": \"answer\", \"user\": 1, \"varia");
    damaged.close();
    EXPECT_EQ(again.load(), 0);
    EXPECT_FALSE(QFile::exists(m_files.at(1)));
    EXPECT_TRUE(QFile::exists(m_files.at(1) + QStringLiteral(".unreadable")));
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("could not be read whole")));
    EXPECT_EQ(rows("SELECT count(*) FROM answers"), QStringList{"2"});
}

TEST_F(Pending, AnotherRunsFileOfTheSameNameIsNotRemovedUnread)
{
    login(QStringLiteral("g1[s1[q1]]"));
    QFile theirs(m_files.at(1));
    ASSERT_TRUE(theirs.open(QIODevice::WriteOnly));
    theirs.write("{\"records\": []}");
    theirs.close();
    ASSERT_TRUE(QDir().mkpath(m_dir.filePath(QStringLiteral("missing"))));
    PendingRecords pending;
    pending.setFiles(m_files);
    {
        OtherProgram other(m_file, "BEGIN EXCLUSIVE");
        pending.save(&m_db, {answerOf("g1/s1/q1", 0.5)});
    }
    pending.saveKept(&m_db);
    EXPECT_FALSE(QFile::exists(m_files.at(0)));
    EXPECT_TRUE(QFile::exists(m_files.at(1)));
}

}  // namespace
