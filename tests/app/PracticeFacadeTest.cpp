// Practice mode over a course of three grades: groups and items from the exercises, their names,
// order, locks, recommendations and progress, and the weighted question selection.
#include "CourseWriter.h"
#include "FacadeEnvironment.h"

#include "app/facades/PracticeGroup.h"
#include "app/facades/PracticeGroupModel.h"
#include "app/facades/PracticeItem.h"
#include "app/facades/PracticeItemModel.h"
#include "app/facades/QmlFacadeCourseItem.h"
#include "app/facades/QmlFacadePractice.h"
#include "app/facades/QmlFacadeQuestionContext.h"
#include "debug/Logger.h"
#include "framework/Database.h"
#include "framework/FrameworkManager.h"
#include "framework/FrameworkModel.h"
#include "framework/SqlPeek.h"
#include "lms/LmsCourse.h"
#include "lms/LmsQuestionAssociation.h"
#include "lms/LmsQuestionFilter.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>

using edufrmwk::Database;
using edufrmwk::FrameworkManager;
using edufrmwk::FrameworkModel;

namespace {

QTemporaryDir* g_courseDir = nullptr;
LmsCourse* g_course = nullptr;
QmlFacadePractice* g_practice = nullptr;

class PracticeEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        g_courseDir = new QTemporaryDir();
        CourseWriter w(g_courseDir->path());
        w.plugins();
        w.module("00_grade_1", "Grade 1");
        w.module("00_grade_1/00_rhythm", "Rhythm");
        w.exercise("00_grade_1/00_rhythm/00_sight", "Exercise: Rhythm Sight Tapping 1", {"r1", "r2"});
        w.exercise("00_grade_1/00_rhythm/01_beat", "Exercise: Beat Tapping 1", {"b"});
        w.exercise("00_grade_1/00_rhythm/02_meter", "Exercise: Meter Recognition 1", {"m"});
        w.exercise("00_grade_1/00_rhythm/03_odd", "Exercise: Odd Drill 1", {"o"});
        w.learning("00_grade_1/00_rhythm/04_read", "Read");
        w.module("00_grade_1/01_melody", "Melody");
        w.exercise("00_grade_1/01_melody/00_pitch", "Exercise: Pitch Singing 1", {"a", "b"});
        w.exercise("00_grade_1/01_melody/01_colon", "Exercise:Pitch Singing", {""});
        w.module("00_grade_1/02_harmony", "Harmony");
        w.exercise("00_grade_1/02_harmony/00_chord", "Exercise: Chord Recognition 1", {"c"});
        w.module("00_grade_1/03_form", "Form");
        w.exercise("00_grade_1/03_form/00_colon", "Exercise:Pitch Singing", {""});
        w.exercise("00_grade_1/03_form/01_twelve", "Pitch Singing 12", {""});
        w.module("01_grade_2", "Grade 2");
        w.module("01_grade_2/00_melody", "Melody");
        w.exercise("01_grade_2/00_melody/00_pitch", "Exercise: Pitch Singing 2", {""});
        w.module("01_grade_2/01_harmony", "Harmony");
        w.exercise("01_grade_2/01_harmony/00_arpeggio", "Exercise: Arpeggio Singing 1", {"p"});
        w.module("02_grade_3", "Grade 3");
        w.module("02_grade_3/00_rhythm", "Rhythm");
        w.exercise("02_grade_3/00_rhythm/00_beat", "Exercise: Beat Tapping 3", {"b3"});
        ASSERT_TRUE(w.ok());
        g_course = startFramework(g_courseDir->path());
        ASSERT_NE(g_course, nullptr);
        QsLogging::Logger::instance().setLoggingLevel(QsLogging::TraceLevel);  // the weights are trace lines
        g_practice = new QmlFacadePractice();
    }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new PracticeEnvironment);

Database* db()
{
    return FrameworkManager::getInstance()->mp_database;
}

void answer(const char* path, const char* tag, double correctness)
{
    db()->saveAnswer(1, Database::QuestionVariant(QString::fromLatin1(path), QString::fromLatin1(tag)), correctness);
}

// "Rhythm: Beat Tapping Rhythm Tapping" per group, items by name, as the QML rows show them.
QStringList modelRows(int role)
{
    QStringList rows;
    PracticeGroupModel* model = g_practice->model();
    for (int g = 0; g < model->rowCount(); ++g) {
        auto* items = model->index(g, 0).data(PracticeGroupModel::ItemModelRole).value<PracticeItemModel*>();
        QStringList texts;
        for (int i = 0; i < items->rowCount(); ++i)
            texts << items->index(i, 0).data(role).toString();
        rows << model->index(g, 0).data(PracticeGroupModel::GroupNameRole).toString() + ": " + texts.join(", ");
    }
    return rows;
}

