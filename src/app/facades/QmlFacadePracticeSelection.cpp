// The practice facade's question selection: the selected items' question variants weighted by
// the learner's past results and drawn by roulette into the practice activity's associations.
#include "app/facades/QmlFacadePractice.h"

#include "app/facades/PracticeGroup.h"
#include "app/facades/PracticeItem.h"
#include "app/facades/QmlFacadeCourseItem.h"
#include "app/facades/QmlFacadeQuestionContext.h"
#include "app/facades/QmlGlobals.h"
#include "debug/Debugging.h"
#include "framework/FrameworkManager.h"
#include "framework/FrameworkModel.h"
#include "framework/StatisticsEngine.h"
#include "lms/LmsExerciseActivity.h"
#include "lms/LmsModuleElement.h"
#include "lms/LmsQuestion.h"
#include "lms/LmsQuestionAssociation.h"
#include "lms/LmsQuestionFilter.h"

#include <QMap>

using edufrmwk::FrameworkManager;
using edufrmwk::FrameworkModel;

namespace {

const char* const Channel = "qml-practice";

enum Reason { Recorded = 10, RecordedFloor = 11, UnansweredInGrade = 20, UnansweredNextGrade = 30 };

struct WeightedQuestionVariantInfo {
    LmsQuestionActivity* activity = nullptr;
    QString tag;
    double weight = 0.0;
};

// The grade whose unanswered variants are offered, and the mean outcome over its variants.
struct GradeProgress {
    const LmsModuleElement* highestEligible = nullptr;
    double sum = 0.0;
    int count = 0;
};

bool directlyFollows(const LmsModuleElement* grade, const LmsModuleElement* previous)
{
    const LmsModuleElement* root = grade->getParentModule();
    if (!root || !previous)
        return false;
    const int index = root->getElementList().indexOf(const_cast<LmsModuleElement*>(grade));
    const int previousIndex = root->getElementList().indexOf(const_cast<LmsModuleElement*>(previous));
    return index >= 0 && previousIndex >= 0 && index == previousIndex + 1;
}

}  // namespace

double QmlFacadePractice::drand(double min, double max)
{
    return (static_cast<double>(m_random()) * (max - min)) / static_cast<double>(std::mt19937::max()) + min;
}

bool QmlFacadePractice::prepare(int count, bool intelligent)
{
    LOG_ENTRY(Channel);
    LOG_TRACE(Channel, "totalQuestionCount=%d intelligent=%d", count, intelligent ? 1 : 0);
    LmsElement* pseudoElement = mp_activity->element();
    BRISOLA_ASSERT(pseudoElement);
    auto* qa = dynamic_cast<LmsQuestionActivity*>(pseudoElement);
    BRISOLA_ASSERT(qa);
    if (!qa)
        return true;
    LmsQuestionActivity::AssociationList& list = qa->getAssociationList();
    list.clear();
    prepareAssociations(count, list);
    dumpAssociations(list);
    mp_activity->questionContext()->load();
    emit activityChanged();
    return true;
}

