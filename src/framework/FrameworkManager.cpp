#include "framework/FrameworkManager.h"

#include "debug/Debugging.h"
#include "framework/Database.h"
#include "framework/FrameworkModel.h"
#include "framework/StatisticsEngine.h"
#include "framework/UserSession.h"
#include "lms/LmsQuestion.h"
#include "lms/LmsQuestionActivity.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QStandardPaths>

#include <algorithm>
#include <cstring>

#include <unistd.h>

namespace edufrmwk {

FrameworkManager* FrameworkManager::getInstance()
{
    static FrameworkManager* const instance = new FrameworkManager();
    return instance;
}

FrameworkManager::FrameworkManager()
    : mp_frameworkModel(nullptr)
    , mp_database(nullptr)
    , mp_statisticsEngine(nullptr)
{
}

int FrameworkManager::initialize(const QString& appName, const QString& version)
{
    m_appName = appName;
    m_version = version;
    // The data location depends on the name, so it is set first.
    QCoreApplication::setApplicationName(appName);
    QCoreApplication::setApplicationVersion(version);

    m_dataPath = QStandardPaths::writableLocation(QStandardPaths::DataLocation);
    BRISOLA_ASSERT_MSG(m_dataPath.length(), "could not create data directory path.");
    if (!QDir(m_dataPath).exists())
        BRISOLA_ASSERT_MSG(QDir::root().mkpath(m_dataPath), "could not create data directory.");

    Debugging::initialize();
    Debugging::enableFileLogging(m_dataPath + QDir::separator() + m_appName + QStringLiteral(".log"));
    Debugging::applyLoggingOptions(QCoreApplication::arguments());

    LOG_INFO("fmwk", "initializing framework...");
    setSplashPageText(QStringLiteral("Initializing database..."));
    m_dbPath = m_dataPath + QDir::separator() + appName + QStringLiteral(".db");
    mp_database = new Database();
    int rc = mp_database->initialize(m_dbPath);
    if (rc != RC_OK)
        return rc;

    setSplashPageText(QStringLiteral("Initializing statistics..."));
    mp_statisticsEngine = new StatisticsEngine();
    rc = mp_statisticsEngine->initialize(mp_database);
    if (rc != RC_OK)
        return rc;

    m_appPath = QCoreApplication::applicationDirPath();
    m_tempPath = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    BRISOLA_ASSERT(QDir(m_appPath).exists());
    BRISOLA_ASSERT(QDir(m_tempPath).exists());

    // Records that cannot be saved wait beside the database; when the data folder takes nothing,
    // in a folder only the learner can use: their own one in the temporary folder (kept there
    // across a logout), made under a name no one knows beforehand, so that no one can take it
    // first; else the runtime folder. A later start finds it by its name, and tells it from what
    // others put at such names by its owner and mode; and it takes the file an earlier version
    // kept there, when it is the learner's own.
    const QString fallback = QStringLiteral("%1-%2").arg(appName).arg(geteuid());
    const QDir temp(m_tempPath);
    QStringList keptFolders{m_dataPath};
    for (const QString& name : temp.entryList({fallback, fallback + QStringLiteral(".??????")},
                                              QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot
                                                  | QDir::CaseSensitive,
                                              QDir::Name))
        keptFolders << temp.filePath(name);
    keptFolders << temp.filePath(fallback + QStringLiteral(".XXXXXX"));
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        keptFolders << runtime;
    m_pending.setFolders(keptFolders, appName, {temp.filePath(fallback + QStringLiteral(".unsaved.json"))});
    // The fatal report's Close ends the program: what waits to be saved gets its last try first.
    Debugging::setExitHook([] { FrameworkManager::getInstance()->saveUnsaved(); });
    m_pending.setRatingSource(
        [this](SkillRating& rating) { return mp_statisticsEngine && mp_statisticsEngine->readSkillRating(rating); });
    QDir::setCurrent(m_appPath);

    LOG_INFO("fmwk", "framework initialized");
    LOG_INFO("fmwk", "application name: %s", appName.toLocal8Bit().constData());
    LOG_INFO("fmwk", "application path: %s", m_appPath.toLocal8Bit().constData());
    LOG_INFO("fmwk", "data location: %s", m_dataPath.toLocal8Bit().constData());
    LOG_INFO("fmwk", "temp location: %s", m_tempPath.toLocal8Bit().constData());

    mp_frameworkModel = FrameworkModel::getInstance();
    return RC_OK;
}

int FrameworkManager::loadCourse(LmsCourse* course, int)
{
    FrameworkModel::getInstance()->setCourse(course);
    return RC_OK;
}

int FrameworkManager::login(const QString& name, const QString& credential, UserSession** session)
{
    if (name.isEmpty() || credential.isEmpty())
        return RC_EMPTY_CREDENTIALS;
    FrameworkModel* model = FrameworkModel::getInstance();
    if (model->getUserSession())
        return RC_USER_LOOKUP_FAILED;
    BRISOLA_ASSERT(mp_database);
    if (!mp_database)
        return RC_USER_LOOKUP_FAILED;

    UserInfo* userInfo = nullptr;
    const int rc = mp_database->getUser(name, &userInfo);
    if (rc != RC_OK)
        return rc;
    // Stored texts are UTF-8, so the credential is compared in the same encoding, byte for byte.
    if (std::strcmp(credential.toUtf8().constData(), userInfo->getPassword()) != 0) {
        delete userInfo;
        return RC_USER_LOOKUP_FAILED;
    }

    auto* newSession = new UserSession(userInfo);
    if (session)
        *session = newSession;
    // What an earlier run could not save goes in first: the states read at login include it.
    recoverKept();
    model->setUserSession(newSession);
    return RC_OK;
}

void FrameworkManager::recoverKept()
{
    QElapsedTimer clock;
    clock.start();
    // The splash screen stays alive through a long recovery: between its transactions, and
    // between the records of a large file as they are checked.
    m_pending.setPause([] { QCoreApplication::processEvents(); });
    const int refusedBefore = m_pending.refusedCount();
    const int earlierBefore = m_pending.savedEarlierCount();
    const int found = m_pending.load(mp_database);
    if (found > 0)
        m_pending.saveKept(mp_database);
    m_pending.setPause(nullptr);
    if (found == 0)
        return;
    const int kept = std::min(found, m_pending.count());
    const int refused = std::min(found - kept, m_pending.refusedCount() - refusedBefore);
    // Saved by a start that ended before it removed their file: not news of this one.
    const int earlier = std::min(found - kept - refused, m_pending.savedEarlierCount() - earlierBefore);
    m_recovered += found - earlier;
    m_recoveredSaved += found - kept - refused - earlier;
    m_recoveredRefused += refused;
    LOG_INFO("fmwk",
             "recovered %d records an earlier run could not save: %d saved now, %d saved by an earlier start, "
             "%d refused, %d still kept (%lld ms)",
             found, found - kept - refused - earlier, earlier, refused, m_pending.count(),
             static_cast<long long>(clock.elapsed()));
}

int FrameworkManager::logout()
{
    FrameworkModel* model = FrameworkModel::getInstance();
    model->setUserSession(nullptr);
    model->setCurrentModule(nullptr);
    model->setCurrentActivity(nullptr);
    return RC_OK;
}

int FrameworkManager::createUser(const UserInfo* info)
{
    BRISOLA_ASSERT(mp_database);
    return mp_database ? mp_database->createUser(info) : RC_DB_ERROR;
}

int FrameworkManager::removeUser(const UserInfo* info)
{
    BRISOLA_ASSERT(mp_database);
    return mp_database ? mp_database->removeUser(info) : RC_DB_ERROR;
}

int FrameworkManager::updateUser(const UserInfo* info)
{
    BRISOLA_ASSERT(mp_database);
    return mp_database ? mp_database->updateUser(info) : RC_DB_ERROR;
}

UserSession* FrameworkManager::sessionFor(UserSession* session) const
{
    return session ? session : FrameworkModel::getInstance()->getUserSession();
}

UserSession* FrameworkManager::markRecorder(UserSession* session, const LmsQuestionActivity* activity) const
{
    UserSession* account = sessionFor(session);
    if (account && activity && mp_database)
        return account;
    LOG_ERROR("fmwk", "mark not recorded: %s", !account ? "nobody is logged in"
                                              : !activity ? "no activity"
                                                          : "no database");
    return nullptr;
}

int FrameworkManager::questionAnswered(UserSession* session, const LmsQuestion* lmsQuestion, double correctness)
{
    BRISOLA_ASSERT(lmsQuestion);
    if (!lmsQuestion)
        return RC_DB_ERROR;
    UserSession* account = sessionFor(session);
    const LmsQuestionActivity* activity = lmsQuestion->getActivity();
    if (!account || !activity || !mp_database) {
        LOG_ERROR("fmwk", "answer not recorded: %s", !account ? "nobody is logged in"
                                                    : !activity ? "the question has no activity"
                                                                : "no database");
        return RC_DB_ERROR;
    }

    const QString path = activity->getNormalizedElementPath();
    QStringList tags = lmsQuestion->getTagList(false);
    if (tags.isEmpty())
        tags << QString();
    QList<PendingRecords::Record> rows;
    for (const QString& tag : qAsConst(tags))
        rows << PendingRecords::answer(account->getUserId(), Database::QuestionVariant(path, tag), correctness);
    // No fatal report: the learner goes on, and the screen tells that the answer waits.
    if (m_pending.save(mp_database, rows) != PendingRecords::Saved) {
        LOG_ERROR("fmwk", "answer of %s not saved yet", path.toUtf8().constData());
        return RC_DB_ERROR;
    }
    return RC_OK;
}

int FrameworkManager::runStarted(qint64& run)
{
    static qint64 lastRun = 0;
    run = 0;
    UserSession* account = sessionFor(nullptr);
    if (!mp_database || !mp_statisticsEngine || !account)
        return -1;
    // The start is measured behind what waits, in one pass: a held file is waited for once.
    run = std::max(lastRun + 1, QDateTime::currentMSecsSinceEpoch());
    lastRun = run;
    m_pending.save(mp_database, {PendingRecords::runStart(account->getUserId(), run)});
    int rating = -1;
    if (m_pending.runStartRating(run, rating))
        return rating;
    LOG_WARN("fmwk", "the rating this run starts from is measured once the records that wait are saved");
    return -1;
}

int FrameworkManager::activityFinished(UserSession* session, const LmsQuestionActivity* activity, double mark,
                                       int startRating, bool practice, qint64 run)
{
    UserSession* account = markRecorder(session, activity);
    if (!account)
        return RC_DB_ERROR;
    const QString path = activity->getNormalizedElementPath();
    const int user = account->getUserId();
    // Both are measured as they are saved, behind the kept answers: in one pass, so that a file
    // held by another program is waited for once.
    PendingRecords::Record markRecord = PendingRecords::markMeasuredAtSave(user, path, mark, startRating);
    markRecord.run = run;
    const PendingRecords::Outcome outcome =
        m_pending.save(mp_database, {markRecord, PendingRecords::ratingMeasuredAtSave(user, practice)});
    if (outcome != PendingRecords::Saved) {
        LOG_ERROR("fmwk", "mark and rating of %s not saved yet", path.toUtf8().constData());
        return RC_DB_ERROR;
    }
    return RC_OK;
}

bool FrameworkManager::currentRating(int& rating)
{
    rating = -1;
    if (!mp_statisticsEngine)
        return false;
    // The kept answers count: the rating is read once they are in the file.
    m_pending.saveKept(mp_database);
    if (m_pending.count() > 0) {
        LOG_WARN("fmwk", "skill rating not read: %d records wait to be saved", m_pending.count());
        return false;
    }
    bool ok = false;
    const int value = mp_statisticsEngine->getSkillRating(&ok);
    if (ok)
        rating = value;
    return ok;
}

int FrameworkManager::saveUnsaved()
{
    if (m_pending.count() == 0)
        return RC_OK;
    m_pending.saveKept(mp_database);
    if (m_pending.count() == 0)
        return RC_OK;
    // Records still in a file (this run's, or the one of the run they came from) wait for the next start.
    const int lost = m_pending.unfiledCount();
    const int kept = m_pending.count() - lost;
    if (lost > 0)
        LOG_ERROR("fmwk", "%d records could not be saved and no file takes them: they are lost", lost);
    const QByteArray file = m_pending.keptIn().toUtf8();
    if (kept > 0)
        LOG_ERROR("fmwk", "%d records could not be saved; kept in %s for the next start", kept,
                  file.isEmpty() ? "the files that already hold them" : file.constData());
    return RC_DB_ERROR;
}

void FrameworkManager::terminate()
{
    BRISOLA_ASSERT_MSG(0, "deprecated");
}

}  // namespace edufrmwk
