// The learner database file: schema as stored, default accounts, the query layer and damaged files.
#include "FrameworkFixtures.h"
#include "HeldLock.h"

#include "debug/Debugging.h"
#include "support/Watchdog.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <unistd.h>

using edufrmwk::Database;

namespace {

// Each statement as SQLite keeps it in sqlite_master: the text without "IF NOT EXISTS".
const char* const g_expectedTables[][2] = {
    {"users", "CREATE TABLE users (id INTEGER PRIMARY KEY, name VARCHAR(32) UNIQUE NOT NULL, password VARCHAR(32) "
              "NOT NULL DEFAULT 'quillfen', admin BOOLEAN DEFAULT 'false')"},
    {"user_properties",
     "CREATE TABLE user_properties (id INTEGER PRIMARY KEY, name VARCHAR(32) NOT NULL, value VARCHAR(32) DEFAULT "
     "NULL, user_id INTEGER NOT NULL REFERENCES users (id)   ON DELETE CASCADE,CONSTRAINT userValue UNIQUE (name, "
     "user_id))"},
    {"user_sessions", "CREATE TABLE user_sessions (id INTEGER PRIMARY KEY, user_id INTEGER NOT NULL REFERENCES users "
                      "(id)   ON DELETE CASCADE, start_time INTEGER DEFAULT 0, end_time INTEGER DEFAULT 0)"},
    {"element_state",
     "CREATE TABLE element_state (id INTEGER PRIMARY KEY, path VARCHAR(32) NOT NULL, user_id INTEGER NOT NULL "
     "REFERENCES users (id)   ON DELETE CASCADE, completed_ts DATETIME, state VARCHAR(32), selected BOOLEAN DEFAULT "
     "'false', CONSTRAINT userModule UNIQUE (path, user_id))"},
    {"answers", "CREATE TABLE answers (id INTEGER PRIMARY KEY, user_id INTEGER NOT NULL REFERENCES users (id)   ON "
                "DELETE CASCADE, variant VARCHAR(32) NOT NULL, timestamp DATETIME NOT NULL, correctness DOUBLE NOT "
                "NULL)"},
    {"marks", "CREATE TABLE marks (id INTEGER PRIMARY KEY,user_id INTEGER NOT NULL REFERENCES users (id), path "
              "VARCHAR(32) NOT NULL, mark DOUBLE NOT NULL, ratingDelta INTEGER DEFAULT 0, timestamp DATETIME NOT "
              "NULL)"},
    {"ratings", "CREATE TABLE ratings (id INTEGER PRIMARY KEY, user_id INTEGER NOT NULL REFERENCES users (id)   ON "
                "DELETE CASCADE, timestamp DATETIME NOT NULL, rating INTEGER DEFAULT 0, practice BOOLEAN DEFAULT "
                "'false')"},
    {"settings", "CREATE TABLE settings (name VARCHAR(128) PRIMARY KEY, value VARCHAR(128) NOT NULL)"},
};

QByteArray readAll(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class DatabaseFile : public DatabaseFolder {};

TEST_F(DatabaseFile, FreshFileHoldsExactlyTheSchemaAndTheTwoAccountsAndASecondStartChangesNothing)
{
    {
        Database db;
        ASSERT_EQ(db.initialize(m_file), 0);
    }
    QStringList expected;
    for (const auto& table : g_expectedTables)
        expected << QStringLiteral("table|%1|%2").arg(QLatin1String(table[0]), QLatin1String(table[1]));
    // Indexes SQLite makes for UNIQUE constraints are its own; everything else must be ours.
    EXPECT_EQ(rows("SELECT type, name, sql FROM sqlite_master WHERE name NOT LIKE 'sqlite_autoindex%' ORDER BY rowid"),
              expected);
    const QStringList users = rows("SELECT id, name, password, admin FROM users ORDER BY id");
    ASSERT_EQ(users.size(), 2);
    EXPECT_EQ(users[0], QStringLiteral("1|user|quillfen|false"));
    EXPECT_TRUE(QRegExp(QStringLiteral("2\\|admin\\|[a-z]{5}\\|true")).exactMatch(users[1])) << users[1].toStdString();

    const QStringList before = rows("SELECT * FROM sqlite_master") + users;
    Database db;
    EXPECT_EQ(db.initialize(m_file), 0);
    EXPECT_EQ(rows("SELECT * FROM sqlite_master") + rows("SELECT id, name, password, admin FROM users ORDER BY id"),
              before);
    EXPECT_EQ(AssertRecorder::count(), 0);
}

TEST_F(DatabaseFile, UnopenableFileIsRefusedAndNamesAreUtf8)
{
    Database db;
    db.closeDb();
    db.closeDb();
    EXPECT_EQ(db.initialize(m_dir.filePath(QStringLiteral("no/such/dir/x.db"))), 202);
    EXPECT_EQ(db.getDb(), nullptr);
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("cannot open")));
    const QString file = m_dir.filePath(QStringLiteral("Lern\u00e4rt \u266b.db"));
    ASSERT_EQ(db.initialize(file), 0);
    EXPECT_EQ(sqlRows(file, "SELECT name FROM users ORDER BY id"), (QStringList{"user", "admin"}));
}