QModelIndex itemIndex(const QString& group, const QString& name)
{
    PracticeGroupModel* model = g_practice->model();
    for (int g = 0; g < model->rowCount(); ++g) {
        if (model->index(g, 0).data(PracticeGroupModel::GroupNameRole).toString() != group)
            continue;
        auto* items = model->itemModelAt(g);
        for (int i = 0; i < items->rowCount(); ++i)
            if (items->index(i, 0).data(PracticeItemModel::NameRole).toString() == name)
                return items->index(i, 0);
    }
    return QModelIndex();
}

PracticeItem* practiceItem(const QString& group, const QString& name)
{
    const QModelIndex index = itemIndex(group, name);
    return index.isValid() ? static_cast<const PracticeItemModel*>(index.model())->itemAt(index.row()) : nullptr;
}

// Ticks an item the way a QML delegate does.
bool select(const QString& group, const QString& name)
{
    const QModelIndex index = itemIndex(group, name);
    return const_cast<QAbstractItemModel*>(index.model())->setData(index, true, PracticeItemModel::SelectedRole);
}

const QList<LmsQuestionAssociation*>& associations()
{
    return dynamic_cast<LmsQuestionActivity*>(g_practice->activity()->element())->getAssociationList().getAssociations();
}

// Drawn associations per source activity path ("grade_1/rhythm/beat=3").
QMap<QString, int> drawsBySource()
{
    QMap<QString, int> draws;
    for (const LmsQuestionAssociation* association : associations()) {
        EXPECT_EQ(association->getFilter()->getCount(), 1);
        draws[association->getSource()->getNormalizedElementPath() + "@" +
              association->getFilter()->getTagList().join(",")] += 1;
    }
    return draws;
}

class Practice : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(g_practice, nullptr);
        restartProgress();
        AssertRecorder::clear();
        LogCapture::instance().clear();
    }
};

TEST_F(Practice, GroupsGatherRenamedItemsInTheirFixedOrder)
{
    QSignalSpy modelChanged(g_practice, &QmlFacadePractice::modelChanged);
    g_practice->load();
    EXPECT_EQ(modelChanged.count(), 1);
    EXPECT_EQ(modelRows(PracticeItemModel::NameRole),
              (QStringList{"Rhythm: Beat Tapping, Rhythm Tapping, Meter Recognition", "Melody: Pitch Singing",
                           "Harmony: Arpeggio Singing, Chord Recognition",
                           "Form: Exercise:Pitch Singing, Pitch Singing 12"}));
    EXPECT_EQ(modelRows(PracticeItemModel::LockedRole),
              (QStringList{"Rhythm: false, false, false", "Melody: false", "Harmony: true, false", "Form: false, false"}));
    EXPECT_EQ(modelRows(PracticeItemModel::SelectedRole),
              (QStringList{"Rhythm: false, false, false", "Melody: false", "Harmony: false, false", "Form: false, false"}));
    EXPECT_EQ(g_practice->model()->roleNames(),
              (QHash<int, QByteArray>{{257, "groupName"}, {258, "itemModel"}}));
    EXPECT_EQ(g_practice->model()->itemModelAt(0)->roleNames(),
              (QHash<int, QByteArray>{{266, "itemName"}, {267, "itemProgress"}, {268, "itemSelected"}, {269, "itemLocked"}}));

    PracticeItem* beat = practiceItem("Rhythm", "Beat Tapping");
    ASSERT_NE(beat, nullptr);
    EXPECT_EQ(beat->activities().size(), 2);
    EXPECT_EQ(beat->gradeName(), "Grade 3");
    EXPECT_EQ(practiceItem("Melody", "Pitch Singing")->activities().size(), 2);

    LogCapture::instance().clear();
    g_practice->load("Grade 2");  // grade 3 is past the target
    EXPECT_EQ(practiceItem("Rhythm", "Beat Tapping")->activities().size(), 1);
    EXPECT_EQ(practiceItem("Rhythm", "Beat Tapping")->gradeName(), "Grade 1");
    EXPECT_EQ(LogCapture::instance().linesContaining("target grade reached, stopping.").size(), 1);
}

TEST_F(Practice, RecommendedItemsArePreselectedAndProgressIsTheMeanOverVariants)
{
    answer("grade_1/melody/pitch", "a", 0.5);
    answer("grade_2/harmony/arpeggio", "p", 0.5);  // recommended, but its subject is locked
    g_practice->load();
    EXPECT_TRUE(practiceItem("Melody", "Pitch Singing")->selected());
    EXPECT_FALSE(practiceItem("Harmony", "Arpeggio Singing")->selected());
    EXPECT_EQ(g_practice->getTotalSelectedItems(), 1);
    // Three variants: grade 1 with tags a and b, grade 2 without a tag; only the first answered.
    EXPECT_DOUBLE_EQ(practiceItem("Melody", "Pitch Singing")->progress(), 0.5 / 3.0);
    EXPECT_DOUBLE_EQ(itemIndex("Melody", "Pitch Singing").data(PracticeItemModel::ProgressRole).toDouble(), 0.5 / 3.0);
    EXPECT_DOUBLE_EQ(practiceItem("Harmony", "Arpeggio Singing")->progress(), 0.5);

    g_practice->load("", 10, false);
    EXPECT_EQ(g_practice->getTotalSelectedItems(), 0);
}

