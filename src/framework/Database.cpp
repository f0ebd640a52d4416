#include "framework/Database.h"

#include "debug/Debugging.h"
#include "framework/DatabaseTransaction.h"

#include <QHash>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace edufrmwk {

namespace {

const char* const g_schema[] = {
    "PRAGMA foreign_keys = ON",
    "CREATE TABLE IF NOT EXISTS users (id INTEGER PRIMARY KEY, name VARCHAR(32) UNIQUE NOT NULL, password "
    "VARCHAR(32) NOT NULL DEFAULT 'quillfen', admin BOOLEAN DEFAULT 'false')",
    "CREATE TABLE IF NOT EXISTS user_properties (id INTEGER PRIMARY KEY, name VARCHAR(32) NOT NULL, value "
    "VARCHAR(32) DEFAULT NULL, user_id INTEGER NOT NULL REFERENCES users (id)   ON DELETE CASCADE,CONSTRAINT "
    "userValue UNIQUE (name, user_id))",
    "CREATE TABLE IF NOT EXISTS user_sessions (id INTEGER PRIMARY KEY, user_id INTEGER NOT NULL REFERENCES users "
    "(id)   ON DELETE CASCADE, start_time INTEGER DEFAULT 0, end_time INTEGER DEFAULT 0)",
    "CREATE TABLE IF NOT EXISTS element_state (id INTEGER PRIMARY KEY, path VARCHAR(32) NOT NULL, user_id INTEGER "
    "NOT NULL REFERENCES users (id)   ON DELETE CASCADE, completed_ts DATETIME, state VARCHAR(32), selected "
    "BOOLEAN DEFAULT 'false', CONSTRAINT userModule UNIQUE (path, user_id))",
    "CREATE TABLE IF NOT EXISTS answers (id INTEGER PRIMARY KEY, user_id INTEGER NOT NULL REFERENCES users (id)   "
    "ON DELETE CASCADE, variant VARCHAR(32) NOT NULL, timestamp DATETIME NOT NULL, correctness DOUBLE NOT NULL)",
    "CREATE TABLE IF NOT EXISTS marks (id INTEGER PRIMARY KEY,user_id INTEGER NOT NULL REFERENCES users (id), path "
    "VARCHAR(32) NOT NULL, mark DOUBLE NOT NULL, ratingDelta INTEGER DEFAULT 0, timestamp DATETIME NOT NULL)",
    "CREATE TABLE IF NOT EXISTS ratings (id INTEGER PRIMARY KEY, user_id INTEGER NOT NULL REFERENCES users (id)   "
    "ON DELETE CASCADE, timestamp DATETIME NOT NULL, rating INTEGER DEFAULT 0, practice BOOLEAN DEFAULT 'false')",
    "CREATE TABLE IF NOT EXISTS settings (name VARCHAR(128) PRIMARY KEY, value VARCHAR(128) NOT NULL)",
};

const char* boolWord(bool value)
{
    return value ? "true" : "false";
}

int twoDigits(const QChar* p)
{
    return (p[0].unicode() - '0') * 10 + (p[1].unicode() - '0');
}

// The time stamp of a new row as SQL: SQLite's local "now", or the given time in the same form.
QByteArray timeValue(const QDateTime& at)
{
    if (!at.isValid())
        return QByteArrayLiteral("datetime('now', 'localtime')");
    return "'" + at.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toLatin1() + "'";
}

bool isDigitAt(const QString& text, int i)
{
    const ushort c = text.at(i).unicode();
    return c >= '0' && c <= '9';
}

}  // namespace

Database::Database()
    : mp_db(nullptr)
{
}

Database::~Database()
{
    closeDb();
}

void Database::closeDb()
{
    if (mp_db) {
        sqlite3_close(mp_db);
        mp_db = nullptr;
    }
}

void Database::cleanup()
{
    closeDb();
}

