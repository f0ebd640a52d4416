// Records that the learner database cannot take now: kept in order, with the skill rating measured
// behind the answers kept before it, written to a locked file of the process's own in the first
// folder that takes it, and saved exactly once by a later save or a later run; what a later run
// finds is checked like any input, and a record refused for good is set aside once.
#include "FrameworkFixtures.h"
#include "WaitCounter.h"

#include "framework/PendingRecords.h"
#include "framework/PendingRecordsFile.h"
#include "framework/PrivateFolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <functional>
#include <iostream>
#include <iterator>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace edufrmwk;

namespace {

class Pending : public OpenDatabase {
protected:
    void SetUp() override
    {
        OpenDatabase::SetUp();
        // the first folder does not exist: the second one takes what is kept
        ASSERT_TRUE(QDir().mkpath(spare()));
        ASSERT_EQ(::chmod(QFile::encodeName(spare()).constData(), 0700), 0);
        m_folders = QStringList{m_dir.filePath(QStringLiteral("missing")), spare()};
    }
    QString spare() const { return m_dir.filePath(QStringLiteral("spare")); }
    // The files of the folder whose names match pattern.
    static QStringList filesIn(const QString& folder, const QString& pattern)
    {
        QStringList out;
        for (const QString& name : QDir(folder).entryList(
                 {pattern}, QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot))
            out << QDir(folder).filePath(name);
        return out;
    }
    static int modeOf(const QString& path)
    {
        struct stat st;
        return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
    }
    static void plant(const QString& path, const QByteArray& text)
    {
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(text);
        out.close();
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0600), 0);
    }
    // A records file holding the given records, as a run that ended would leave it.
    static QByteArray recordsText(const QList<QJsonObject>& records)
    {
        QJsonArray list;
        for (const QJsonObject& r : records)
            list.append(r);
        return QJsonDocument(QJsonObject{{"records", list}}).toJson();
    }
    static QJsonObject answerJson(double value, const QString& id = QString())
    {
        QJsonObject o{{"kind", "answer"}, {"user", 1}, {"time", "2026-01-02T03:04:05.000"},
                      {"variant", "g1/s1/q1@"}, {"value", value}};
        if (!id.isEmpty())
            o["id"] = id;
        return o;
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

    QStringList m_folders;
};

TEST_F(Pending, EveryKindKeptWhileTheFileIsHeldIsSavedInOrderWithTheRatingMeasuredBehindTheAnswers)
{
    login(QStringLiteral("g1[s1[q1 q2]]"));
    PendingRecords* pending = m_model->pendingRecords();
    pending->setFolders(m_folders, QStringLiteral("Brisola"));
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
        EXPECT_EQ(filesIn(spare(), "*.unsaved.json"), QStringList{pending->keptIn()});
        EXPECT_EQ(kindsIn(pending->keptIn()), (QStringList{"answer", "mark", "rating", "states"}));
        EXPECT_EQ(modeOf(pending->keptIn()), 0600);
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
    EXPECT_EQ(filesIn(spare(), "*"), QStringList{}) << "a saved record is not left for a later run";
    EXPECT_EQ(AssertRecorder::count(), 0);
}

// A run that begins while records wait: the rating it starts from is measured behind them, so its
// gain counts only its own answers, also when its mark waits in the file for a later run.
TEST_F(Pending, ARunBegunWhileRecordsWaitMeasuresItsStartBehindThem)
{
    login(QStringLiteral("g1[s1[q1 q2]]"));
    PendingRecords* pending = m_model->pendingRecords();
    pending->setFolders(m_folders, QStringLiteral("Brisola"));
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
    // a later run of the program finds them in the file, once this one is gone
    auto next = std::make_unique<PendingRecords>();
    next->setFolders(m_folders, QStringLiteral("Brisola"));
    EXPECT_EQ(next->load(), 0) << "the file of a running program is not taken";
    m_model.reset();
    next->setRatingSource([this](SkillRating& rating) { return m_stats.readSkillRating(rating); });
    EXPECT_EQ(next->load(), 3);
    next->saveKept(&m_db);
    EXPECT_EQ(next->count(), 0);
    // from 250 (q1 at 0.5 over two activities) to 750: the 250 before the run is not its gain
    EXPECT_EQ(rows("SELECT path, ratingDelta FROM marks"), QStringList{"g1/s1/q2|500"});
    int start = -1;
    EXPECT_TRUE(next->runStartRating(run, start));
    EXPECT_EQ(start, 250);

    // measured already when the mark comes, the start goes into the file with it
    const qint64 second = 43;
    EXPECT_EQ(next->save(&m_db, {PendingRecords::runStart(1, second)}), PendingRecords::Saved);
    PendingRecords::Record secondMark = PendingRecords::markMeasuredAtSave(1, QStringLiteral("g1/s1/q1"), 0.5, -1);
    secondMark.run = second;
    {
        OtherProgram other(m_file, "BEGIN EXCLUSIVE");
        EXPECT_EQ(next->save(&m_db, {secondMark}), PendingRecords::Kept);
    }
    PendingRecords third;
    third.setFolders(m_folders, QStringLiteral("Brisola"));
    third.setRatingSource([](SkillRating& rating) {
        Database::Answer full;
        full.correctness = 1.0;
        rating = SkillRating({{QuestionVariant(QStringLiteral("g1/s1/q1"), QString()), {full}}}, 20, 1);  // 1000
        return true;
    });
    EXPECT_EQ(third.load(), 0) << "its program still runs";
    next.reset();
    EXPECT_EQ(third.load(), 1);
    third.saveKept(&m_db);
    EXPECT_EQ(rows("SELECT ratingDelta FROM marks WHERE path = 'g1/s1/q1'"), QStringList{"250"});
}

