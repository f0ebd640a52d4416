// The framework manager's start-up, login and recording, in a process of its own (singletons).
// One environment starts the framework once; every case leaves it logged in as "user".
#include "SqlPeek.h"
#include "HeldLock.h"
#include "WaitCounter.h"
#include "TestCourse.h"

#include "debug/Logger.h"
#include "framework/Database.h"
#include "framework/FrameworkManager.h"
#include "framework/FrameworkModel.h"
#include "framework/StatisticsEngine.h"
#include "framework/UserSession.h"
#include "lms/LmsQuestion.h"
#include "lms/LmsQuestionActivity.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"
#include "support/Watchdog.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>

#include <unistd.h>

using namespace edufrmwk;

namespace {

QTemporaryDir* g_home = nullptr;
TestCourse* g_course = nullptr;
int g_initializeResult = -1;

class FrameworkEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        g_home = new QTemporaryDir();
        qputenv("XDG_DATA_HOME", g_home->path().toUtf8());
        qputenv("TMPDIR", g_home->path().toUtf8());  // where records go when the data folder takes none
        g_initializeResult = FrameworkManager::getInstance()->initialize(QStringLiteral("Brisola"),
                                                                          QStringLiteral("1.1.525"));
        g_course = new TestCourse(QStringLiteral("g1[s1[q1 q2] s2[b1]] g2[s3[c1]]"));
        FrameworkManager::getInstance()->loadCourse(g_course->course());
        FrameworkManager::getInstance()->login(QStringLiteral("user"), QStringLiteral("quillfen"), nullptr);
    }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new FrameworkEnvironment);

FrameworkManager* manager()
{
    return FrameworkManager::getInstance();
}

QStringList rows(const char* sql)
{
    return sqlRows(manager()->m_dbPath, sql);
}

class Manager : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(g_initializeResult, 0);
        AssertRecorder::clear();
        LogCapture::instance().clear();
    }
    static LmsQuestionActivity* activity(const char* name)
    {
        return dynamic_cast<LmsQuestionActivity*>((*g_course)[QString::fromLatin1(name)]);
    }
};

TEST_F(Manager, StartUpSetsUpDataDirectoryLogAndDatabase)
{
    const QString data = manager()->getDataPath();
    EXPECT_TRUE(data.startsWith(g_home->path())) << data.toStdString();
    EXPECT_EQ(manager()->m_dbPath, data + QStringLiteral("/Brisola.db"));
    QFile log(data + QStringLiteral("/Brisola.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    for (const char* line : {"initializing framework...", "framework initialized", "application name: Brisola",
                             "data location: ", "temp location: "})
        EXPECT_TRUE(text.contains(QLatin1String(line))) << line;

    EXPECT_EQ(QCoreApplication::applicationVersion(), QStringLiteral("1.1.525"));
    EXPECT_EQ(QDir::currentPath(), QCoreApplication::applicationDirPath());
    // Without options the level stays at info.
    EXPECT_EQ(QsLogging::Logger::instance().loggingLevel(), QsLogging::InfoLevel);
}

TEST_F(Manager, LoginChecksInOrderAndChangesNothingOnFailure)
{
    UserSession* current = FrameworkModel::getInstance()->getUserSession();
    EXPECT_EQ(manager()->login(QString(), QStringLiteral("quillfen"), nullptr), 201);
    EXPECT_EQ(manager()->login(QStringLiteral("user"), QString(), nullptr), 201);
    EXPECT_EQ(manager()->login(QStringLiteral("user"), QStringLiteral("quillfen"), nullptr), 203);  // open already
    EXPECT_EQ(FrameworkModel::getInstance()->getUserSession(), current);

    EXPECT_EQ(manager()->logout(), 0);
    EXPECT_EQ(FrameworkModel::getInstance()->getCurrentActivity(), nullptr);
    EXPECT_EQ(rows("SELECT path FROM element_state WHERE user_id = 1 AND selected = 'true'"),
              QStringList{"g1/s1/q1"});  // logging out keeps the stored place

    EXPECT_EQ(manager()->login(QStringLiteral("nobody"), QStringLiteral("quillfen"), nullptr), 205);
    EXPECT_EQ(manager()->login(QStringLiteral("user"), QStringLiteral("QUILLFEN"), nullptr), 203);
    EXPECT_EQ(manager()->login(QStringLiteral("User"), QStringLiteral("quillfen"), nullptr), 205);
    EXPECT_EQ(FrameworkModel::getInstance()->getUserSession(), nullptr);

    UserSession* session = nullptr;
    EXPECT_EQ(manager()->login(QStringLiteral("user"), QStringLiteral("quillfen"), &session), 0);
    EXPECT_EQ(session, FrameworkModel::getInstance()->getUserSession());
    EXPECT_EQ(FrameworkModel::getInstance()->getCurrentActivity(), (*g_course)["q1"]);
    EXPECT_EQ(AssertRecorder::count(), 0);
}

