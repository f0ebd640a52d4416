#pragma once

#include "framework/PendingRecords.h"

#include <QString>
#include <QStringList>

class LmsCourse;
class LmsQuestion;
class LmsQuestionActivity;

namespace edufrmwk {

class Database;
class FrameworkModel;
class StatisticsEngine;
class UserInfo;
class UserSession;

// Entry point of the learner framework: data directory, log file, database, statistics engine,
// the local account's login, and the recording of answers and marks. Main thread only.
// The facades reach the database, engine and model through the public members.
class FrameworkManager {
public:
    static FrameworkManager* getInstance();

    int initialize(const QString& appName, const QString& version);
    int loadCourse(LmsCourse* course, int = 0);
    int login(const QString& name, const QString& credential, UserSession** session);
    int logout();

    int createUser(const UserInfo* info);
    int removeUser(const UserInfo* info);
    int updateUser(const UserInfo* info);

    // One answers row per own tag of the question (one with the empty tag when it has none).
    // A row that cannot be saved is kept for a later save (see PendingRecords), never dropped.
    int questionAnswered(UserSession* session, const LmsQuestion* question, double correctness);
    // The mark is stored as -1 when the attempt was aborted; kept for later like an answer.
    int activityCompleted(UserSession* session, const LmsQuestionActivity* activity, double mark, int ratingDelta,
                          bool aborted);
    // Answers and marks not saved yet.
    int unsavedCount() const { return m_pending.count(); }
    // Tries the kept answers and marks once more (at exit); logs what is lost when that fails too.
    int saveUnsaved();

    void setSplashPageText(const QString&) {}
    void displaySplashPage() {}
    int startGUI() { return 0; }
    void terminate();


    const QString& getAppName() const { return m_appName; }
    const QString& getVersion() const { return m_version; }
    const QString& getAppPath() const { return m_appPath; }
    const QString& getDataPath() const { return m_dataPath; }
    const QString& getTempPath() const { return m_tempPath; }

    FrameworkModel* mp_frameworkModel;
    QString m_dbPath;
    Database* mp_database;
    StatisticsEngine* mp_statisticsEngine;

private:
    FrameworkManager();
    // The account of a recording: the given session, else the logged-in one.
    UserSession* sessionFor(UserSession* session) const;

    QString m_appName;
    QString m_version;
    QString m_appPath;
    QString m_dataPath;
    QString m_tempPath;
    PendingRecords m_pending;

public:
    QString m_helpUrl;
};

}  // namespace edufrmwk