TEST_F(Pending, WhileTheFileIsHeldOnlyTheFirstRecordWaitsForIt)
{
    login(QStringLiteral("g1[s1[q1]]"));
    WaitCounter counter(300);
    sqlite3_busy_handler(m_db.getDb(), &WaitCounter::handler, &counter);
    PendingRecords pending;
    OtherProgram other(m_file, "BEGIN EXCLUSIVE");
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(pending.save(&m_db, {answerOf("g1/s1/q1", 0.1), answerOf("g1/s1/q1", 0.2), answerOf("g1/s1/q1", 0.3)}),
              PendingRecords::Kept);
    EXPECT_GE(timer.elapsed(), 300);
    EXPECT_EQ(counter.waits, 1) << "each record waited";
    EXPECT_EQ(pending.count(), 3);
    EXPECT_TRUE(pending.keptIn().isEmpty()) << "no file was given";
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("3 records not saved yet, kept for the next save "
                                                               "(the database is in use by another program)")));
}

// Refused for good (a constraint, a trigger): set aside once in a side file beside the database,
// never kept and tried again; a lock held past the wait still keeps what it stops.
TEST_F(Pending, ARecordTheDatabaseRefusesForGoodIsSetAsideOnceAndNotRetried)
{
    login(QStringLiteral("g1[s1[q1 q2]]"));
    ASSERT_TRUE(run("CREATE TRIGGER refuse BEFORE UPDATE ON element_state BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    ASSERT_TRUE(run("CREATE TRIGGER refuseLow BEFORE INSERT ON answers WHEN NEW.correctness < 0.2 "
                    "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    PendingRecords pending;
    pending.setFolders(m_folders, QStringLiteral("Brisola"));
    const PendingRecords::Record change =
        PendingRecords::states(1, {{QStringLiteral("g1/s1/q2"), ElementState::UNLOCKED, false}});
    EXPECT_EQ(pending.save(&m_db, {change, answerOf("g1/s1/q1", 0.1), answerOf("g1/s1/q1", 0.5)}),
              PendingRecords::Refused);
    EXPECT_EQ(pending.count(), 0) << "nothing refused for good waits";
    EXPECT_EQ(pending.refusedCount(), 2);
    EXPECT_EQ(rows("SELECT correctness FROM answers"), QStringList{"0.5"});
    EXPECT_EQ(filesIn(spare(), "*.refused.json"), pending.setAsideIn());
    EXPECT_EQ(kindsIn(pending.setAsideIn().value(0)), (QStringList{"states", "answer"}));
    pending.saveKept(&m_db);
    EXPECT_EQ(filesIn(spare(), "*.refused.json").count(), 1) << "set aside once";

    // kept while held, refused once the lock is gone: set aside then, with the file gone
    {
        OtherProgram other(m_file, "BEGIN EXCLUSIVE");
        EXPECT_EQ(pending.save(&m_db, {answerOf("g1/s1/q1", 0.0)}), PendingRecords::Kept);
    }
    pending.saveKept(&m_db);
    EXPECT_EQ(pending.count(), 0);
    EXPECT_EQ(pending.refusedCount(), 3);
    EXPECT_EQ(filesIn(spare(), "*.unsaved.json"), QStringList{});
    // a change made on states that could not be read is never kept, whatever stops it
    {
        OtherProgram other(m_file, "BEGIN EXCLUSIVE");
        EXPECT_EQ(pending.saveUnkept(&m_db, answerOf("g1/s1/q1", 0.5)), PendingRecords::Refused);
    }
    EXPECT_EQ(pending.count(), 0);
}

TEST_F(Pending, ALaterRunTakesTheFilesOfEndedRunsInTheOrderTheRecordsWereMadeAndSavesThemOnce)
{
    login(QStringLiteral("g1[s1[q1]]"));
    QDateTime firstTime;
    {
        // two runs that ended while the file was held, each leaving its file
        OtherProgram other(m_file, "BEGIN EXCLUSIVE");
        PendingRecords older;
        older.setFolders({spare()}, QStringLiteral("Brisola"));
        older.save(&m_db, {answerOf("g1/s1/q1", 0.25)});
        firstTime = QDateTime::currentDateTime();
        QThread::msleep(1100);  // stored times have seconds
        PendingRecords newer;
        newer.setFolders({spare()}, QStringLiteral("Brisola"));
        newer.save(&m_db, {PendingRecords::rating(1, 7, true), answerOf("g1/s1/q1", 0.75)});
        EXPECT_EQ(filesIn(spare(), "*.unsaved.json").count(), 2) << "two programs never share a file";
    }
    PendingRecords next;
    next.setFolders(m_folders, QStringLiteral("Brisola"));
    EXPECT_EQ(next.load(), 3);
    next.saveKept(&m_db);
    EXPECT_EQ(rows("SELECT correctness FROM answers ORDER BY id"), (QStringList{"0.25", "0.75"}));
    EXPECT_EQ(rows("SELECT rating, practice FROM ratings"), QStringList{"7|1"});
    // each row carries the time it was made, not the time it was saved
    const QString stored = rows("SELECT timestamp FROM answers ORDER BY id").value(0);
    EXPECT_LE(qAbs(Database::parseTimestamp(stored).secsTo(firstTime)), 1) << stored.toStdString();
    EXPECT_EQ(filesIn(spare(), "*"), QStringList{});
    EXPECT_EQ(rows("SELECT count(*) FROM kept_saved"), QStringList{"0"}) << "ids go with the files";

    // what a run killed while writing its file left is never read, and goes
    const QString half = QDir(spare()).filePath(QStringLiteral(".Brisola.1f.unsaved.json.Ab12Cd"));
    plant(half, recordsText({answerJson(0.5)}).left(30));
    PendingRecords again;
    again.setFolders(m_folders, QStringLiteral("Brisola"));
    EXPECT_EQ(again.load(), 0) << "nothing is saved twice";
    EXPECT_FALSE(QFile::exists(half));
    EXPECT_EQ(again.unreadableCount(), 0);
}

// A kill after a transaction of a recovery and before the file is rewritten leaves every record in
// the file: the ids saved with them make the next start save only the rest.
TEST_F(Pending, AKillInTheMiddleOfARecoverySavesNothingTwice)
{
    login(QStringLiteral("g1[s1[q1]]"));
    QList<QJsonObject> records;
    for (int i = 0; i < 5000; ++i)
        records << answerJson((i % 100) / 100.0, QStringLiteral("ended-%1").arg(i));
    plant(QDir(spare()).filePath(QStringLiteral("Brisola.ended.unsaved.json")), recordsText(records));
    // a process of its own, ended at the first pause: after a transaction, before the rewrite
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Database db;
        db.initialize(m_file);
        PendingRecords killed;
        killed.setFolders(m_folders, QStringLiteral("Brisola"));
        killed.load();
        killed.setPause([] { ::_exit(3); });
        killed.saveKept(&db);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 3);
    const int before = rows("SELECT count(*) FROM answers").value(0).toInt();
    EXPECT_GT(before, 0);
    EXPECT_LT(before, 5000);
    PendingRecords next;
    next.setFolders(m_folders, QStringLiteral("Brisola"));
    int pauses = 0;
    next.setPause([&pauses] { ++pauses; });
    EXPECT_EQ(next.load(), 5000);
    next.saveKept(&m_db);
    EXPECT_EQ(rows("SELECT count(*), count(DISTINCT timestamp || correctness) FROM answers"),
              QStringList{"5000|100"});
    EXPECT_EQ(rows("SELECT count(*) FROM answers WHERE correctness = 0.42"), QStringList{"50"});
    EXPECT_GE(pauses, 1) << "one transaction per batch, the window's events between them";
    EXPECT_EQ(filesIn(spare(), "*"), QStringList{});
}

// Every field is checked: a record of a wrong type, out of range or with an unknown state is set
// aside whole (nothing of it saved), the sound ones are saved, and a file cut short goes aside whole.
TEST_F(Pending, RecordsOfAnEndedRunAreCheckedLikeAnyInputAndTheUnsoundOnesSetAside)
{
    login(QStringLiteral("g1[s1[q1]]"));
    const QJsonObject mark{{"kind", "mark"}, {"user", 1}, {"time", "2026-01-02T03:04:05.000"},
                           {"path", "g1/s1/q1"}, {"value", 1.0}, {"ratingDelta", 900}, {"rating", 0},
                           {"measuredAtSave", false}, {"run", "0"}};
    const QJsonObject states{{"kind", "states"}, {"user", 1}, {"time", "2026-01-02T03:04:05.000"},
                             {"states", QJsonArray{QJsonObject{{"path", "g1/s1/q1"}, {"state", "COMPLETED"},
                                                               {"select", false}}}}};
    auto with = [](QJsonObject o, const char* key, const QJsonValue& value) {
        o[QLatin1String(key)] = value;
        return o;
    };
    const struct {
        const char* what;
        QJsonObject record;
    } unsound[] = {
        {"a correctness as text", with(answerJson(0.5), "value", "0.5")},
        {"a correctness above 1", with(answerJson(0.5), "value", 7.0)},
        {"no user", with(answerJson(0.5), "user", QJsonValue())},
        {"a user as text", with(answerJson(0.5), "user", "1")},
        {"a time that is no time", with(answerJson(0.5), "time", "yesterday")},
        {"a question with no tag", with(answerJson(0.5), "variant", "g1/s1/q1")},
        {"an unknown kind", with(answerJson(0.5), "kind", "grade")},
        {"a mark above 1", with(mark, "value", 1.5)},
        {"a rating change out of range", with(mark, "ratingDelta", 90000)},
        {"a rating change with a fraction", with(mark, "ratingDelta", 2.5)},
        {"a run as a number", with(mark, "run", 5)},
        {"an unknown state", with(states, "states", QJsonArray{QJsonObject{{"path", "g1/s1/q1"}, {"state", "WON"},
                                                                           {"select", false}}})},
        {"the state INVALID", with(states, "states", QJsonArray{QJsonObject{{"path", "g1/s1/q1"},
                                                                            {"state", "INVALID"},
                                                                            {"select", false}}})},
        {"no states", with(states, "states", QJsonArray{})},
        {"a rating below 0", QJsonObject{{"kind", "rating"}, {"user", 1}, {"time", "2026-01-02T03:04:05.000"},
                                         {"rating", -5}, {"measuredAtSave", false}, {"practice", false}}},
    };
    for (const auto& c : unsound) {
        SCOPED_TRACE(c.what);
        plant(QDir(spare()).filePath(QStringLiteral("Brisola.unsaved.json")),
              recordsText({answerJson(0.25), c.record, with(mark, "ratingDelta", 100)}));
        PendingRecords next;
        next.setFolders(m_folders, QStringLiteral("Brisola"));
        EXPECT_EQ(next.load(), 2);
        next.saveKept(&m_db);
        EXPECT_EQ(next.unreadableCount(), 1);
        ASSERT_EQ(next.setAsideIn().count(), 1);
        QFile aside(next.setAsideIn().first());
        ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
        EXPECT_EQ(QJsonDocument::fromJson(aside.readAll()).object().value("records").toArray(),
                  QJsonArray{c.record});
        EXPECT_EQ(filesIn(spare(), "*.unsaved.json"), QStringList{});
    }
    const int cases = static_cast<int>(sizeof unsound / sizeof unsound[0]);
    EXPECT_EQ(rows("SELECT count(*) FROM answers WHERE correctness = 0.25"), QStringList{QString::number(cases)});
    EXPECT_EQ(rows("SELECT DISTINCT mark, ratingDelta FROM marks"), QStringList{"1.0|100"});
    EXPECT_EQ(rows("SELECT count(*) FROM ratings"), QStringList{"0"});
    EXPECT_EQ(storedStates(), QStringLiteral("g1=U s1=U q1=U"));

    const QByteArray cut = recordsText({answerJson(0.25)}).left(40);
    plant(QDir(spare()).filePath(QStringLiteral("Brisola.unsaved.json")), cut);
    PendingRecords next;
    next.setFolders(m_folders, QStringLiteral("Brisola"));
    EXPECT_EQ(next.load(), 0);
    EXPECT_EQ(next.unreadableCount(), 1);
    ASSERT_EQ(next.setAsideIn().count(), 1);
    QFile aside(next.setAsideIn().first());
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), cut) << "kept aside whole";
    EXPECT_EQ(filesIn(spare(), "*.unsaved.json"), QStringList{});
    EXPECT_EQ(rows("SELECT count(*) FROM answers"), QStringList{QString::number(cases)});
}