QByteArray Database::adminCredential()
{
    // Offsets from 'a', so the word never stands in the program as one string.
    const int offsets[] = {19, 14, 17, 4, 13};
    QByteArray word;
    for (int offset : offsets)
        word.append(static_cast<char>('a' + offset));
    return word;
}

int Database::initialize(const QString& dbPath)
{
    int rc = openDb(dbPath);
    if (rc != RC_OK)
        return rc;
    rc = initTables();
    if (rc != RC_OK)
        return rc;

    // An existing account (204) is no failure.
    UserInfo user(0, "user", "quillfen", UserInfo::User);
    createUser(&user);
    UserInfo admin(0, "admin", adminCredential().constData(), UserInfo::Administrator);
    createUser(&admin);
    return RC_OK;
}

void Database::setBusyTimeout(int ms)
{
    m_busyTimeoutMs = ms;
    if (mp_db)
        sqlite3_busy_timeout(mp_db, ms);
}

bool Database::lastFailureWasBusy() const
{
    const int code = m_lastResult & 0xff;
    return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

bool Database::lastFailureIsTransient() const
{
    switch (m_lastResult & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_NOMEM:
    case SQLITE_READONLY:
    case SQLITE_INTERRUPT:
    case SQLITE_IOERR:
    case SQLITE_FULL:
    case SQLITE_CANTOPEN:
    case SQLITE_PROTOCOL:
        return true;
    default:
        return false;
    }
}

int Database::openDb(const QString& path)
{
    if (mp_db)
        return RC_OK;
    m_openFailure.clear();
    sqlite3* db = nullptr;
    const QByteArray file = path.toUtf8();
    const int rc = sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        LOG_ERROR("fmwk-db", "cannot open %s: %s", file.constData(), db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        // A failed open may still hand out a handle; it must be closed.
        m_openFailure = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        if (db)
            sqlite3_close(db);
        return RC_DB_OPEN_FAILED;
    }
    // Another program writing the file holds it for a moment: wait for it rather than fail.
    sqlite3_busy_timeout(db, m_busyTimeoutMs);
    // Refused here, before anything is written: a file that cannot take the answers would lose
    // them one by one later, and writing into a damaged file spreads the damage.
    const char* refusal = nullptr;
    QByteArray reason;
    if (sqlite3_db_readonly(db, "main") == 1) {
        refusal = "the file is read-only";
    } else {
        sqlite3_stmt* check = nullptr;
        int step = sqlite3_prepare_v2(db, "PRAGMA quick_check(1)", -1, &check, nullptr);
        if (step == SQLITE_OK)
            step = sqlite3_step(check);
        if (step == SQLITE_ROW)
            reason = reinterpret_cast<const char*>(sqlite3_column_text(check, 0));
        else
            reason = sqlite3_errmsg(db);
        sqlite3_finalize(check);
        // Still locked after the wait: the file may be sound, it is only not ours to use now.
        if (step == SQLITE_BUSY || step == SQLITE_LOCKED)
            refusal = "the database is in use by another program";
        else if (reason != "ok")
            refusal = "the file is damaged";
    }
    if (refusal) {
        LOG_ERROR("fmwk-db", "cannot open %s: %s%s%s", file.constData(), refusal, reason.isEmpty() ? "" : ": ",
                  reason.constData());
        m_openFailure = QString::fromLatin1(refusal);
        sqlite3_close(db);
        return RC_DB_OPEN_FAILED;
    }
    mp_db = db;
    return RC_OK;
}

int Database::initTables()
{
    BRISOLA_ASSERT(mp_db);
    if (!mp_db)
        return RC_DB_ERROR;
    Query q(this);
    for (const char* statement : g_schema) {
        q.exec("%s", statement);
        if (!q.isOK())
            return RC_DB_ERROR;
    }
    return RC_OK;
}

// ---- accounts ------------------------------------------------------------------------------------

int Database::createUser(const UserInfo* info)
{
    BRISOLA_ASSERT(mp_db);
    BRISOLA_ASSERT(info && info->getName() && info->getPassword());
    if (!mp_db || !info || !info->getName() || !info->getPassword())
        return RC_DB_ERROR;
    Query q(this);
    q.exec("SELECT id, name, password FROM users WHERE name = '%q'", info->getName());
    if (q.isOK() && q.numRows() > 0)
        return RC_USER_EXISTS;

    q.exec("INSERT INTO users (name, password, admin) VALUES ('%q', '%q', '%q')", info->getName(),
           info->getPassword(), boolWord(info->getType() == UserInfo::Administrator));
    if (!q.isOK()) {
        LOG_ERROR("fmwk-db", "%s: db error - %s", "createUser", q.getError());
        return RC_DB_ERROR;
    }
    return RC_OK;
}

int Database::getUser(const QString& name, UserInfo** out)
{
    BRISOLA_ASSERT(mp_db);
    if (!mp_db)
        return RC_USER_LOOKUP_FAILED;
    Query q(this);
    const QByteArray nameText = name.toUtf8();
    q.exec("SELECT id, name, password, admin FROM users WHERE name ='%q'", nameText.constData());
    if (!q.isOK())
        return RC_USER_LOOKUP_FAILED;
    if (q.numRows() == 0)
        return RC_NO_SUCH_USER;
    BRISOLA_ASSERT(q.numRows() == 1);

    QString idVal, adminVal, nameVal, passwordVal;
    BRISOLA_ASSERT(q.getValue(0, "id", idVal));
    BRISOLA_ASSERT(q.getValue(0, "admin", adminVal));
    BRISOLA_ASSERT(q.getValue(0, "name", nameVal));
    BRISOLA_ASSERT(q.getValue(0, "password", passwordVal));

    const int id = static_cast<int>(std::strtol(idVal.toUtf8().constData(), nullptr, 0));
    auto* info = new UserInfo(id, nameVal.toUtf8().constData(), passwordVal.toUtf8().constData(),
                              adminVal == QLatin1String("true") ? UserInfo::Administrator : UserInfo::User);

    q.exec("SELECT name, value FROM user_properties WHERE user_id = %d", id);
    if (q.isOK()) {
        for (unsigned long row = 0; row < q.numRows(); ++row) {
            QString propName, propValue;
            BRISOLA_ASSERT(q.getValue(row, "name", propName));
            BRISOLA_ASSERT(q.getValue(row, "value", propValue));
            info->setProperty(propName.toUtf8().constData(), propValue.toUtf8().constData());
        }
    }

    if (out)
        *out = info;
    else
        delete info;
    return RC_OK;
}

int Database::updateUser(const UserInfo* info)
{
    BRISOLA_ASSERT(mp_db);
    BRISOLA_ASSERT(info && info->getName());
    BRISOLA_ASSERT(info && info->getPassword());
    if (!mp_db || !info || !info->getName() || !info->getPassword())
        return RC_DB_ERROR;
    Query q(this);
    q.exec("UPDATE users SET admin = '%q', password = '%q' WHERE name = '%q'",
           boolWord(info->getType() == UserInfo::Administrator), info->getPassword(), info->getName());
    if (!q.isOK()) {
        LOG_ERROR("fmwk-db", "%s: db error - %s", "updateUser", q.getError());
        return RC_DB_ERROR;
    }
    return RC_OK;
}

int Database::removeUser(const UserInfo* info)
{
    BRISOLA_ASSERT(mp_db);
    BRISOLA_ASSERT(info && info->getName());
    if (!mp_db || !info || !info->getName())
        return RC_DB_ERROR;
    Query q(this);
    q.exec("DELETE FROM users WHERE name = '%q'", info->getName());
    if (!q.isOK()) {
        LOG_ERROR("fmwk-db", "%s: db error - %s", "removeUser", q.getError());
        return RC_DB_ERROR;
    }
    return RC_OK;
}

int Database::removeAllUsers(bool all)
{
    BRISOLA_ASSERT(mp_db);
    if (!mp_db)
        return RC_DB_ERROR;
    Query q(this);
    q.exec("DELETE FROM users%s", all ? "" : " WHERE admin <> 'true'");
    if (!q.isOK()) {
        LOG_ERROR("fmwk-db", "%s: db error - %s", "removeAllUsers", q.getError());
        return RC_DB_ERROR;
    }
    return RC_OK;
}

// ---- settings ------------------------------------------------------------------------------------

int Database::getSetting(const QString& name, QString& value)
{
    BRISOLA_ASSERT(mp_db);
    if (!mp_db)
        return RC_DB_ERROR;
    Query q(this);
    q.exec("SELECT value FROM settings WHERE name = '%q'", name.toUtf8().constData());
    if (!q.isOK()) {
        LOG_ERROR("fmwk-db", "%s: db error - %s", "getSetting", q.getError());
        return RC_DB_ERROR;
    }
    if (q.numRows() == 0)
        return RC_DB_ERROR;
    QString val;
    BRISOLA_ASSERT(q.getValue(0, "value", val));
    value = val;
    return RC_OK;
}

int Database::saveSetting(const QString& name, const QString& value)
{
    BRISOLA_ASSERT(mp_db);
    if (!mp_db)
        return RC_DB_ERROR;
    const QByteArray nameText = name.toUtf8();
    const QByteArray valueText = value.toUtf8();
    Query q(this);
    q.exec("SELECT value FROM settings WHERE name = '%q'", nameText.constData());
    if (!q.isOK() || q.numRows() == 0) {
        q.exec("INSERT INTO settings (name, value) VALUES ('%q', '%q')", nameText.constData(), valueText.constData());
    } else {
        q.exec("UPDATE settings SET value = '%q' WHERE name = '%q'", valueText.constData(), nameText.constData());
        BRISOLA_ASSERT(q.isOK());
    }
    if (!q.isOK()) {
        LOG_ERROR("fmwk-db", "%s: db error - %s", "saveSetting", q.getError());
        return RC_DB_ERROR;
    }
    return RC_OK;
}

// ---- progress records ----------------------------------------------------------------------------

int Database::saveElementState(int userId, const QString& path, ElementState::state_e state)
{
    BRISOLA_ASSERT(mp_db);
    if (!mp_db)
        return RC_DB_ERROR;
    const QByteArray pathText = path.toUtf8();
    const QByteArray stateName = ElementState::stateToStr(state).toLatin1();
    Query q(this);
    q.exec("SELECT id FROM element_state WHERE path = '%q' AND user_id = %d", pathText.constData(), userId);
    if (!q.isOK()) {
        LOG_ERROR("fmwk-db", "%s: db error - %s", "saveElementState", q.getError());
        return RC_DB_ERROR;
    }
    if (q.numRows() == 0) {
        if (state == ElementState::COMPLETED) {
            q.exec("INSERT INTO element_state (path, user_id, state, completed_ts) VALUES ('%q', %d, '%q', "
                   "datetime('now', 'localtime'))",
                   pathText.constData(), userId, stateName.constData());
        } else {
            q.exec("INSERT INTO element_state (path, user_id, state) VALUES ('%q', %d, '%q')", pathText.constData(),
                   userId, stateName.constData());
        }
    } else {
        BRISOLA_ASSERT(q.numRows() == 1);
        QString idVal;
        BRISOLA_ASSERT(q.getValue(0, "id", idVal));
        const long id = std::strtol(idVal.toUtf8().constData(), nullptr, 0);
        if (state == ElementState::COMPLETED) {
            // An update stamps the completion in UTC (datetime() without 'localtime'), as the file always had it.
            q.exec("UPDATE element_state SET state = '%q', completed_ts=datetime() WHERE id = %ld",
                   stateName.constData(), id);
        } else {
            q.exec("UPDATE element_state SET state = '%q' WHERE id = %ld", stateName.constData(), id);
        }
    }
    if (!q.isOK()) {
        LOG_ERROR("fmwk-db", "%s: db error - %s", "saveElementState", q.getError());
        return RC_DB_ERROR;
    }
    return RC_OK;
}

int Database::getElementState(int userId, const QString& path, ElementState::state_e& state)
{
    BRISOLA_ASSERT(mp_db);
    if (!mp_db)
        return RC_DB_ERROR;
    Query q(this);
    q.exec("SELECT state FROM element_state WHERE path='%q' AND user_id=%d", path.toUtf8().constData(), userId);
    if (!q.isOK()) {
        LOG_ERROR("fmwk-db", "%s: db error - %s", "getElementState", q.getError());
        return RC_DB_ERROR;
    }
    if (q.numRows() == 0)
        return RC_DB_ERROR;
    BRISOLA_ASSERT(q.numRows() == 1);
    QString stateVal;
    BRISOLA_ASSERT(q.getValue(0, "state", stateVal));
    state = ElementState::strToState(stateVal);
    return RC_OK;
}

int Database::setSelectedElement(int userId, const QString& path)
{
    BRISOLA_ASSERT(mp_db);
    if (!mp_db)
        return RC_DB_ERROR;
    // Find the new row before clearing the old selection, and switch inside one transaction,
    // so a missing row or a failure keeps the previous selection.
    DatabaseTransaction transaction(this);
    Query q(this);
    long rowId = -1;
    if (!path.isEmpty()) {
        q.exec("SELECT id FROM element_state WHERE path = '%q' AND user_id = %d", path.toUtf8().constData(),
               userId);
        if (!q.isOK()) {
            LOG_ERROR("fmwk-db", "%s: db error - %s", "setSelectedElement", q.getError());
            return RC_DB_ERROR;
        }
        if (q.numRows() == 0)
            return RC_DB_ERROR;
        BRISOLA_ASSERT(q.numRows() == 1);
        QString idVal;
        BRISOLA_ASSERT(q.getValue(0, "id", idVal));
        rowId = std::strtol(idVal.toUtf8().constData(), nullptr, 0);
    }

    q.exec("UPDATE element_state SET selected = 'false' WHERE user_id = %d", userId);
    if (!q.isOK())
        return RC_DB_ERROR;
    if (rowId >= 0) {
        q.exec("UPDATE element_state SET selected = 'true' WHERE id = %ld", rowId);
        if (!q.isOK()) {
            LOG_ERROR("fmwk-db", "%s: db error - %s", "setSelectedElement", q.getError());
            return RC_DB_ERROR;
        }
    }
    return transaction.commit() ? RC_OK : RC_DB_ERROR;
}

QString Database::getSelectedElement(int userId)
{
    BRISOLA_ASSERT(mp_db);
    if (!mp_db)
        return QString();
    Query q(this);
    q.exec("SELECT path FROM element_state WHERE user_id = %d AND selected = 'true'", userId);
    if (!q.isOK() || q.numRows() == 0)
        return QString();
    BRISOLA_ASSERT(q.numRows() == 1);
    QString path;
    BRISOLA_ASSERT(q.getValue(0, "path", path));
    return path;
}

int Database::saveAnswer(int userId, const QuestionVariant& variant, double correctness)
{
    return saveAnswer(userId, variant, correctness, QDateTime());
}

int Database::saveAnswer(int userId, const QuestionVariant& variant, double correctness, const QDateTime& answeredAt)
{
    BRISOLA_ASSERT(mp_db);
    if (!mp_db)
        return RC_DB_ERROR;
    if (!std::isfinite(correctness)) {
        LOG_ERROR("fmwk-db", "refusing answer of %s: correctness is not a number",
                  variant.flatten().toUtf8().constData());
        return RC_DB_ERROR;
    }
    Query q(this);
    q.exec("INSERT INTO answers (user_id, variant, timestamp, correctness) VALUES (%d, '%q', %s, %.2f)", userId,
           variant.flatten().toUtf8().constData(), timeValue(answeredAt).constData(), correctness);
    if (!q.isOK()) {
        LOG_WARN("fmwk-db", "failed to write answer record.");
        LOG_ERROR("fmwk-db", "%s: db error - %s", "saveAnswer", q.getError());
        return RC_DB_ERROR;
    }
    LOG_DEBUG("fmwk-db", "successfully written answer to disk.");
    return RC_OK;
}

int Database::getAnswers(AnswerMap& answers, int limit, bool withTimestamps)
{
    BRISOLA_ASSERT(mp_db);
    if (!mp_db)
        return RC_DB_ERROR;

    // One pass over the table, newest first, grouped here: the same lists as one query per
    // variant would give, without scanning the table once per variant.
    struct Slot {
        QList<Answer>* list = nullptr;  // null: variant left out
        int taken = 0;
    };
    QHash<QByteArray, Slot> byVariant;
    bool columnsOk = true;
    const Query::RowVisitor visit = [&](int columnCount, char** values, char**) {
        const int expected = withTimestamps ? 3 : 2;
        if (columnCount != expected || !values[0] || !values[columnCount - 1]) {
            columnsOk = false;
            return;
        }
        const QByteArray flat = QByteArray::fromRawData(values[0], static_cast<int>(std::strlen(values[0])));
        auto slot = byVariant.find(flat);
        if (slot == byVariant.end()) {
            Slot created;
            const QString text = QString::fromUtf8(values[0]);
            if (QuestionVariant::isFlattened(text)) {
                created.list = &answers[QuestionVariant(text)];
            } else {
                // Not written by this program; kept in the file, left out of the statistics.
                LOG_WARN("fmwk-db", "skipping answers of variant '%s' without '@'", values[0]);
            }
            slot = byVariant.insert(QByteArray(values[0]), created);
        }
        if (!slot->list || (limit > 0 && slot->taken >= limit))
            return;
        slot->taken += 1;
        Answer answer;
        if (withTimestamps)
            answer.timestamp = parseTimestamp(QString::fromUtf8(values[1]));
        const char* correctness = values[columnCount - 1];
        answer.correctness = QByteArray::fromRawData(correctness, static_cast<int>(std::strlen(correctness))).toDouble();
        slot->list->append(answer);
    };

    Query q(this);
    if (withTimestamps)
        q.execEach(visit, "SELECT variant, timestamp, correctness FROM answers ORDER BY id DESC");
    else
        q.execEach(visit, "SELECT variant, correctness FROM answers ORDER BY id DESC");
    BRISOLA_ASSERT(columnsOk);
    if (!q.isOK()) {
        LOG_ERROR("fmwk-db", "%s: db error - %s", "getAnswers", q.getError());
        return RC_DB_ERROR;
    }
    return RC_OK;
}

double Database::storedCorrectness(double correctness)
{
    // Formatted by SQLite's own printf, as the insert is: its rounding of a half differs from the C library's.
    char text[64];
    sqlite3_snprintf(sizeof text, text, "%.2f", correctness);
    return QByteArray(text).toDouble();
}

int Database::saveMark(int userId, const QString& path, double mark, int ratingDelta)
{
    return saveMark(userId, path, mark, ratingDelta, QDateTime());
}

int Database::saveMark(int userId, const QString& path, double mark, int ratingDelta, const QDateTime& markedAt)
{
    BRISOLA_ASSERT(mp_db);
    if (!mp_db)
        return RC_DB_ERROR;
    if (!std::isfinite(mark)) {
        LOG_ERROR("fmwk-db", "refusing mark of %s: not a number", path.toUtf8().constData());
        return RC_DB_ERROR;
    }
    Query q(this);
    q.exec("INSERT INTO marks (user_id, path, mark, ratingDelta, timestamp) VALUES (%d, '%q', %.2f, %d, %s)", userId,
           path.toUtf8().constData(), mark, ratingDelta, timeValue(markedAt).constData());
    if (!q.isOK()) {
        LOG_WARN("fmwk-db", "failed to write mark record.");
        LOG_ERROR("fmwk-db", "%s: db error - %s", "saveMark", q.getError());
        return RC_DB_ERROR;
    }
    LOG_DEBUG("fmwk-db", "successfully written mark to disk.");
    return RC_OK;
}

int Database::getMarks(int userId, QList<Mark>& marks, const QString& pattern, bool validOnly, int limit)
{
    char* clause = pattern.isEmpty() ? nullptr
                                     : sqlite3_mprintf(" AND path LIKE '%q'", pattern.toUtf8().constData());
    const int rc = queryMarks(userId, marks, clause ? clause : "", validOnly, limit);
    sqlite3_free(clause);
    return rc;
}

int Database::getMarksOfPath(int userId, QList<Mark>& marks, const QString& path, bool validOnly, int limit)
{
    char* clause = sqlite3_mprintf(" AND path = '%q'", path.toUtf8().constData());
    const int rc = queryMarks(userId, marks, clause ? clause : "", validOnly, limit);
    sqlite3_free(clause);
    return rc;
}

int Database::queryMarks(int userId, QList<Mark>& marks, const char* pathClause, bool validOnly, int limit)
{
    BRISOLA_ASSERT(mp_db);
    if (!mp_db)
        return RC_DB_ERROR;
    char* limitClause = limit > 0 ? sqlite3_mprintf(" LIMIT %d", limit) : nullptr;
    Query q(this);
    // The clauses were made by sqlite3_mprintf already; here they are only arguments.
    q.exec("SELECT * FROM marks WHERE user_id=%d%s%s ORDER BY id DESC%s", userId, pathClause,
           validOnly ? " AND mark >= 0" : "", limitClause ? limitClause : "");
    sqlite3_free(limitClause);
    if (!q.isOK()) {
        LOG_ERROR("fmwk-db", "%s: db error - %s", "getMarks", q.getError());
        return RC_DB_ERROR;
    }
    for (unsigned long resultRow = 0; resultRow < q.numRows(); ++resultRow) {
        QString path, mark, ratingDelta, timestamp;
        BRISOLA_ASSERT(q.getValue(resultRow, "path", path));
        BRISOLA_ASSERT(q.getValue(resultRow, "mark", mark));
        BRISOLA_ASSERT(q.getValue(resultRow, "ratingDelta", ratingDelta));
        BRISOLA_ASSERT(q.getValue(resultRow, "timestamp", timestamp));
        Mark m;
        m.timestamp = parseTimestamp(timestamp);
        m.path = path;
        m.mark = mark.toDouble();
        m.ratingDelta = ratingDelta.toInt();
        marks.append(m);
    }
    return RC_OK;
}

int Database::saveRating(int userId, int rating, bool practice)
{
    return saveRating(userId, rating, practice, QDateTime());
}

int Database::saveRating(int userId, int rating, bool practice, const QDateTime& ratedAt)
{
    BRISOLA_ASSERT(mp_db);
    if (!mp_db)
        return RC_DB_ERROR;
    Query q(this);
    q.exec("INSERT INTO ratings (user_id, timestamp, rating, practice) VALUES (%d, %s, %d, %d)", userId,
           timeValue(ratedAt).constData(), rating, practice ? 1 : 0);
    if (!q.isOK()) {
        LOG_DEBUG("fmwk-db", "failed to write rating record.");
        LOG_ERROR("fmwk-db", "%s: db error - %s", "saveRating", q.getError());
        return RC_DB_ERROR;
    }
    LOG_DEBUG("fmwk-db", "successfully written rating to disk.");
    return RC_OK;
}

int Database::getRatings(QList<Rating>& ratings)
{
    BRISOLA_ASSERT(mp_db);
    if (!mp_db)
        return RC_DB_ERROR;
    Query q(this);
    q.exec("SELECT timestamp, rating, practice FROM ratings ORDER BY id");
    if (!q.isOK()) {
        LOG_ERROR("fmwk-db", "%s: db error - %s", "getRatings", q.getError());
        return RC_DB_ERROR;
    }
    for (unsigned long answerRow = 0; answerRow < q.numRows(); ++answerRow) {
        QString timestamp, rating, practice;
        BRISOLA_ASSERT(q.getValue(answerRow, "timestamp", timestamp));
        BRISOLA_ASSERT(q.getValue(answerRow, "rating", rating));
        BRISOLA_ASSERT(q.getValue(answerRow, "practice", practice));
        Rating r;
        r.timestamp = parseTimestamp(timestamp);
        r.rating = rating.toInt();
        r.practice = practice.toInt() != 0;
        ratings.append(r);
    }
    return RC_OK;
}

int Database::getModuleCompletionStats(int userId, QList<ModuleInfo>& modules)
{
    return readModuleRows(userId, modules, "getModuleCompletionStats");
}

int Database::getModuleStats(int userId, ModuleStats& stats)
{
    QList<ModuleInfo> modules;
    const int rc = readModuleRows(userId, modules, "getModuleStats");
    if (rc != RC_OK)
        return rc;
    stats.total = modules.size();
    // The stored names are read without letter case, so "completed" counts as well.
    stats.completed = static_cast<int>(std::count_if(modules.cbegin(), modules.cend(), [](const ModuleInfo& info) {
        return info.state == ElementState::COMPLETED;
    }));
    return RC_OK;
}

int Database::readModuleRows(int userId, QList<ModuleInfo>& modules, const char* operation)
{
    BRISOLA_ASSERT(mp_db);
    if (!mp_db)
        return RC_DB_ERROR;
    Query q(this);
    q.exec("SELECT * FROM element_state WHERE user_id = %d", userId);
    if (!q.isOK()) {
        LOG_ERROR("fmwk-db", "%s: db error - %s", operation, q.getError());
        return RC_DB_ERROR;
    }
    if (q.numRows() == 0)
        return RC_DB_ERROR;
    for (unsigned long resultRow = 0; resultRow < q.numRows(); ++resultRow) {
        QString path, state, selected, completed;
        BRISOLA_ASSERT(q.getValue(resultRow, "path", path));
        BRISOLA_ASSERT(q.getValue(resultRow, "state", state));
        BRISOLA_ASSERT(q.getValue(resultRow, "selected", selected));
        BRISOLA_ASSERT(q.getValue(resultRow, "completed_ts", completed));
        ModuleInfo info;
        info.path = path;
        info.state = ElementState::strToState(state);
        info.selected = selected == QLatin1String("true");
        if (!completed.isEmpty())
            info.completionTime = parseTimestamp(completed);
        modules.append(info);
    }
    return RC_OK;
}

QDateTime Database::parseTimestamp(const QString& text)
{
    // The shape SQLite writes, read without the general format parser (which is slow on large tables).
    if (text.size() == 19 && text.at(4) == QLatin1Char('-') && text.at(7) == QLatin1Char('-')
        && text.at(10) == QLatin1Char(' ') && text.at(13) == QLatin1Char(':') && text.at(16) == QLatin1Char(':')) {
        bool digits = true;
        for (int i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18})
            digits = digits && isDigitAt(text, i);
        if (digits) {
            const QChar* p = text.constData();
            const QDate date(twoDigits(p) * 100 + twoDigits(p + 2), twoDigits(p + 5), twoDigits(p + 8));
            const QTime time(twoDigits(p + 11), twoDigits(p + 14), twoDigits(p + 17));
            if (date.isValid() && time.isValid())
                return QDateTime(date, time, Qt::LocalTime);
        }
    }
    return QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

}  // namespace edufrmwk