TEST_F(Manager, AnswersFollowTheQuestionsOwnTags)
{
    LmsQuestion tagged(activity("q1"));
    tagged.setTagList(QStringList{"maj", "it's 50%"});
    LmsQuestion* templ = new LmsQuestion();
    templ->setType(QStringLiteral("Melody"));
    templ->setTagList(QStringList{"default"});
    activity("q1")->getTemplateMap().insert(templ);
    LmsQuestion untagged(activity("q1"));
    untagged.setType(QStringLiteral("Melody"));
    ASSERT_EQ(untagged.getTagList(true), QStringList{"default"});  // inherited tags are not its own

    EXPECT_EQ(manager()->questionAnswered(nullptr, &tagged, 0.666), 0);
    EXPECT_EQ(manager()->questionAnswered(FrameworkModel::getInstance()->getUserSession(), &untagged, 1.0), 0);
    EXPECT_EQ(rows("SELECT user_id, variant, correctness FROM answers WHERE variant LIKE 'g1/s1/q1@%' ORDER BY id"),
              (QStringList{"1|g1/s1/q1@maj|0.67", "1|g1/s1/q1@it's 50%|0.67", "1|g1/s1/q1@|1.0"}));
    EXPECT_EQ(AssertRecorder::count(), 0);
}

// A refused save is no fatal report and no lost answer: it is kept, and saved once, in order,
// with the next save that gets through or at exit.
TEST_F(Manager, RefusedSavesAreSetAsideOnceAndNeverTriedAgain)
{
    LmsQuestion tagged(activity("b1"));
    tagged.setTagList(QStringList{"a", "b"});
    LmsQuestion plain(activity("b1"));
    // what is saved ("a+b" the tagged question, "-" the plain one, "mark", "exit"), with which value,
    // what the answers trigger refuses, the result, then b1's answers (tag@value) and marks in row
    // order, how many rows wait and how many were set aside so far
    const struct { const char* name; const char* save; double value; const char* refuse; int rc; const char* answers; const char* marks; int kept; int setAside; } steps[] = {
        {"one tag refused", "a+b", 0.5, "NEW.variant = 'g1/s2/b1@a'", 200, "b@0.5", "", 0, 1},
        {"every answer refused", "-", 0.25, "1", 200, "b@0.5", "", 0, 2},
        {"a mark still gets through", "mark", 0.75, "1", 0, "b@0.5", "0.75", 0, 2},
        {"the next save does not bring them back", "-", 1.0, nullptr, 0, "b@0.5 @1.0", "0.75", 0, 2},
        {"not a number is refused", "-", std::nan(""), nullptr, 200, "b@0.5 @1.0", "0.75", 0, 3},
        {"refused again", "a+b", 0.5, "1", 200, "b@0.5 @1.0", "0.75", 0, 5},
        {"a refused mark", "mark", 0.5, "1", 200, "b@0.5 @1.0", "0.75", 0, 6},
        {"exit saves nothing of them", "exit", 0, nullptr, 0, "b@0.5 @1.0", "0.75", 0, 6},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        ASSERT_TRUE(sqlRun(manager()->m_dbPath, "DROP TRIGGER IF EXISTS refuse"));
        ASSERT_TRUE(sqlRun(manager()->m_dbPath, "DROP TRIGGER IF EXISTS refuse_mark"));
        if (step.refuse) {
            ASSERT_TRUE(sqlRun(manager()->m_dbPath, QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON answers WHEN %1 "
                                                                   "BEGIN SELECT RAISE(ABORT, 'refused'); END")
                                                        .arg(QLatin1String(step.refuse))));
            // the marks are refused only where the step's own mark is
            if (QLatin1String(step.save) == QLatin1String("mark") && step.rc != 0) {
                ASSERT_TRUE(sqlRun(manager()->m_dbPath, "CREATE TRIGGER refuse_mark BEFORE INSERT ON marks "
                                                        "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
            }
        }
        const QLatin1String save(step.save);
        int rc = -1;
        if (save == QLatin1String("a+b"))
            rc = manager()->questionAnswered(nullptr, &tagged, step.value);
        else if (save == QLatin1String("-"))
            rc = manager()->questionAnswered(nullptr, &plain, step.value);
        else if (save == QLatin1String("mark"))
            rc = manager()->activityFinished(nullptr, activity("b1"), step.value, -1, false);
        else
            rc = manager()->saveUnsaved();
        EXPECT_EQ(rc, step.rc);
        QStringList answers;
        for (const QString& row : rows("SELECT substr(variant, 10), correctness FROM answers "
                                       "WHERE variant LIKE 'g1/s2/b1@%' ORDER BY id"))
            answers << row.section('|', 0, 0) + '@' + row.section('|', 1);
        EXPECT_EQ(answers.join(' '), QLatin1String(step.answers));
        EXPECT_EQ(rows("SELECT mark FROM marks WHERE path = 'g1/s2/b1' ORDER BY id").join(' '), QLatin1String(step.marks));
        EXPECT_EQ(manager()->unsavedCount(), step.kept);
        EXPECT_EQ(manager()->pendingRecords().refusedCount(), step.setAside);
        EXPECT_EQ(AssertRecorder::count(), 0) << AssertRecorder::expressions().join(',').toStdString();
    }
    ASSERT_TRUE(sqlRun(manager()->m_dbPath, "DROP TRIGGER IF EXISTS refuse"));
    ASSERT_TRUE(sqlRun(manager()->m_dbPath, "DROP TRIGGER IF EXISTS refuse_mark"));
    // rows saved later carry the time they were made, in the form SQLite writes and the statistics read
    EXPECT_EQ(rows("SELECT count(*) FROM (SELECT timestamp FROM answers UNION ALL SELECT timestamp FROM marks) "
                   "WHERE timestamp NOT GLOB '20[0-9][0-9]-[01][0-9]-[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9]' "
                   "OR datetime(timestamp) > datetime('now', 'localtime')"),
              QStringList{"0"});
}

// Another program holding the file: a short hold is waited out; past the wait the answers are
// kept, and while it still holds, a later save waits once, not once per row.
TEST_F(Manager, LockedFileIsWaitedForAndPastTheWaitAnswersAreKeptWaitingOnce)
{
    LmsQuestion question(activity("c1"));
    question.setTagList(QStringList{"x", "y"});
    Database* db = manager()->mp_database;
    const struct { const char* name; int holdMs; int saves; int rc; int keptAfter; int atLeastMs; } rows_[] = {
        {"released within the wait", 600, 1, 0, 0, 500},
        {"held past the wait: each save waits once", 2500, 2, 200, 4, 1600},
    };
    int stored = 0;
    for (const auto& r : rows_) {
        SCOPED_TRACE(r.name);
        Watchdog watchdog(20000, r.name);  // a wait without end would hang here
        WaitCounter counter(800);
        sqlite3_busy_handler(db->getDb(), &WaitCounter::handler, &counter);
        HeldLock lock(manager()->m_dbPath, r.holdMs);
        ASSERT_TRUE(lock.taken());
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < r.saves; ++i)
            EXPECT_EQ(manager()->questionAnswered(nullptr, &question, 0.5), r.rc);
        EXPECT_GE(timer.elapsed(), r.atLeastMs);
        EXPECT_EQ(counter.waits, r.saves);
        EXPECT_EQ(manager()->unsavedCount(), r.keptAfter);
        stored += r.rc == 0 ? 2 : 0;
    }
    db->setBusyTimeout(Database::DefaultBusyTimeoutMs);
    // once the other program is done, everything kept goes in at the next save
    EXPECT_EQ(manager()->saveUnsaved(), 0);
    stored += 4;
    EXPECT_EQ(rows("SELECT count(*) FROM answers WHERE variant LIKE 'g2/s3/c1@%'"), QStringList{QString::number(stored)});
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("kept for the next save (the database is in use by another program)")));
    EXPECT_EQ(AssertRecorder::count(), 0);
}