// A tag is the question's own text and may hold the '@' that ends the path: such an answer is sound.
TEST_F(Pending, AnAnswerWhoseTagHoldsTheSeparatorIsSaved)
{
    login(QStringLiteral("g1[s1[q1]]"));
    QJsonObject answer = answerJson(0.5);
    answer["variant"] = QStringLiteral("g1/s1/q1@in C@4/4");
    plant(QDir(spare()).filePath(QStringLiteral("Brisola.unsaved.json")), recordsText({answer}));
    PendingRecords next;
    next.setFolders(m_folders, QStringLiteral("Brisola"));
    EXPECT_EQ(next.load(), 1);
    next.saveKept(&m_db);
    EXPECT_EQ(next.unreadableCount(), 0);
    EXPECT_EQ(rows("SELECT variant FROM answers"), QStringList{"g1/s1/q1@in C@4/4"});
}

// Whatever stands at a name is hostile: only a regular file the learner owns and that no one else
// may write is read; anything else is left alone and said once.
TEST_F(Pending, OnlyARegularFileOfTheLearnersOwnIsTaken)
{
    login(QStringLiteral("g1[s1[q1]]"));
    const QString precious = m_dir.filePath(QStringLiteral("precious.txt"));
    plant(precious, recordsText({answerJson(0.5)}));
    const QString at = QDir(spare()).filePath(QStringLiteral("Brisola.unsaved.json"));
    const struct {
        const char* what;
        std::function<void()> make;
    } hostile[] = {
        {"a symlink", [&] { ASSERT_TRUE(QFile::link(precious, at)); }},
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(QFile::encodeName(at).constData(), 0600), 0); }},
        {"a directory", [&] { ASSERT_TRUE(QDir().mkdir(at)); }},
        {"a file others may write", [&] {
             plant(at, recordsText({answerJson(0.5)}));
             ::chmod(QFile::encodeName(at).constData(), 0620);
         }},
        {"another user's file", [&] {
             plant(at, recordsText({answerJson(0.5)}));
             if (::chown(QFile::encodeName(at).constData(), 2002, 2002) != 0)
                 GTEST_SKIP() << "no other user's file can be made here";
         }},
    };
    for (const auto& c : hostile) {
        SCOPED_TRACE(c.what);
        LogCapture::instance().clear();
        c.make();
        PendingRecords next;
        next.setFolders(m_folders, QStringLiteral("Brisola"));
        EXPECT_EQ(next.load(), 0);
        EXPECT_EQ(next.load(), 0);
        EXPECT_EQ(LogCapture::instance().linesContaining(QStringLiteral("left alone")).count(), 1) << "said once";
        EXPECT_TRUE(QFileInfo::exists(at) || QFileInfo(at).isSymLink()) << "left where it is";
        // and the records of this run go to a file of their own
        {
            OtherProgram other(m_file, "BEGIN EXCLUSIVE");
            EXPECT_EQ(next.save(&m_db, {answerOf("g1/s1/q1", 0.5)}), PendingRecords::Kept);
        }
        EXPECT_NE(next.keptIn(), at);
        EXPECT_FALSE(next.keptIn().isEmpty());
        next.saveKept(&m_db);
        QFile::remove(at);
        QDir().rmdir(at);
    }
    EXPECT_EQ(rows("SELECT count(*) FROM answers"), QStringList{QString::number(std::size(hostile))});
    QFile original(precious);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    EXPECT_EQ(original.readAll(), recordsText({answerJson(0.5)})) << "the learner's file is untouched";
}

