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
    // The start of a run of an activity: the skill rating it starts from, read behind the records
    // that wait. When they cannot be saved now, -1 and run names the run's start, which the records
    // measure in their turn for the run's mark.
    int runStarted(qint64& run);
    // The end of a run of an activity: its mark with the change in skill rating since startRating
    // (-1: not known; the start of run measures it, else it is stored as 0), then the new rating,
    // both measured as they are saved, after the kept answers. When they cannot be saved now both
    // are kept. RC_OK when both are stored.
    int activityFinished(UserSession* session, const LmsQuestionActivity* activity, double mark, int startRating,
                         bool practice, qint64 run = 0);
    // The skill rating after the kept answers; false (and -1) when they or the answers cannot be read.
    bool currentRating(int& rating);
    // Answers, marks, ratings and state changes not saved yet.
    int unsavedCount() const { return m_pending.count(); }
    // The file they are kept in until saved; empty when none took them.
    const QString& unsavedFile() const { return m_pending.keptIn(); }
    // Tries the kept records once more (at exit); what still cannot be saved stays in its file.
    int saveUnsaved();
    // Of the records not saved yet, those no file holds: lost when the program ends.
    int unsavedLostCount() const { return m_pending.unfiledCount(); }
    // How many records kept by an earlier run this start found, how many of them it saved and how
    // many the database refused for good.
    int recoveredCount() const { return m_recovered; }
    int recoveredSavedCount() const { return m_recoveredSaved; }
    int recoveredRefusedCount() const { return m_recoveredRefused; }
    PendingRecords& pendingRecords() { return m_pending; }

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
    // The account a mark of activity is recorded for; null, said in the log, when it cannot be.
    UserSession* markRecorder(UserSession* session, const LmsQuestionActivity* activity) const;
    // Takes in and saves what an earlier run kept in its files.
    void recoverKept();

    QString m_appName;
    QString m_version;
    QString m_appPath;
    QString m_dataPath;
    QString m_tempPath;
    PendingRecords m_pending;
    int m_recovered = 0;
    int m_recoveredSaved = 0;
    int m_recoveredRefused = 0;

public:
    QString m_helpUrl;
};

}  // namespace edufrmwk