// The end of an activity: its mark carries the gain in rating measured after the answers kept
// before it were saved, and the rating stored with it is that same measure.
TEST_F(Manager, TheGainOfAnActivityIsMeasuredAfterTheKeptAnswersAreSaved)
{
    Database* db = manager()->mp_database;
    db->setBusyTimeout(800);
    LmsQuestion question(activity("c1"));
    question.setTagList(QStringList{"gain"});
    int start = -1;
    ASSERT_TRUE(manager()->currentRating(start));
    {
        HeldLock lock(manager()->m_dbPath, 1200);
        ASSERT_TRUE(lock.taken());
        EXPECT_EQ(manager()->questionAnswered(nullptr, &question, 1.0), 200);  // kept past the wait
    }
    EXPECT_EQ(manager()->unsavedCount(), 1);
    EXPECT_EQ(manager()->activityFinished(nullptr, activity("c1"), 0.9, start, false), 0);
    int now = -1;
    ASSERT_TRUE(manager()->currentRating(now));
    // a new variant answered 1.0 over the course's four question activities
    EXPECT_EQ(now - start, 250);
    EXPECT_EQ(rows("SELECT mark, ratingDelta FROM marks WHERE path = 'g2/s3/c1' ORDER BY id DESC LIMIT 1"),
              QStringList{QStringLiteral("0.9|250")});
    EXPECT_EQ(rows("SELECT rating, practice FROM ratings ORDER BY id DESC LIMIT 1"),
              QStringList{QStringLiteral("%1|0").arg(now)});

    // held: both wait, measured when they are saved; a run without a known start stores no gain
    {
        HeldLock lock(manager()->m_dbPath, -1);
        EXPECT_EQ(manager()->activityFinished(nullptr, activity("c1"), 0.5, -1, true), 200);
        EXPECT_FALSE(manager()->currentRating(now));
        EXPECT_EQ(now, -1);
    }
    EXPECT_EQ(manager()->unsavedCount(), 2);
    EXPECT_EQ(manager()->saveUnsaved(), 0);
    EXPECT_EQ(rows("SELECT mark, ratingDelta FROM marks WHERE path = 'g2/s3/c1' ORDER BY id DESC LIMIT 1"),
              QStringList{QStringLiteral("0.5|0")});
    EXPECT_EQ(rows("SELECT practice FROM ratings ORDER BY id DESC LIMIT 1"), QStringList{"1"});
    EXPECT_EQ(AssertRecorder::count(), 0);
    db->setBusyTimeout(Database::DefaultBusyTimeoutMs);
}

