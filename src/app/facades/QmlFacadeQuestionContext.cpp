#include "app/facades/QmlFacadeQuestionContext.h"

#include "app/facades/QmlFacadeCourseItem.h"
#include "app/facades/QmlGlobals.h"
#include "debug/Debugging.h"
#include "framework/Database.h"
#include "framework/FrameworkManager.h"
#include "framework/FrameworkModel.h"
#include "framework/StatisticsEngine.h"
#include "framework/UserSession.h"
#include "lms/LmsQuestion.h"
#include "lms/LmsQuestionActivity.h"
#include "lms/LmsQuestionAssociation.h"
#include "lms/LmsQuestionFilter.h"

#include <QDir>

using edufrmwk::Database;
using edufrmwk::FrameworkManager;
using edufrmwk::FrameworkModel;

namespace {

const char* const Channel = "qml-course";


}  // namespace

QmlFacadeQuestionContext::QmlFacadeQuestionContext(QmlFacadeCourseItem* item)
    : QObject(item)
    , mp_item(item)
    , mp_activity(item ? dynamic_cast<LmsQuestionActivity*>(item->element()) : nullptr)
    , m_startRating(0)
{
}

bool QmlFacadeQuestionContext::hasActivity(const char* operation) const
{
    if (mp_activity)
        return true;
    LOG_WARN(Channel, "%s: %s has no questions (not a question activity)", operation,
             mp_item ? mp_item->name().toUtf8().constData() : "(no item)");
    return false;
}

bool QmlFacadeQuestionContext::validIndex(int idx) const
{
    if (idx >= 0 && idx < m_questionList.count())
        return true;
    BRISOLA_ASSERT(idx < m_questionList.count());
    if (idx < 0)
        BRISOLA_ASSERT(idx >= 0);
    return false;
}

void QmlFacadeQuestionContext::load()
{
    LOG_ENTRY(Channel);
    m_questionList.clear();
    if (!hasActivity("load"))
        return;
    const QList<LmsQuestionAssociation*>& associations = mp_activity->getAssociationList().getAssociations();
    for (int i = 0; i < associations.size(); ++i) {
        LmsQuestionActivity* source = associations.at(i)->getSource();
        const LmsQuestionFilter* filter = associations.at(i)->getFilter();
        BRISOLA_ASSERT(source);
        BRISOLA_ASSERT(filter);
        if (!source || !filter)
            continue;
        const int desiredCount = filter->getCount();
        const QString file = QDir(mp_activity->getFsAbsolutePath()).filePath(QStringLiteral("_metadata.json"));
        // A course file's fault, not the program's: the activity opens with the other associations.
        if (desiredCount <= 0) {
            LOG_WARN(Channel, "an association in %s asks for %d questions of %s; left out", file.toUtf8().constData(),
                     desiredCount, source->getFsRelativePath().toUtf8().constData());
            continue;
        }
        const int matches = source->getMatchesCount(filter);
        LOG_DEBUG(Channel, "   - as.%02d ; count=%02d ; matches=%02d ; src=\"%s\"", i, desiredCount, matches,
                  source->getFsRelativePath().toUtf8().constData());
        // No questions written there (or none with the tags asked for): the same fault, the same way.
        if (matches == 0) {
            LOG_WARN(Channel, "an association in %s asks for %d questions of %s, which has none that match; left out",
                     file.toUtf8().constData(), desiredCount, source->getFsRelativePath().toUtf8().constData());
            continue;
        }
        const QList<LmsQuestion*> questions = source->selectQuestions(filter);
        m_questionList.append(questions);
        if (matches < desiredCount) {
            LOG_WARN(Channel,
                     "could not get enough unique questions from %s (requested=%d matched=%d); inserting duplicates "
                     "to compensate",
                     source->getNormalizedElementName().toUtf8().constData(), desiredCount, matches);
            for (int k = 0; k < desiredCount - matches; ++k)
                m_questionList.append(questions.at(k % questions.size()));
        }
    }
}

void QmlFacadeQuestionContext::start()
{
    LOG_ENTRY(Channel);
    // -1 when the records that wait cannot be saved now: the run's start is then measured in their turn.
    m_startRating = FrameworkManager::getInstance()->runStarted(m_run);
    m_keptMark = -1.0;
    m_keptDelta = -1;
    QmlGlobals::getInstance()->checkUnsaved();
}