TEST_F(Pending, AFolderForKeptRecordsIsOneOnlyTheLearnerCanUse)
{
    QString why;
    const QString made = PrivateFolder::make(m_dir.filePath(QStringLiteral("Brisola-0")), why);
    ASSERT_FALSE(made.isEmpty()) << why.toStdString();
    EXPECT_EQ(modeOf(made), 0700);
    EXPECT_EQ(PrivateFolder::make(m_dir.filePath(QStringLiteral("Brisola-0")), why), made) << "again";

    ASSERT_TRUE(QFile::link(made, m_dir.filePath(QStringLiteral("link"))));
    EXPECT_EQ(PrivateFolder::make(m_dir.filePath(QStringLiteral("link")), why), QString());
    EXPECT_EQ(why, QStringLiteral("a symbolic link"));
    ASSERT_TRUE(QDir().mkdir(m_dir.filePath(QStringLiteral("open"))));
    ::chmod(QFile::encodeName(m_dir.filePath(QStringLiteral("open"))).constData(), 0755);
    EXPECT_EQ(PrivateFolder::make(m_dir.filePath(QStringLiteral("open")), why), QString());
    EXPECT_EQ(why, QStringLiteral("of mode 0755, not 0700"));
    plant(m_dir.filePath(QStringLiteral("file")), "x");
    EXPECT_EQ(PrivateFolder::make(m_dir.filePath(QStringLiteral("file")), why), QString());
    if (::chown(QFile::encodeName(made).constData(), 2002, 2002) == 0) {
        EXPECT_EQ(PrivateFolder::make(m_dir.filePath(QStringLiteral("Brisola-0")), why), QString());
        EXPECT_EQ(why, QStringLiteral("owned by user 2002"));
    }

    // a pattern: a new folder at every call, under a name no one could know beforehand
    const QString pattern = m_dir.filePath(QStringLiteral("Brisola-0.XXXXXX"));
    const QString first = PrivateFolder::make(pattern, why);
    const QString second = PrivateFolder::make(pattern, why);
    EXPECT_TRUE(first.startsWith(m_dir.filePath(QStringLiteral("Brisola-0."))) && first.size() == pattern.size())
        << first.toStdString();
    EXPECT_NE(first, pattern);
    EXPECT_NE(first, second);
    EXPECT_EQ(modeOf(first), 0700);
    EXPECT_TRUE(PrivateFolder::check(second, why));
}

