#include "app/facades/QmlFacadePractice.h"

#include "app/facades/PracticeGroup.h"
#include "app/facades/PracticeGroupModel.h"
#include "app/facades/PracticeItem.h"
#include "app/facades/QmlFacadeCourseItem.h"
#include "app/facades/QmlFacadeQuestionContext.h"
#include "app/facades/QmlGlobals.h"
#include "debug/Debugging.h"
#include "framework/Database.h"
#include "framework/FrameworkManager.h"
#include "framework/FrameworkModel.h"
#include "framework/StatisticsEngine.h"
#include "lms/LmsCourse.h"
#include "lms/LmsExerciseActivity.h"
#include "lms/LmsQuestion.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <chrono>

using edufrmwk::Database;
using edufrmwk::FrameworkManager;
using edufrmwk::FrameworkModel;
using edufrmwk::StatisticsEngine;

namespace {

const char* const Channel = "qml-practice";

const char* boolText(bool value)
{
    return value ? "true" : "false";
}

// "Exercise: Pitch Singing 2" -> "Pitch Singing", with the renamings the screens expect.
QString practiceItemName(const QString& activityName)
{
    static const QRegularExpression prefix(QStringLiteral("^Exercise:\\s+"));
    static const QRegularExpression number(QStringLiteral("\\s+\\d$"));
    QString name = activityName;
    name.remove(prefix);
    name.remove(number);
    if (name == QLatin1String("Rhythm Sight Tapping"))
        return QStringLiteral("Rhythm Tapping");
    if (name == QLatin1String("Harmonic Interval Recognition"))
        return QStringLiteral("Harmonic Intervals");
    return name;
}

// Every variant key of the activity: its path with each own tag of each question (one empty tag
// for a question without own tags).
QStringList variantKeys(const LmsQuestionActivity* activity)
{
    const QString path = activity->getNormalizedElementPath();
    QStringList keys;
    for (const LmsQuestion* question : activity->getQuestionList().getQuestions()) {
        QStringList tags = question->getTagList(false);
        if (tags.isEmpty())
            tags << QString();
        for (const QString& tag : qAsConst(tags)) {
            const QString key = path + QLatin1Char('@') + tag;
            if (!keys.contains(key))
                keys << key;
        }
    }
    return keys;
}

}  // namespace

QmlFacadePractice::QmlFacadePractice(QObject* parent)
    : QObject(parent)
    , mp_model(nullptr)
    , mp_activity(nullptr)
    , m_totalSessions(0)
    , m_totalSkillPoints(0)
    , m_random(static_cast<std::mt19937::result_type>(
          std::chrono::steady_clock::now().time_since_epoch().count()))
{
    // Outside the course tree: no module owns it, and it lives as long as the facade's item.
    auto* practice = new LmsQuestionActivity(QStringLiteral("#practice#"), QStringLiteral("#practice#"), nullptr);
    new ElementState(practice);
    mp_activity = new QmlFacadeCourseItem(practice, nullptr);
    mp_model = new PracticeGroupModel();
}

QmlFacadePractice::~QmlFacadePractice()
{
    qDeleteAll(m_groups);
    delete mp_model;
    // the practice activity and its item belong to no course tree: this facade made them
    LmsElement* practice = mp_activity ? mp_activity->element() : nullptr;
    delete mp_activity;
    delete practice;
}

int QmlFacadePractice::lastPracticePoints() const
{
    return static_cast<int>(mp_activity->questionContext()->ratingDelta());
}

PracticeGroup* QmlFacadePractice::findGroup(const QString& name)
{
    for (PracticeGroup* walk : qAsConst(m_groups)) {
        BRISOLA_ASSERT(walk != NULL);
        if (walk && walk->name() == name)
            return walk;
    }
    auto* group = new PracticeGroup(name, nullptr);
    m_groups.append(group);
    return group;
}

void QmlFacadePractice::reset()
{
    for (PracticeGroup* walk : qAsConst(m_groups)) {
        BRISOLA_ASSERT(walk != NULL);
        if (walk)
            walk->reset();
    }
}

int QmlFacadePractice::getTotalSelectedItems() const
{
    int total = 0;
    for (const PracticeGroup* group : m_groups) {
        BRISOLA_ASSERT(group != NULL);
        if (!group)
            continue;
        for (const PracticeItem* item : group->items()) {
            BRISOLA_ASSERT(item != NULL);
            if (item && item->selected())
                ++total;
        }
    }
    return total;
}