QVariantMap QmlFacadeQuestionContext::question(int idx)
{
    LOG_TRACE(Channel, "idx=%d", idx);
    if (!validIndex(idx))
        return QVariantMap();
    const QVariantMap map = m_questionList.at(idx)->getResolvedAttributeMap();
    LOG_TRACE(Channel, "question attribute map count = %d", map.size());
    return map;
}

void QmlFacadeQuestionContext::submitQuestionOutcome(int idx, double mark)
{
    LOG_TRACE(Channel, "%s: idx=%d outcome=%lf", "submitQuestionOutcome", idx, mark);
    if (!validIndex(idx))
        return;
    const int before = unsavedCount();
    FrameworkManager::getInstance()->questionAnswered(FrameworkModel::getInstance()->getUserSession(),
                                                      m_questionList.at(idx), mark);
    notifyUnsavedCount(before);
}

bool QmlFacadeQuestionContext::unsavedInFile() const
{
    return !FrameworkManager::getInstance()->unsavedFile().isEmpty();
}

int QmlFacadeQuestionContext::unsavedCount() const
{
    return FrameworkManager::getInstance()->unsavedCount();
}

void QmlFacadeQuestionContext::notifyUnsavedCount(int before)
{
    if (unsavedCount() != before)
        emit unsavedCountChanged();
    QmlGlobals::getInstance()->checkUnsaved();
}

void QmlFacadeQuestionContext::submitMark(double mark)
{
    LOG_TRACE(Channel, "%s: %lf", "submitMark", mark);
    if (!hasActivity("submitMark"))
        return;
    FrameworkModel* frameworkModel = FrameworkModel::getInstance();
    const int before = unsavedCount();
    // The mark and the new rating; the change is measured once the kept answers are saved.
    const int rc = FrameworkManager::getInstance()->activityFinished(
        frameworkModel->getUserSession(), mp_activity, mark, m_startRating,
        mp_item && mp_item->type() == QmlFacadeCourseItem::Practice, m_run);
    LOG_DEBUG(Channel, "mark %s (rating at start %d)", rc == edufrmwk::RC_OK ? "saved" : "kept", m_startRating);
    // kept: shown from here until saved, its rating change not known before then
    m_keptMark = rc == edufrmwk::RC_OK ? -1.0 : mark;
    m_keptDelta = -1;
    notifyUnsavedCount(before);
    emit markChanged();
}

bool QmlFacadeQuestionContext::latestMark(double& mark, int& ratingDelta)
{
    // This run's mark waits to be saved: the file holds an older one.
    if (m_keptMark >= 0.0 && FrameworkManager::getInstance()->unsavedCount() > 0) {
        mark = m_keptMark;
        ratingDelta = m_keptDelta;
        return true;
    }
    Database* db = FrameworkManager::getInstance()->mp_database;
    const edufrmwk::UserSession* session = FrameworkModel::getInstance()->getUserSession();
    QList<Database::Mark> marks;
    const int rc = db && session ? db->getMarksOfPath(session->getUserId(), marks,
                                                      mp_activity->getNormalizedElementPath(), true, 1)
                                 : edufrmwk::RC_DB_ERROR;
    // Another program holding the file past the wait: no mark to show, and a line that says why.
    const bool passing = rc != 0 && db && db->lastFailureIsTransient();
    QmlGlobals::getInstance()->recordsRead(!passing);
    if (!passing)
        BRISOLA_ASSERT(rc == 0);
    if (rc != 0 || marks.isEmpty())
        return false;
    mark = marks.first().mark;
    ratingDelta = marks.first().ratingDelta;
    return true;
}

double QmlFacadeQuestionContext::mark()
{
    LOG_ENTRY(Channel);
    double value = -1.0;
    int delta = -1;
    if (!hasActivity("mark") || !latestMark(value, delta))
        return -1.0;
    return value;
}

double QmlFacadeQuestionContext::ratingDelta()
{
    double value = -1.0;
    int delta = -1;
    if (!hasActivity("ratingDelta") || !latestMark(value, delta))
        return -1;
    return delta;
}