// The temporary folder's place for kept records is made once, under a new name, and a later run
// that is given that name takes the records there.
TEST_F(Pending, AFolderMadeFromAPatternIsMadeOnceAndItsRecordsFoundThere)
{
    login(QStringLiteral("g1[s1[q1]]"));
    const QStringList folders{m_dir.filePath(QStringLiteral("missing/data")),
                              m_dir.filePath(QStringLiteral("Brisola-0.XXXXXX"))};
    auto pending = std::make_unique<PendingRecords>();
    pending->setFolders(folders, QStringLiteral("Brisola"));
    {
        OtherProgram other(m_file, "BEGIN EXCLUSIVE");
        EXPECT_EQ(pending->save(&m_db, {answerOf("g1/s1/q1", 0.5)}), PendingRecords::Kept);
        EXPECT_EQ(pending->save(&m_db, {answerOf("g1/s1/q1", 0.25)}), PendingRecords::Kept);
    }
    const QStringList made = filesIn(m_dir.path(), QStringLiteral("Brisola-0.*"));
    ASSERT_EQ(made.count(), 1) << "one folder for both saves";
    EXPECT_EQ(QFileInfo(pending->keptIn()).path(), made.first());
    EXPECT_EQ(pending->unfiledCount(), 0);
    pending.reset();  // its program ends

    PendingRecords next;
    next.setFolders({folders.first(), made.first(), folders.last()}, QStringLiteral("Brisola"));
    EXPECT_EQ(next.load(), 2);
    EXPECT_EQ(filesIn(m_dir.path(), QStringLiteral("Brisola-0.*")), made) << "nothing made to look";
    next.saveKept(&m_db);
    EXPECT_EQ(rows("SELECT count(*) FROM answers"), QStringList{"2"});
}