TEST_F(DatabaseFile, UnusableFilesAreRefusedAtOpenAndLeftAlone)
{
    const char* const cases[][2] = {
        {"junk", "file is not a database"}, {"damaged page", "the file is damaged"}, {"read-only", "the file is read-only"}};
    for (int i = 0; i < 3; ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c[0]);
        const QString file = m_dir.filePath(QLatin1String(c[0]) + ".db");
        {
            Database db;
            ASSERT_EQ(db.initialize(file), 0);
        }
        ASSERT_TRUE(sqlRun(file, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
                                 "INSERT INTO answers (user_id, variant, timestamp, correctness) "
                                 "SELECT 1, 'g/s/a' || i || '@t', '2026-12-01T10:00:00', 0.5 FROM n"));
        QFile f(file);
        if (i == 2) {
            // The superuser ignores permission bits; the immutable attribute holds for it too.
            ASSERT_TRUE(geteuid() == 0 ? QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), file}) == 0
                                       : f.setPermissions(QFile::ReadOwner));
        } else {
            // The whole file, or its last page (a leaf of the answers).
            ASSERT_TRUE(f.open(QIODevice::ReadWrite));
            const qint64 from = i == 0 ? 0 : f.size() - 4096;
            ASSERT_TRUE(f.seek(from));
            ASSERT_EQ(f.write(QByteArray(f.size() - from, '\x5a')), f.size() - from);
            f.close();
        }
        const QByteArray before = readAll(file);
        LogCapture::instance().clear();
        Database db;
        EXPECT_EQ(db.initialize(file), 202);
        EXPECT_EQ(db.getDb(), nullptr);
        EXPECT_TRUE(LogCapture::instance().contains(QLatin1String(c[1])));
        EXPECT_EQ(readAll(file), before);
        if (geteuid() == 0)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), file});
    }
}

// Another program writing the file at start: waited for, and when it holds on past the wait the
// file is called in use (never damaged) and left as it was.
TEST_F(DatabaseFile, LockAtOpenIsWaitedForThenCalledInUseNotDamaged)
{
    const struct { const char* name; int holdMs; int waitMs; int rc; int atLeastMs; int belowMs; const char* failure; } rows[] = {
        {"released within the default wait", 3000, Database::DefaultBusyTimeoutMs, 0, 2800, 4800, ""},
        {"held past the wait", -1, 1000, 202, 900, 3000, "the database is in use by another program"},
    };
    {
        Database db;
        ASSERT_EQ(db.initialize(m_file), 0);
    }
    const QByteArray before = readAll(m_file);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        LogCapture::instance().clear();
        // a wait without end would hang here
        Watchdog watchdog(20000, r.name);
        HeldLock lock(m_file, r.holdMs);
        ASSERT_TRUE(lock.taken());
        Database db;
        db.setBusyTimeout(r.waitMs);
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(db.initialize(m_file), r.rc);
        EXPECT_GE(timer.elapsed(), r.atLeastMs);
        EXPECT_LT(timer.elapsed(), r.belowMs);
        EXPECT_EQ(db.openFailure(), QLatin1String(r.failure));
        EXPECT_EQ(LogCapture::instance().linesContaining(QStringLiteral("cannot open")).filter(QLatin1String(r.failure)).size(),
                  r.rc != 0 ? 1 : 0);
        EXPECT_FALSE(LogCapture::instance().contains(QStringLiteral("damaged")));
    }
    EXPECT_EQ(readAll(m_file), before);
}

TEST_F(OpenDatabase, FailedStatementHasNoRowsAndLogsStatementAndError)
{
    Debugging::setLoggingLevel(QsLogging::TraceLevel);
    Database::Query q(&m_db);
    // The first statement delivers a row before the second fails.
    q.exec("SELECT '%q' AS v; SELECT * FROM no_such_table", "50% o'clock");
    EXPECT_FALSE(q.isOK());
    EXPECT_EQ(q.numRows(), 0UL);
    EXPECT_STREQ(q.getError(), "no such table: no_such_table");
    q.exec("SELECT 2 AS two");
    Debugging::setLoggingLevel(QsLogging::InfoLevel);
    EXPECT_STREQ(q.getError(), "OK");  // the previous error is discarded
    // A failed statement at WARN with its error, a good one at TRACE, on fmwk-db.
    QStringList lines = LogCapture::instance().lines();
    lines.replaceInStrings(QRegularExpression(QStringLiteral(" [\\d:.]{12} ")), QStringLiteral(" "));
    EXPECT_EQ(lines, (QStringList{" WARN fmwk-db    SELECT '50% o''clock' AS v; SELECT * FROM no_such_table ",
                                  "ERROR fmwk-db    db error: no such table: no_such_table ",
                                  "TRACE fmwk-db    SELECT 2 AS two "}));
    QString value;
    EXPECT_FALSE(q.getValue(1, "two", value));  // a row out of range is an assertion
    EXPECT_EQ(AssertRecorder::expressions(), QStringList{"row < m_results.size()"});
}

}  // namespace