// What an earlier run kept in its file is saved at login, before the states are read, and counted;
// what the database refuses for good is not counted as saved.
TEST_F(Manager, RecordsAnEarlierRunKeptAreSavedFirstAtLoginAndCounted)
{
    const QString file = manager()->getDataPath() + QStringLiteral("/Brisola.unsaved.json");
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write("{\"records\": ["
              "{\"kind\": \"answer\", \"user\": 1, \"time\": \"2026-01-02T03:04:05.000\", "
              "\"variant\": \"g1/s1/q2@kept\", \"value\": 0.5},"
              "{\"kind\": \"answer\", \"user\": 1, \"time\": \"2026-01-02T03:04:05.500\", "
              "\"variant\": \"g1/s1/q2@refused\", \"value\": 0.5},"
              "{\"kind\": \"states\", \"user\": 1, \"time\": \"2026-01-02T03:04:06.000\", "
              "\"states\": [{\"path\": \"g1/s1/q2\", \"state\": \"ABORTED\", \"select\": false}]},"
              "{\"kind\": \"answer\", \"user\": 1, \"time\": \"2026-01-02T03:04:06.500\", "
              "\"variant\": \"g1/s1/q2@earlier\", \"value\": 0.5, \"id\": \"done-1\"}]}");
    out.close();
    // saved by a start that ended before it removed the file: not saved again, nor counted so
    sqlRun(manager()->m_dbPath, "CREATE TABLE IF NOT EXISTS kept_saved (id TEXT PRIMARY KEY) WITHOUT ROWID; "
                                 "INSERT INTO kept_saved VALUES ('done-1')");
    // and the file an earlier version kept in the temporary folder, at its own name
    const QString older = manager()->getTempPath() + QStringLiteral("/Brisola-%1.unsaved.json").arg(::geteuid());
    QFile olderOut(older);
    ASSERT_TRUE(olderOut.open(QIODevice::WriteOnly));
    ASSERT_TRUE(olderOut.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    olderOut.write("{\"records\": [{\"kind\": \"answer\", \"user\": 1, \"time\": \"2026-01-02T03:04:07.000\", "
                   "\"variant\": \"g1/s1/q2@older\", \"value\": 0.25}]}");
    olderOut.close();
    sqlRun(manager()->m_dbPath, "CREATE TRIGGER refuseKept BEFORE INSERT ON answers WHEN NEW.variant = "
                                 "'g1/s1/q2@refused' BEGIN SELECT RAISE(ABORT, 'refused'); END");
    const int before = manager()->recoveredCount();
    const int savedBefore = manager()->recoveredSavedCount();
    const int refusedBefore = manager()->recoveredRefusedCount();
    EXPECT_EQ(manager()->logout(), 0);
    EXPECT_EQ(manager()->login(QStringLiteral("user"), QStringLiteral("quillfen"), nullptr), 0);
    sqlRun(manager()->m_dbPath, "DROP TRIGGER refuseKept");
    EXPECT_EQ(manager()->recoveredCount() - before, 4);
    EXPECT_EQ(manager()->recoveredSavedCount() - savedBefore, 3);
    EXPECT_EQ(manager()->recoveredRefusedCount() - refusedBefore, 1);
    EXPECT_EQ(rows("SELECT timestamp, correctness FROM answers WHERE variant = 'g1/s1/q2@kept'"),
              QStringList{"2026-01-02 03:04:05|0.5"});
    EXPECT_EQ(FrameworkModel::getInstance()->getElementState((*g_course)["q2"]), ElementState::ABORTED);
    EXPECT_EQ(rows("SELECT correctness FROM answers WHERE variant = 'g1/s1/q2@older'"), QStringList{"0.25"});
    EXPECT_EQ(rows("SELECT count(*) FROM answers WHERE variant = 'g1/s1/q2@earlier'"), QStringList{"0"});
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_FALSE(QFile::exists(older));
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral(
        "recovered 5 records an earlier run could not save: 3 saved now, 1 saved by an earlier start, 1 refused, "
        "0 still kept")));
    EXPECT_EQ(manager()->unsavedCount(), 0);
}