// Records still in the file of the run they came from are not lost when this run can write no
// file of its own; those made since are, and only they are counted so.
TEST_F(Pending, OnlyRecordsThatNoFileHoldsCountAsLost)
{
    login(QStringLiteral("g1[s1[q1]]"));
    const QString ended = QDir(spare()).filePath(QStringLiteral("Brisola.ended.unsaved.json"));
    plant(ended, recordsText({answerJson(0.5, QStringLiteral("e-1")), answerJson(0.25, QStringLiteral("e-2"))}));
    PendingRecords pending;
    pending.setFolders({spare()}, QStringLiteral("Brisola"));
    OtherProgram other(m_file, "BEGIN EXCLUSIVE");
    EXPECT_EQ(pending.load(), 2);
    EXPECT_EQ(pending.unfiledCount(), 0);
    // no folder takes a file now (the data folder gone, say): the ended run's file stays
    pending.setFolders({m_dir.filePath(QStringLiteral("gone"))}, QStringLiteral("Brisola"));
    EXPECT_EQ(pending.save(&m_db, {answerOf("g1/s1/q1", 1.0)}), PendingRecords::Kept);
    EXPECT_TRUE(pending.keptIn().isEmpty());
    EXPECT_TRUE(QFileInfo::exists(ended));
    EXPECT_EQ(pending.count(), 3);
    EXPECT_EQ(pending.unfiledCount(), 1);
    EXPECT_EQ(LogCapture::instance().linesContaining(QStringLiteral("1 records are kept in memory only")).count(), 1);

    // once a file holds them all, nothing is lost; once they are saved, nothing waits
    pending.setFolders({spare()}, QStringLiteral("Brisola"));
    pending.saveKept(&m_db);
    EXPECT_FALSE(pending.keptIn().isEmpty());
    EXPECT_EQ(pending.unfiledCount(), 0);
}

// Bytes this process has read from files so far.
qint64 bytesRead()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    return -1;
}

ino_t inodeOf(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

// A file larger than the program reads, or one that does not begin as its files do, is set aside
// by a new name: not read whole, not copied (a sparse one stays sparse), and the rest goes on; only
// the second is called damaged.
TEST_F(Pending, AFileNotOfRecordsOrLargerThanTheProgramReadsIsSetAsideByANewNameUnread)
{
    login(QStringLiteral("g1[s1[q1]]"));
    const QString large = QDir(spare()).filePath(QStringLiteral("Brisola.large.unsaved.json"));
    const QString zeros = QDir(spare()).filePath(QStringLiteral("Brisola.zeros.unsaved.json"));
    plant(large, "{\"records\": [");
    plant(zeros, QByteArray());
    ASSERT_EQ(::truncate(QFile::encodeName(large).constData(), 300LL << 20), 0);
    ASSERT_EQ(::truncate(QFile::encodeName(zeros).constData(), 100LL << 20), 0);
    plant(QDir(spare()).filePath(QStringLiteral("Brisola.sound.unsaved.json")), recordsText({answerJson(0.25)}));
    const ino_t inodes[] = {inodeOf(large), inodeOf(zeros)};
    PendingRecords next;
    next.setFolders(m_folders, QStringLiteral("Brisola"));
    const qint64 before = bytesRead();
    EXPECT_EQ(next.load(), 1);
    EXPECT_LT(bytesRead() - before, 1 << 20) << "read whole";
    next.saveKept(&m_db);
    EXPECT_EQ(rows("SELECT correctness FROM answers"), QStringList{"0.25"});
    EXPECT_EQ(next.unreadableCount(), 1) << "the large one is not said to be damaged";
    EXPECT_EQ(next.tooLargeCount(), 1);
    EXPECT_EQ(next.leftIn(), QStringList{});
    ASSERT_EQ(next.setAsideIn().count(), 2);
    EXPECT_EQ(filesIn(spare(), "*.unreadable.json"), next.setAsideIn());
    QList<ino_t> aside;
    for (const QString& path : next.setAsideIn()) {
        aside << inodeOf(path);
        struct stat st;
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
        EXPECT_LT(st.st_blocks, 64) << "copied: " << path.toStdString();
    }
    std::sort(aside.begin(), aside.end());
    QList<ino_t> planted{inodes[0], inodes[1]};
    std::sort(planted.begin(), planted.end());
    EXPECT_EQ(aside, planted) << "the same files by new names";
    EXPECT_EQ(filesIn(spare(), "*.unsaved.json"), QStringList{});
    EXPECT_EQ(LogCapture::instance().linesContaining(QStringLiteral("is larger than this program reads")).count(), 1);
    EXPECT_EQ(LogCapture::instance().linesContaining(QStringLiteral("is not a file of records")).count(), 1);
}

// Many small files of ended runs: the window gets its events between them, not only at the end.
TEST_F(Pending, ManyFilesOfEndedRunsAreReadWithTheWindowsEventsBetweenThem)
{
    login(QStringLiteral("g1[s1[q1]]"));
    const int files = 5000;
    for (int i = 0; i < files; ++i)
        plant(QDir(spare()).filePath(QStringLiteral("Brisola.f%1.unsaved.json").arg(i)),
              recordsText({answerJson((i % 100) / 100.0, QStringLiteral("f%1").arg(i))}));
    // in this thread's CPU time: a loaded machine does not stretch it
    auto cpu = [] {
        timespec t;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
    };
    double last = cpu();
    double longest = 0.0;
    PendingRecords next;
    next.setFolders(m_folders, QStringLiteral("Brisola"));
    next.setPause([&] {
        longest = std::max(longest, cpu() - last);
        last = cpu();
    });
    const double began = cpu();
    EXPECT_EQ(next.load(), files);
    longest = std::max(longest, cpu() - last);
    const double took = cpu() - began;
    std::cout << "read " << files << " files in " << took << " ms of CPU, the longest without a pause " << longest
              << " ms\n";
    EXPECT_LT(longest, std::max(100.0, took / 4));
    next.saveKept(&m_db);
    EXPECT_EQ(rows("SELECT count(*) FROM answers"), QStringList{QString::number(files)});
    EXPECT_EQ(filesIn(spare(), "*"), QStringList{});
}

// Raises the file size limit of this process to 1 byte while it lives: no side file can be
// written (as on a full disk), whatever the user, and a rename still works.
class NoRoom {
public:
    NoRoom()
    {
        ::getrlimit(RLIMIT_FSIZE, &m_before);
        m_signal = ::signal(SIGXFSZ, SIG_IGN);
        const rlimit one{1, m_before.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &one);
    }
    ~NoRoom()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_before);
        ::signal(SIGXFSZ, m_signal);
    }

