#pragma once

#include "framework/DatabaseQuery.h"
#include "framework/ElementState.h"
#include "framework/QuestionVariant.h"
#include "framework/ResultCodes.h"
#include "framework/UserInfo.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>

struct sqlite3;

namespace edufrmwk {

// The learner database: one SQLite file, one method per statement. Main thread only.
// Text values go into statements through "%q" as UTF-8, so quotes, "%" and "_" in them stay plain text.
class Database {
public:
    using Query = DatabaseQuery;
    using QuestionVariant = edufrmwk::QuestionVariant;

    struct Answer {
        QDateTime timestamp;
        double correctness = 0.0;
    };
    struct Mark {
        QDateTime timestamp;
        QString path;
        double mark = 0.0;  // -1 for an aborted attempt
        int ratingDelta = 0;
    };
    struct Rating {
        QDateTime timestamp;
        int rating = 0;
        bool practice = false;
    };
    struct ModuleInfo {
        QString path;
        bool selected = false;
        ElementState::state_e state = ElementState::INVALID;
        QDateTime completionTime;  // invalid when never completed
    };
    struct ModuleStats {
        int completed = 0;
        int total = 0;
    };
    using AnswerMap = QMap<QuestionVariant, QList<Answer>>;

    Database();
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // How long a statement waits for a lock another program holds on the file before it fails.
    static constexpr int DefaultBusyTimeoutMs = 5000;

    int initialize(const QString& dbPath);
    int openDb(const QString& path);
    // For the open connection and the next ones.
    void setBusyTimeout(int ms);
    // Why the last open was refused ("" after a successful one).
    const QString& openFailure() const { return m_openFailure; }
    // The last failed statement found the file locked by another program even after the wait.
    bool lastFailureWasBusy() const;
    // The last statement failed for a reason that passes (the file locked, the disk full, an I/O
    // error), not because the database refused what was asked.
    bool lastFailureIsTransient() const;
    // Told by every statement of its SQLite result code.
    void noteResult(int sqliteCode) { m_lastResult = sqliteCode; }
    int initTables();
    void closeDb();
    void cleanup();
    sqlite3* getDb() const { return mp_db; }

    // Accounts and settings.
    int createUser(const UserInfo* info);
    int getUser(const QString& name, UserInfo** out);
    int updateUser(const UserInfo* info);
    int removeUser(const UserInfo* info);
    int removeAllUsers(bool all);
    int getSetting(const QString& name, QString& value);
    int saveSetting(const QString& name, const QString& value);

    // Progress records. Readers append to what they are given.
    int saveElementState(int userId, const QString& path, ElementState::state_e state);
    // 200 without a log line when the element has no row yet; state unchanged then.
    int getElementState(int userId, const QString& path, ElementState::state_e& state);
    int setSelectedElement(int userId, const QString& path);
    QString getSelectedElement(int userId);
    int saveAnswer(int userId, const QuestionVariant& variant, double correctness);
    // With the time of the answer (a save kept for later keeps its time); invalid means now.
    int saveAnswer(int userId, const QuestionVariant& variant, double correctness, const QDateTime& answeredAt);
    // The newest `limit` answers of every variant (all of them when limit <= 0), newest first, all users.
    // Without timestamps the answers' times stay invalid (reading them is the costly part).
    int getAnswers(AnswerMap& answers, int limit = -1, bool withTimestamps = true);
    // A correctness as getAnswers reads it back once saved: rounded to two decimals as it is stored.
    static double storedCorrectness(double correctness);
    int saveMark(int userId, const QString& path, double mark, int ratingDelta);
    int saveMark(int userId, const QString& path, double mark, int ratingDelta, const QDateTime& markedAt);
    // pattern is an SQL LIKE pattern ("%" any run, "_" any one character), passed as a value.
    int getMarks(int userId, QList<Mark>& marks, const QString& pattern, bool validOnly, int limit);
    // The marks of exactly one path (no wildcards).
    int getMarksOfPath(int userId, QList<Mark>& marks, const QString& path, bool validOnly, int limit);
    int saveRating(int userId, int rating, bool practice);
    int saveRating(int userId, int rating, bool practice, const QDateTime& ratedAt);
    int getRatings(QList<Rating>& ratings);
    int getModuleCompletionStats(int userId, QList<ModuleInfo>& modules);
    int getModuleStats(int userId, ModuleStats& stats);

    // Time stamps as SQLite writes them ("yyyy-MM-dd hh:mm:ss", local time).
    static QDateTime parseTimestamp(const QString& text);
    // The administrator's credential: five letters, assembled here and nowhere stored as one string.
    static QByteArray adminCredential();

private:
    int queryMarks(int userId, QList<Mark>& marks, const char* pathClause, bool validOnly, int limit);
    // The user's element_state rows; a failure is logged under the operation's name; no row is 200.
    int readModuleRows(int userId, QList<ModuleInfo>& modules, const char* operation);

    sqlite3* mp_db;
    int m_busyTimeoutMs = DefaultBusyTimeoutMs;
    int m_lastResult = 0;
    QString m_openFailure;
};

}  // namespace edufrmwk