TEST_F(Manager, QuestionWithoutActivityIsNotRecorded)
{
    EXPECT_EQ(manager()->questionAnswered(nullptr, nullptr, 1.0), 200);
    LmsQuestion orphan;
    EXPECT_EQ(manager()->questionAnswered(nullptr, &orphan, 1.0), 200);
    EXPECT_EQ(AssertRecorder::expressions(), QStringList{"lmsQuestion"});
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("the question has no activity")));
    EXPECT_EQ(manager()->unsavedCount(), 0);
}

TEST_F(Manager, ModuleCompletionStatsOfTheSessionUser)
{
    ASSERT_EQ(FrameworkModel::getInstance()->setElementState((*g_course)["b1"], ElementState::COMPLETED), 0);
    StatisticsEngine::ModuleCompletionStats stats;
    EXPECT_EQ(manager()->mp_statisticsEngine->getModuleCompletionStats(stats), 0);
    EXPECT_EQ(stats.count, 10);  // the course and its nine elements
    EXPECT_GE(stats.completionTimes.size(), 2u);  // b1 and its subject s2 at least
    EXPECT_TRUE(std::is_sorted(stats.completionTimes.begin(), stats.completionTimes.end()));

    StatisticsEngine::CourseProgressStatistics progress;
    EXPECT_EQ(manager()->mp_statisticsEngine->getCourseProgressStatistics(QStringLiteral("user"), 0, 0, progress), 0);
    EXPECT_EQ(progress.completions.size(), static_cast<int>(stats.completionTimes.size()));
    EXPECT_DOUBLE_EQ(progress.completed, progress.completions.size() / 10.0);
}

}  // namespace