void QmlFacadePractice::prepareAssociations(int count, LmsQuestionActivity::AssociationList& list)
{
    FrameworkModel* frameworkModel = FrameworkModel::getInstance();
    QMap<QString, double> means;
    if (edufrmwk::StatisticsEngine* engine = FrameworkManager::getInstance()->mp_statisticsEngine) {
        // Unreadable outcomes: the questions are shared out as for a learner without answers.
        QmlGlobals* globals = QmlGlobals::getInstance();
        globals->recordsRead(!globals->recordsJustFailed() && engine->getAverageVariantOutcomes(means));
    }

    const int selectedItemCount = getTotalSelectedItems();
    BRISOLA_ASSERT(selectedItemCount);
    if (selectedItemCount <= 0)
        return;  // nothing to share the questions among
    const int quota = count / selectedItemCount;
    const int rest = count % selectedItemCount;

    for (PracticeGroup* group : qAsConst(m_groups)) {
        BRISOLA_ASSERT(group != NULL);
        if (!group)
            continue;
        QList<PracticeItem*> selected;
        for (PracticeItem* item : group->items()) {
            BRISOLA_ASSERT(item != NULL);
            if (item && item->selected())
                selected << item;
        }
        for (int s = 0; s < selected.size(); ++s) {
            PracticeItem* item = selected.at(s);
            BRISOLA_ASSERT(item->selected());
            int itemQuota = quota + (s == selected.size() - 1 ? rest : 0);

            QMap<QString, WeightedQuestionVariantInfo> candidates;
            double total = 0.0;
            GradeProgress grade;
            const QList<LmsExerciseActivity*>& activities = item->activities();
            const int n = activities.size();
            for (int i = 0; i < n; ++i) {
                LmsExerciseActivity* activity = activities.at(i);
                const QByteArray activityPath = activity->getNormalizedElementPath().toUtf8();
                const LmsModuleElement* subject = activity->getParentModule();
                const LmsModuleElement* g = subject ? subject->getParentModule() : nullptr;
                if (!g)
                    continue;
                if (frameworkModel->getElementState(g) == ElementState::LOCKED) {
                    LOG_INFO(Channel, "skipping locked %s", activityPath.constData());
                    continue;
                }
                LOG_DEBUG(Channel, "evaluating %s", activityPath.constData());
                for (const LmsQuestion* question : activity->getQuestionList().getQuestions()) {
                    QStringList tags = question->getTagList(false);
                    if (tags.isEmpty())
                        tags << QString();
                    for (const QString& tag : qAsConst(tags)) {
                        const QString key = QString::fromUtf8(activityPath) + QLatin1Char('@') + tag;
                        if (candidates.contains(key))
                            continue;
                        double weight = 0.0;
                        int reason = 0;
                        const auto mean = means.constFind(key);
                        if (mean != means.constEnd()) {
                            weight = 1.0 - mean.value();
                            reason = Recorded;
                            if (weight < 0.05 && n - i < 4) {
                                weight = 0.05;
                                reason = RecordedFloor;
                            }
                            grade.count += 1;
                            if (g != grade.highestEligible) {
                                grade.sum = 0.0;
                                grade.count = 1;
                            }
                            grade.sum += mean.value();
                            grade.highestEligible = g;
                        } else if (!grade.highestEligible || g == grade.highestEligible) {
                            grade.highestEligible = g;
                            grade.count += 1;
                            weight = 0.5;
                            reason = UnansweredInGrade;
                        } else {
                            const int highestEligibleGradeAvgOutcomeCount = grade.count;
                            BRISOLA_ASSERT(highestEligibleGradeAvgOutcomeCount);
                            const double gradeMean = grade.count ? grade.sum / grade.count : 0.0;
                            LOG_TRACE(Channel, "highestEligibleGradeAvgOutcome: %.2lf", gradeMean);
                            if (gradeMean < 0.85 || !directlyFollows(g, grade.highestEligible))
                                continue;
                            weight = 0.5;
                            reason = UnansweredNextGrade;
                        }
                        LOG_TRACE(Channel, "added practice candidate: %s (weight=%.2lf; reason=%d)",
                                  key.toUtf8().constData(), weight, reason);
                        WeightedQuestionVariantInfo info;
                        info.activity = activity;
                        info.tag = tag;
                        info.weight = weight;
                        candidates.insert(key, info);
                        total += weight;
                    }
                }
            }

            // No draw could ever succeed: the quota is dropped rather than drawn for ever.
            if (itemQuota > 0 && (candidates.isEmpty() || !(total > 0.0))) {
                LOG_WARN(Channel, "no practice candidates with weight for %s; skipping its %d question(s)",
                         item->name().toUtf8().constData(), itemQuota);
                itemQuota = 0;
            }
            while (itemQuota > 0) {
                double r = drand(0.0, 1.0) * total;
                const WeightedQuestionVariantInfo* drawn = nullptr;
                QString drawnKey;
                for (auto it = candidates.constBegin(); it != candidates.constEnd(); ++it) {
                    r -= it.value().weight;
                    if (r < 0.0) {
                        drawn = &it.value();
                        drawnKey = it.key();
                        break;
                    }
                }
                if (!drawn)
                    continue;  // r landed on the very end: draw again
                auto* filter = new LmsQuestionFilter();
                filter->setTagList(drawn->tag);
                filter->setCount(1);
                const int matches = drawn->activity->getMatchesCount(filter);
                BRISOLA_ASSERT(matches);
                --itemQuota;
                LOG_DEBUG(Channel, " adding %s (%d)", drawnKey.toUtf8().constData(), 1);
                auto* association = new LmsQuestionAssociation();
                association->setSource(drawn->activity);
                association->setFilter(filter);
                list.append(association);
            }
        }
    }
}

void QmlFacadePractice::dumpAssociations(const LmsQuestionActivity::AssociationList& list) const
{
    LOG_TRACE(Channel, "dumping association list");
    for (const LmsQuestionAssociation* association : list.getAssociations()) {
        const LmsQuestionActivity* source = association->getSource();
        const LmsQuestionFilter* filter = association->getFilter();
        LOG_TRACE(Channel, " %s@%s (%d)", source ? source->getNormalizedElementPath().toUtf8().constData() : "",
                  filter ? filter->getTagList().join(QLatin1Char(',')).toUtf8().constData() : "",
                  filter ? filter->getCount() : 0);
    }
}