private:
    rlimit m_before;
    sighandler_t m_signal;
};

// Nothing is destroyed when no folder takes a side file: the file with unsound records stays where
// it is, none of its records taken in, and a later load takes it; a damaged file is still set
// aside by a new name, and a record refused for good is kept.
TEST_F(Pending, WhenNoFolderTakesASideFileNothingIsDestroyed)
{
    login(QStringLiteral("g1[s1[q1]]"));
    const QString mixed = QDir(spare()).filePath(QStringLiteral("Brisola.mixed.unsaved.json"));
    const QString cut = QDir(spare()).filePath(QStringLiteral("Brisola.cut.unsaved.json"));
    QJsonObject wrong = answerJson(0.5);
    wrong["value"] = "0.5";
    const QByteArray mixedText = recordsText({answerJson(0.25, QStringLiteral("m1")), wrong});
    plant(mixed, mixedText);
    plant(cut, recordsText({answerJson(0.5)}).left(30));
    {
        NoRoom full;
        PendingRecords next;
        next.setFolders(m_folders, QStringLiteral("Brisola"));
        EXPECT_EQ(next.load(), 0);
        EXPECT_EQ(next.leftIn(), QStringList{mixed});
        EXPECT_EQ(next.unreadableCount(), 1) << "the file cut short";
        EXPECT_EQ(next.setAsideIn().count(), 1);
    }
    QFile left(mixed);
    ASSERT_TRUE(left.open(QIODevice::ReadOnly));
    EXPECT_EQ(left.readAll(), mixedText) << "left as it was";
    EXPECT_FALSE(QFile::exists(cut));

    PendingRecords later;
    later.setFolders(m_folders, QStringLiteral("Brisola"));
    EXPECT_EQ(later.load(), 1);
    later.saveKept(&m_db);
    EXPECT_EQ(later.leftIn(), QStringList{});
    EXPECT_EQ(rows("SELECT correctness FROM answers"), QStringList{"0.25"});
    ASSERT_EQ(later.setAsideIn().count(), 1);
    QFile aside(later.setAsideIn().first());
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(QJsonDocument::fromJson(aside.readAll()).object().value("records").toArray(), QJsonArray{wrong});
    EXPECT_EQ(filesIn(spare(), "*.unsaved.json"), QStringList{});

    // refused for good with no folder for its side file: kept, and set aside once there is one
    ASSERT_TRUE(run("CREATE TRIGGER refuseLow BEFORE INSERT ON answers WHEN NEW.correctness < 0.2 "
                    "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    const QString missing = m_dir.filePath(QStringLiteral("missing"));
    PendingRecords pending;
    pending.setFolders({missing}, QStringLiteral("Brisola"));
    EXPECT_EQ(pending.save(&m_db, {answerOf("g1/s1/q1", 0.1)}), PendingRecords::Kept);
    EXPECT_EQ(pending.count(), 1);
    EXPECT_EQ(pending.refusedCount(), 0);
    ASSERT_TRUE(QDir().mkpath(missing));
    pending.saveKept(&m_db);
    EXPECT_EQ(pending.count(), 0);
    EXPECT_EQ(pending.refusedCount(), 1);
    EXPECT_EQ(kindsIn(pending.setAsideIn().value(0)), QStringList{"answer"});
}

// A file with a second name (a backup's link) is the learner's own: taken, its records saved, only
// its name in the folder removed; the ids stay while the other name holds the records, and go at
// the first start that finds them held by no file.
TEST_F(Pending, AFileWithAnotherNameIsTakenAndItsIdsGoOnlyWhenNoFileHoldsThem)
{
    login(QStringLiteral("g1[s1[q1]]"));
    const QString backup = m_dir.filePath(QStringLiteral("backup.json"));
    const QByteArray text = recordsText({answerJson(0.25, QStringLiteral("b1"))});
    plant(backup, text);
    const QString at = QDir(spare()).filePath(QStringLiteral("Brisola.unsaved.json"));
    auto linkBackup = [&] {
        ASSERT_EQ(::link(QFile::encodeName(backup).constData(), QFile::encodeName(at).constData()), 0);
    };
    linkBackup();
    // ids a kill left after their files went
    ASSERT_TRUE(run("CREATE TABLE IF NOT EXISTS kept_saved (id TEXT PRIMARY KEY) WITHOUT ROWID"));
    ASSERT_TRUE(run("INSERT INTO kept_saved VALUES ('gone-1'), ('gone-2')"));
    {
        PendingRecords next;
        next.setFolders(m_folders, QStringLiteral("Brisola"));
        EXPECT_EQ(next.load(&m_db), 1);
        EXPECT_EQ(next.linkedIn(), QStringList{at});
        next.saveKept(&m_db);
    }
    EXPECT_EQ(rows("SELECT correctness FROM answers"), QStringList{"0.25"});
    EXPECT_FALSE(QFileInfo::exists(at));
    QFile kept(backup);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), text) << "the other name is untouched";
    EXPECT_TRUE(rows("SELECT id FROM kept_saved ORDER BY id").contains("b1")) << "its record is still in a file";

    // the backup put back: nothing saved twice
    linkBackup();
    {
        PendingRecords next;
        next.setFolders(m_folders, QStringLiteral("Brisola"));
        EXPECT_EQ(next.load(&m_db), 1);
        next.saveKept(&m_db);
    }
    EXPECT_EQ(rows("SELECT count(*) FROM answers"), QStringList{"1"});

    // a program that runs holds its file: nothing is forgotten while a file is not read
    ASSERT_TRUE(QFile::remove(backup));
    auto running = std::make_unique<PendingRecords>();
    running->setFolders({spare()}, QStringLiteral("Brisola"));
    {
        OtherProgram other(m_file, "BEGIN EXCLUSIVE");
        EXPECT_EQ(running->save(&m_db, {answerOf("g1/s1/q1", 0.5)}), PendingRecords::Kept);
    }
    PendingRecords next;
    next.setFolders(m_folders, QStringLiteral("Brisola"));
    EXPECT_EQ(next.load(&m_db), 0);
    EXPECT_EQ(rows("SELECT id FROM kept_saved ORDER BY id"), (QStringList{"b1", "gone-1", "gone-2"}));
    running.reset();  // ended without saving: its file stays
    EXPECT_EQ(next.load(&m_db), 1);
    next.saveKept(&m_db);
    EXPECT_EQ(rows("SELECT count(*) FROM answers"), QStringList{"2"});
    EXPECT_EQ(rows("SELECT count(*) FROM kept_saved"), QStringList{"0"});
    EXPECT_EQ(filesIn(spare(), "*"), QStringList{});
}

