#include "app/facades/QmlFacadeStats.h"

#include "app/facades/QmlGlobals.h"

#include "debug/Debugging.h"
#include "exercise/RoleItemModel.h"
#include "framework/Database.h"
#include "framework/FrameworkManager.h"
#include "framework/FrameworkModel.h"
#include "framework/StatisticsEngine.h"
#include "framework/UserSession.h"
#include "lms/LmsCourse.h"

#include <QStandardItem>

using edufrmwk::Database;
using edufrmwk::FrameworkManager;
using edufrmwk::FrameworkModel;

namespace {

const char* const Channel = "qml-stats";

QHash<int, QByteArray> statsRoles()
{
    return {{QmlFacadeStats::TimestampRole, "timestamp"},
            {QmlFacadeStats::GradeRole, "grade"},
            {QmlFacadeStats::SubjectRole, "subject"},
            {QmlFacadeStats::ValueRole, "value"}};
}

}  // namespace

QmlFacadeStats::QmlFacadeStats(QObject* parent)
    : QObject(parent)
    , mp_progress(new RoleItemModel(statsRoles()))
    , mp_skills(new RoleItemModel(statsRoles()))
    , mp_quizMarks(new RoleItemModel(statsRoles()))
    , mp_examMarks(new RoleItemModel(statsRoles()))
{
}

// The models have no parent (QML would otherwise see them as children of the facade); the facade owns them.
QmlFacadeStats::~QmlFacadeStats()
{
    delete mp_progress;
    delete mp_skills;
    delete mp_quizMarks;
    delete mp_examMarks;
}

RoleItemModel* QmlFacadeStats::progress()
{
    QList<Database::Rating> ratings;
    Database* db = FrameworkManager::getInstance()->mp_database;
    QmlGlobals* globals = QmlGlobals::getInstance();
    const bool skipped = globals->recordsJustFailed();
    const int ret = !skipped && db ? db->getRatings(ratings) : edufrmwk::RC_DB_ERROR;
    // Another program holding the file past the wait: an empty plot and a line that says why.
    const bool passing = skipped || (ret != 0 && db && db->lastFailureIsTransient());
    globals->recordsRead(!passing);
    if (!passing)
        BRISOLA_ASSERT(ret == 0);
    LOG_TRACE(Channel, "progress record count: %d", ratings.size());
    for (int i = 0; i < ratings.size(); ++i)
        LOG_TRACE(Channel, "rating %d: %d", i, ratings.at(i).rating);

    mp_progress->clear();
    auto* first = new QStandardItem();
    first->setData(0, TimestampRole);
    first->setData(0, ValueRole);
    mp_progress->appendRow(first);
    for (int i = 0; i < ratings.size(); ++i) {
        auto* row = new QStandardItem();
        row->setData(i + 1, TimestampRole);
        row->setData(ratings.at(i).rating, ValueRole);
        mp_progress->appendRow(row);
    }
    emit mp_progress->lengthChanged();
    return mp_progress;
}

RoleItemModel* QmlFacadeStats::skills()
{
    QMap<QString, int> ratings;
    if (edufrmwk::StatisticsEngine* engine = FrameworkManager::getInstance()->mp_statisticsEngine) {
        QmlGlobals* globals = QmlGlobals::getInstance();
        globals->recordsRead(!globals->recordsJustFailed() && engine->getSubjectSkillRatings(ratings));
    }
    LOG_TRACE(Channel, "skill record count: %d", ratings.size());

    mp_skills->clear();
    for (const char* subject : {"Rhythm", "Melody", "Harmony"}) {
        auto* row = new QStandardItem();
        row->setData(QString::fromLatin1(subject), SubjectRole);
        row->setData(ratings.value(QString::fromLatin1(subject), 0), ValueRole);
        mp_skills->appendRow(row);
    }
    emit mp_skills->lengthChanged();
    return mp_skills;
}

RoleItemModel* QmlFacadeStats::quizMarks()
{
    fillMarks(mp_quizMarks, "%/%/quiz", "quiz record count: %d", true);
    return mp_quizMarks;
}

RoleItemModel* QmlFacadeStats::examMarks()
{
    fillMarks(mp_examMarks, "%/exam", "test record count: %d", false);
    return mp_examMarks;
}

void QmlFacadeStats::fillMarks(RoleItemModel* model, const char* pattern, const char* countFormat, bool withSubject)
{
    FrameworkModel* frameworkModel = FrameworkModel::getInstance();
    const edufrmwk::UserSession* session = frameworkModel->getUserSession();
    Database* db = FrameworkManager::getInstance()->mp_database;
    QList<Database::Mark> marks;
    QmlGlobals* globals = QmlGlobals::getInstance();
    const bool skipped = globals->recordsJustFailed();
    const int rc = !skipped && db && session
        ? db->getMarks(session->getUserId(), marks, QString::fromLatin1(pattern), false, -1)
        : edufrmwk::RC_DB_ERROR;
    const bool passing = skipped || (rc != 0 && db && db->lastFailureIsTransient());
    globals->recordsRead(!passing);
    if (!passing)
        BRISOLA_ASSERT(rc == 0);
    LOG_TRACE(Channel, countFormat, marks.size());

    model->clear();
    model->appendRow(new QStandardItem());
    LmsCourse* course = frameworkModel->getCourse();
    for (const Database::Mark& mark : qAsConst(marks)) {
        const QByteArray path = mark.path.toUtf8();
        LmsElement* element = course ? course->findElementByNormalizedPath(mark.path) : nullptr;
        if (!element) {
            LOG_WARN(Channel, "could not find element %s", path.constData());
            continue;
        }
        const LmsModuleElement* parent = element->getParentModule();
        if (!parent) {
            LOG_WARN(Channel, "no parent element for %s", path.constData());
            continue;
        }
        const LmsModuleElement* grandParent = parent->getParentModule();
        if (withSubject && !grandParent) {
            LOG_WARN(Channel, "no grandparent element for %s", path.constData());
            continue;
        }
        auto* row = new QStandardItem();
        row->setData(mark.timestamp.toString(QStringLiteral("yyyy/MM/dd hh:mm")), TimestampRole);
        if (withSubject) {
            row->setData(grandParent->getName(), GradeRole);
            row->setData(parent->getName(), SubjectRole);
        } else {
            row->setData(parent->getName(), GradeRole);
        }
        // Truncated toward zero; the nudge keeps a stored 0.57 at 57 instead of 56.99999.
        const double scaled = mark.mark * 100.0;
        row->setData(static_cast<int>(scaled + (scaled < 0.0 ? -1e-9 : 1e-9)), ValueRole);
        model->appendRow(row);
    }
    emit model->lengthChanged();
}

void QmlFacadeStats::update(RoleItemModel* model)
{
    if (model == mp_progress)
        emit progressChanged();
    else if (model == mp_skills)
        emit skillsChanged();
    else if (model == mp_quizMarks)
        emit quizMarksChanged();
    else if (model == mp_examMarks)
        emit examMarksChanged();
}