void QmlFacadePractice::load(QString targetGrade, int count, bool selectRecommended)
{
    LOG_ENTRY(Channel);
    FrameworkManager* manager = FrameworkManager::getInstance();
    FrameworkModel* frameworkModel = FrameworkModel::getInstance();
    LmsCourse* course = frameworkModel->getCourse();
    StatisticsEngine* engine = manager->mp_statisticsEngine;

    // The item models keep only guarded pointers to these items, so rows still shown by QML
    // until the model is rebuilt write into nothing.
    qDeleteAll(m_groups);
    m_groups.clear();

    // Unreadable records (another program holding the file) leave the lists without recommendations
    // and progress, with a line that says why.
    QmlGlobals* globals = QmlGlobals::getInstance();
    bool read = !globals->recordsJustFailed();
    QList<StatisticsEngine::Recommendation> recommendations;
    if (engine && read)
        read = engine->getQuestionRecommendations(recommendations, count);
    for (const StatisticsEngine::Recommendation& recommendation : qAsConst(recommendations))
        LOG_DEBUG(Channel, "loaded recommendation %s (count=%d)", recommendation.variant.flatten().toUtf8().constData(),
                  recommendation.count);

    QList<LmsExerciseActivity*> exercises;
    if (course)
        course->findElementsByType(exercises);
    bool targetGradeSeen = false;
    for (LmsExerciseActivity* activity : qAsConst(exercises)) {
        LmsModuleElement* subject = activity->getParentModule();
        if (!subject || subject->getDepth() != 3)
            continue;
        PracticeGroup* group = findGroup(subject->getName());
        const bool locked = frameworkModel->getElementState(subject) == ElementState::LOCKED;
        if (locked)
            LOG_TRACE(Channel, "locked module %s", subject->getNormalizedElementPath().toUtf8().constData());

        const LmsModuleElement* grade = subject->getParentModule();
        const QString gradeName = grade ? grade->getName() : QString();
        if (gradeName == targetGrade) {
            targetGradeSeen = true;
        } else if (targetGradeSeen) {
            LOG_DEBUG(Channel, "target grade reached, stopping.");
            continue;
        }

        PracticeItem* item = group->findItem(practiceItemName(activity->getName()));
        if (item->activities().isEmpty())
            item->setLocked(locked);
        item->setGradeName(gradeName);
        if (!locked) {
            const QString path = activity->getNormalizedElementPath();
            for (const StatisticsEngine::Recommendation& recommendation : qAsConst(recommendations)) {
                if (recommendation.variant.path == path && selectRecommended)
                    item->setSelected(true);
            }
        }
        item->appendActivity(activity);
        LOG_DEBUG(Channel, "added practice item: %s - %s (recommended: %s)\n", gradeName.toUtf8().constData(),
                  item->name().toUtf8().constData(), boolText(item->selected()));
    }

    QMap<QString, double> means;
    if (engine && read)
        read = engine->getAverageVariantOutcomes(means);
    globals->recordsRead(read);
    LOG_DEBUG(Channel, "practice item hierarchy");
    for (PracticeGroup* group : qAsConst(m_groups)) {
        for (PracticeItem* item : group->items()) {
            LOG_TRACE(Channel, "  %s", item->name().toUtf8().constData());
            double sum = 0.0;
            int n = 0;
            for (const LmsExerciseActivity* activity : item->activities()) {
                LOG_DEBUG(Channel, "    %s", activity->getPath().toUtf8().constData());
                for (const QString& key : variantKeys(activity)) {
                    LOG_DEBUG(Channel, "      %s", key.toUtf8().constData());
                    sum += means.value(key, 0.0);
                    ++n;
                }
            }
            if (n > 0)
                item->setProgress(sum / n);
        }
    }

    findGroup(QStringLiteral("Rhythm"))
        ->reoderItems({"Beat Tapping", "Note Tapping", "Rhythm Tapping", "Rhythm Imitation", "Meter Recognition"});
    findGroup(QStringLiteral("Melody"))
        ->reoderItems({"Pitch Comparison", "Pitch Singing", "Motion Recognition", "Scale Recognition", "Scale Singing",
                       "Interval Recognition", "Interval Singing", "Harmonic Intervals", "Sight Singing",
                       "Melody Imitation"});
    findGroup(QStringLiteral("Harmony"))
        ->reoderItems({"Arpeggio Singing", "Chord Recognition", "Inversion Recognition", "Cadence Recognition",
                       "Chord Progressions"});

    dumpModel();
    buildRoleItemModel();
    emit modelChanged();
    updateStats();
}

void QmlFacadePractice::buildRoleItemModel()
{
    mp_model->clearGroups();
    for (PracticeGroup* group : qAsConst(m_groups))
        mp_model->addPracticeGroup(group);
    emit mp_model->lengthChanged();
}

void QmlFacadePractice::dumpModel() const
{
    LOG_TRACE(Channel, "dumping practice model");
    for (const PracticeGroup* group : m_groups) {
        if (!group)
            continue;
        for (const PracticeItem* item : group->items()) {
            if (!item)
                continue;
            LOG_TRACE(Channel, " %-10s | %s | %-20s  (activityCount: %d ; isSelected: %s)",
                      group->name().toUtf8().constData(), item->gradeName().toUtf8().constData(),
                      item->name().toUtf8().constData(), item->activities().size(), boolText(item->selected()));
        }
    }
}

void QmlFacadePractice::updateStats()
{
    LOG_ENTRY(Channel);
    QList<Database::Rating> rows;
    Database* db = FrameworkManager::getInstance()->mp_database;
    QmlGlobals* globals = QmlGlobals::getInstance();
    const bool skipped = globals->recordsJustFailed();
    const int ret = !skipped && db ? db->getRatings(rows) : edufrmwk::RC_DB_ERROR;
    // Another program holding the file past the wait: the totals of what was read, and a line.
    const bool passing = skipped || (ret != 0 && db && db->lastFailureIsTransient());
    globals->recordsRead(!passing);
    if (!passing)
        BRISOLA_ASSERT(ret == 0);
    m_totalSessions = 0;
    m_totalSkillPoints = 0;
    std::reverse(rows.begin(), rows.end());
    if (!rows.isEmpty()) {
        m_totalSkillPoints = rows.first().rating;
        bool dateTaken = false;
        for (const Database::Rating& row : qAsConst(rows)) {
            if (!row.practice)
                continue;
            ++m_totalSessions;
            if (!dateTaken) {
                m_lastPracticeDate = row.timestamp.date();
                dateTaken = true;
            }
        }
    }
    emit statsChanged();
}