// A record saved before (its id in the database) that waits again behind one that cannot be saved
// now keeps its id: the ids forgotten after a recovery are never those of records still kept.
TEST_F(Pending, ARecordSavedBeforeThatWaitsAgainKeepsItsId)
{
    login(QStringLiteral("g1[s1[q1]]"));
    const QJsonObject mark{{"kind", "mark"}, {"user", 1}, {"time", "2026-01-02T03:04:05.000"}, {"path", "g1/s1/q1"},
                           {"value", 1.0}, {"ratingDelta", 0}, {"rating", 0}, {"measuredAtSave", true},
                           {"run", "0"}, {"id", "w1"}};
    plant(QDir(spare()).filePath(QStringLiteral("Brisola.ended.unsaved.json")),
          recordsText({mark, answerJson(0.25, QStringLiteral("s1"))}));
    // saved by a run killed before its file went
    ASSERT_TRUE(run("CREATE TABLE IF NOT EXISTS kept_saved (id TEXT PRIMARY KEY) WITHOUT ROWID"));
    ASSERT_TRUE(run("INSERT INTO kept_saved VALUES ('s1')"));
    bool readable = false;
    PendingRecords next;
    next.setFolders(m_folders, QStringLiteral("Brisola"));
    next.setRatingSource([&readable](SkillRating&) { return readable; });
    EXPECT_EQ(next.load(&m_db), 2);
    next.saveKept(&m_db);
    EXPECT_EQ(next.count(), 2) << "the mark waits for the rating, the answer behind it";
    readable = true;
    next.saveKept(&m_db);
    EXPECT_EQ(next.count(), 0);
    EXPECT_EQ(rows("SELECT count(*) FROM answers"), QStringList{"0"}) << "saved before: not again";
    EXPECT_EQ(rows("SELECT count(*) FROM marks"), QStringList{"1"});
    EXPECT_EQ(rows("SELECT count(*) FROM kept_saved"), QStringList{"0"});
}

}  // namespace