TEST_F(Practice, QuotasShareTheCountAndEveryGroupsLastItemTakesTheRest)
{
    g_practice->load();
    for (const char* name : {"Beat Tapping", "Rhythm Tapping", "Meter Recognition"})
        ASSERT_TRUE(select("Rhythm", name));
    QSignalSpy activityChanged(g_practice, &QmlFacadePractice::activityChanged);
    EXPECT_TRUE(g_practice->prepare(10, true));
    EXPECT_EQ(activityChanged.count(), 1);
    QMap<QString, int> perActivity;
    const QMap<QString, int> draws = drawsBySource();
    for (auto it = draws.constBegin(); it != draws.constEnd(); ++it)
        perActivity[it.key().section('@', 0, 0)] += it.value();
    EXPECT_EQ(perActivity, (QMap<QString, int>{{"grade_1/rhythm/beat", 3}, {"grade_1/rhythm/sight", 3},
                                                {"grade_1/rhythm/meter", 4}}));
    EXPECT_EQ(g_practice->activity()->questionContext()->count(), 10);

    g_practice->reset();
    ASSERT_TRUE(select("Rhythm", "Beat Tapping"));
    ASSERT_TRUE(select("Melody", "Pitch Singing"));
    ASSERT_TRUE(select("Harmony", "Chord Recognition"));
    g_practice->prepare(10, false);
    EXPECT_EQ(associations().size(), 12);  // 3 + 1 remainder in each of the three groups
    EXPECT_EQ(g_practice->activity()->questionContext()->count(), 12);
    EXPECT_EQ(AssertRecorder::count(), 0);
}

TEST_F(Practice, WeightsFollowResultsAndGrades)
{
    answer("grade_1/melody/pitch", "a", 1.0);
    g_practice->load("", 10, false);
    ASSERT_TRUE(select("Melody", "Pitch Singing"));
    g_practice->prepare(4, false);
    EXPECT_TRUE(LogCapture::instance().contains("added practice candidate: grade_1/melody/pitch@a (weight=0.05; reason=11)"));
    EXPECT_TRUE(LogCapture::instance().contains("added practice candidate: grade_1/melody/pitch@b (weight=0.50; reason=20)"));
    EXPECT_TRUE(LogCapture::instance().contains("skipping locked grade_2/melody/pitch"));

    // Grade 2 open, but grade 1's mean (1.0 and an unanswered 0) is below 0.85: left out.
    FrameworkModel::getInstance()->unlockGrade(dynamic_cast<LmsModuleElement*>(g_course->getElementList().at(1)));
    LogCapture::instance().clear();
    g_practice->prepare(4, false);
    EXPECT_TRUE(LogCapture::instance().contains("highestEligibleGradeAvgOutcome: 0.50"));
    EXPECT_FALSE(LogCapture::instance().contains("added practice candidate: grade_2"));

    answer("grade_1/melody/pitch", "b", 0.8);  // mean 0.9: the next grade's unanswered variant joins
    LogCapture::instance().clear();
    g_practice->prepare(4, false);
    EXPECT_TRUE(LogCapture::instance().contains("added practice candidate: grade_1/melody/pitch@b (weight=0.20; reason=10)"));
    EXPECT_TRUE(LogCapture::instance().contains("added practice candidate: grade_2/melody/pitch@ (weight=0.50; reason=30)"));
}

TEST_F(Practice, SeededDrawsFollowTheWeights)
{
    answer("grade_1/melody/pitch", "a", 1.0);
    answer("grade_1/melody/pitch", "b", 0.8);
    FrameworkModel::getInstance()->unlockGrade(dynamic_cast<LmsModuleElement*>(g_course->getElementList().at(1)));
    g_practice->load("", 10, false);
    ASSERT_TRUE(select("Melody", "Pitch Singing"));

    const int draws = 3000;
    g_practice->setRandomSeed(7);
    g_practice->prepare(draws, false);
    const QMap<QString, int> first = drawsBySource();
    // Weights 0.05, 0.2 and 0.5 of 0.75.
    EXPECT_NEAR(first.value("grade_1/melody/pitch@a") / double(draws), 0.05 / 0.75, 0.02);
    EXPECT_NEAR(first.value("grade_1/melody/pitch@b") / double(draws), 0.20 / 0.75, 0.03);
    EXPECT_NEAR(first.value("grade_2/melody/pitch@") / double(draws), 0.50 / 0.75, 0.03);

    g_practice->setRandomSeed(7);
    g_practice->prepare(draws, false);
    EXPECT_EQ(drawsBySource(), first);
}

TEST_F(Practice, ItemsThatCannotBeDrawnAndEmptySelectionsEndCleanly)
{
    g_practice->load();
    ASSERT_TRUE(select("Rhythm", "Beat Tapping"));
    g_practice->prepare(3, false);
    ASSERT_EQ(associations().size(), 3);

    g_practice->reset();
    ASSERT_TRUE(select("Harmony", "Arpeggio Singing"));  // its only grade is locked: no candidates
    g_practice->prepare(5, false);
    EXPECT_TRUE(associations().isEmpty());  // the earlier associations are gone too
    EXPECT_EQ(LogCapture::instance().linesContaining("no practice candidates with weight for Arpeggio Singing").size(), 1);

    g_practice->reset();
    g_practice->prepare(5, false);
    EXPECT_TRUE(associations().isEmpty());
    EXPECT_EQ(g_practice->activity()->questionContext()->count(), 0);
    EXPECT_EQ(AssertRecorder::expressions(), QStringList{"selectedItemCount"});
}

TEST_F(Practice, DelegatesWriteOnlyIntoLiveItems)
{
    g_practice->load();
    const QModelIndex index = itemIndex("Rhythm", "Rhythm Tapping");
    auto* items = const_cast<PracticeItemModel*>(static_cast<const PracticeItemModel*>(index.model()));
    for (int role : {266, 267, 269})
        EXPECT_FALSE(items->setData(index, true, role));
    EXPECT_FALSE(items->setData(items->index(7, 0), true, 268));
    EXPECT_FALSE(items->setData(QModelIndex(), true, 268));
    EXPECT_EQ(g_practice->getTotalSelectedItems(), 0);
    EXPECT_TRUE(items->setData(index, true, 268));
    EXPECT_EQ(g_practice->getTotalSelectedItems(), 1);
    EXPECT_FALSE(index.data(PracticeItemModel::SelectedRole).toBool());  // the row keeps its copy

    QPointer<PracticeItemModel> old(items);
    g_practice->load();  // a delegate of the old rows may still write
    ASSERT_FALSE(old.isNull());
    EXPECT_FALSE(old->setData(old->index(index.row(), 0), true, 268));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(old.isNull());
}

TEST_F(Practice, StatisticsComeFromTheRatingsAndThePracticeMarks)
{
    QmlFacadeCourseItem* practice = g_practice->activity();
    EXPECT_EQ(practice->type(), QmlFacadeCourseItem::Practice);
    EXPECT_EQ(practice->parent(), nullptr);
    EXPECT_EQ(practice->fsPath(), QUrl::fromLocalFile(g_courseDir->path() + "/#practice#/page.qml").toString());
    EXPECT_EQ(g_practice->lastPracticePoints(), -1);

    db()->saveRating(1, 100, false);
    db()->saveRating(1, 120, true);
    db()->saveRating(1, 130, false);
    sqlRun(FrameworkManager::getInstance()->m_dbPath,
           "UPDATE ratings SET timestamp = '2026-03-03 10:00:00' WHERE practice = 1");
    QSignalSpy statsChanged(g_practice, &QmlFacadePractice::statsChanged);
    g_practice->updateStats();
    EXPECT_EQ(statsChanged.count(), 1);
    EXPECT_EQ(g_practice->totalSkillPoints(), 130);
    EXPECT_EQ(g_practice->totalSessions(), 1);
    EXPECT_EQ(g_practice->lastPracticeDate(), QDate(2026, 3, 3));

    // A practice run's mark carries its rating change; its rating row is flagged as practice.
    g_practice->load();
    ASSERT_TRUE(select("Rhythm", "Beat Tapping"));
    g_practice->prepare(2, false);
    QmlFacadeQuestionContext* ctx = practice->questionContext();
    ASSERT_EQ(ctx->count(), 2);
    ctx->start();
    ctx->submitQuestionOutcome(0, 1.0);
    ctx->submitMark(1.0);
    EXPECT_GT(g_practice->lastPracticePoints(), 0);
    EXPECT_EQ(g_practice->lastPracticePoints(), int(ctx->ratingDelta()));
    EXPECT_EQ(sqlRows(FrameworkManager::getInstance()->m_dbPath, "SELECT path, mark FROM marks"),
              QStringList{"#practice#|1.0"});
    g_practice->updateStats();
    EXPECT_EQ(g_practice->totalSessions(), 2);
    EXPECT_EQ(g_practice->lastPracticeDate(), QDate::currentDate());
    EXPECT_EQ(AssertRecorder::count(), 0);
}

}  // namespace
