// Practice mode and the statistics models over one course of three grades: groups and items from
// the exercises, their names, order, locks, recommendations and progress, the weighted question
// selection, and the rating, skill and mark rows.
#include "CourseWriter.h"
#include "FacadeEnvironment.h"

#include "app/facades/PracticeGroup.h"
#include "app/facades/PracticeGroupModel.h"
#include "app/facades/PracticeItem.h"
#include "app/facades/PracticeItemModel.h"
#include "app/facades/QmlFacadeCourseItem.h"
#include "app/facades/QmlFacadePractice.h"
#include "app/facades/QmlFacadeQuestionContext.h"
#include "app/facades/QmlFacadeStats.h"
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
        w.addAll({"00_grade_1|Grade 1", "00_grade_1/00_rhythm|Rhythm",
                  "00_grade_1/00_rhythm/00_sight|Exercise: Rhythm Sight Tapping 1|r1;r2",
                  "00_grade_1/00_rhythm/01_beat|Exercise: Beat Tapping 1|b",
                  "00_grade_1/00_rhythm/02_meter|Exercise: Meter Recognition 1|m",
                  "00_grade_1/00_rhythm/03_odd|Exercise: Odd Drill 1|o", "00_grade_1/00_rhythm/04_quiz|Quiz|q|test",
                  "00_grade_1/01_melody|Melody", "00_grade_1/01_melody/00_pitch|Exercise: Pitch Singing 1|a;b",
                  "00_grade_1/01_melody/01_colon|Exercise:Pitch Singing|-", "00_grade_1/01_melody/02_quiz|Quiz|q|test",
                  "00_grade_1/02_harmony|Harmony", "00_grade_1/02_harmony/00_chord|Exercise: Chord Recognition 1|c",
                  "00_grade_1/03_form|Form", "00_grade_1/03_form/00_colon|Exercise:Pitch Singing|-",
                  "00_grade_1/03_form/01_twelve|Pitch Singing 12|-", "00_grade_1/04_exam|Exam|e|test",
                  "01_grade_2|Grade 2", "01_grade_2/00_melody|Melody",
                  "01_grade_2/00_melody/00_pitch|Exercise: Pitch Singing 2|-", "01_grade_2/01_harmony|Harmony",
                  "01_grade_2/01_harmony/00_arpeggio|Exercise: Arpeggio Singing 1|p", "01_grade_2/02_exam|Exam|e|test",
                  "02_grade_3|Grade 3", "02_grade_3/00_rhythm|Rhythm", "02_grade_3/00_rhythm/00_beat|Exercise: Beat Tapping 3|b3",
                  "02_grade_3/00_rhythm/01_quiz|Quiz|q|test"});
        if (!w.ok() || !(g_course = startFramework(g_courseDir->path())))
            return;
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
    db()->saveAnswer(1, Database::QuestionVariant(path, tag), correctness);
}

void unlockGrade2()
{
    edufrmwk::FrameworkModel::getInstance()->unlockGrade(static_cast<LmsModuleElement*>(g_course->getElementList().at(1)));
}

// One line per group as QML shows it: "Rhythm: Beat Tapping, Rhythm Tapping" for the given role.
QStringList modelRows(int role)
{
    QStringList rows;
    PracticeGroupModel* groups = g_practice->model();
    for (int g = 0; g < groups->rowCount(); ++g) {
        auto* items = groups->index(g, 0).data(PracticeGroupModel::ItemModelRole).value<PracticeItemModel*>();
        QStringList texts;
        for (int i = 0; i < items->rowCount(); ++i)
            texts << items->index(i, 0).data(role).toString();
        rows << groups->index(g, 0).data(PracticeGroupModel::GroupNameRole).toString() + ": " + texts.join(", ");
    }
    return rows;
}

QModelIndex itemIndex(const QString& name)
{
    for (int g = 0; g < g_practice->model()->rowCount(); ++g) {
        PracticeItemModel* items = g_practice->model()->itemModelAt(g);
        for (int i = 0; i < items->rowCount(); ++i)
            if (items->index(i, 0).data(PracticeItemModel::NameRole).toString() == name)
                return items->index(i, 0);
    }
    return QModelIndex();
}

// Ticks items the way a QML delegate does.
void select(const QStringList& names)
{
    for (const QString& name : names) {
        const QModelIndex index = itemIndex(name);
        EXPECT_TRUE(const_cast<QAbstractItemModel*>(index.model())->setData(index, true, 268)) << qPrintable(name);
    }
}

const QList<LmsQuestionAssociation*>& associations()
{
    return dynamic_cast<LmsQuestionActivity*>(g_practice->activity()->element())->getAssociationList().getAssociations();
}

// Drawn associations per variant key ("grade_1/rhythm/beat@b": 3); each draws one question.
QMap<QString, int> draws()
{
    QMap<QString, int> count;
    for (const LmsQuestionAssociation* a : associations())
        count[a->getSource()->getNormalizedElementPath() + "@" + a->getFilter()->getTagList().join(",")] +=
            a->getFilter()->getCount();
    return count;
}

class Practice : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(g_practice, nullptr);
        restartProgress();
        g_practice->setRandomSeed(1);  // the facade seeds itself from the clock: fix every draw
        AssertRecorder::clear();
        LogCapture::instance().clear();
    }
    bool logged(const char* text) const { return LogCapture::instance().contains(text); }
};

TEST_F(Practice, GroupsGatherRenamedItemsInOrderWithLocksRecommendationsProgressAndLiveRows)
{
    answer("grade_1/melody/pitch", "a", 0.5);
    answer("grade_2/harmony/arpeggio", "p", 0.5);  // recommended too, but its subject is locked
    g_practice->load();
    EXPECT_EQ(modelRows(PracticeItemModel::NameRole),
              (QStringList{"Rhythm: Beat Tapping, Rhythm Tapping, Meter Recognition", "Melody: Pitch Singing",
                           "Harmony: Arpeggio Singing, Chord Recognition", "Form: Exercise:Pitch Singing, Pitch Singing 12"}));
    EXPECT_EQ(modelRows(PracticeItemModel::LockedRole),
              (QStringList{"Rhythm: false, false, false", "Melody: false", "Harmony: true, false", "Form: false, false"}));
    EXPECT_EQ(modelRows(PracticeItemModel::SelectedRole),
              (QStringList{"Rhythm: false, false, false", "Melody: true", "Harmony: false, false", "Form: false, false"}));
    // Three variants (grade 1 tags a and b, grade 2 without a tag), one answered.
    EXPECT_DOUBLE_EQ(itemIndex("Pitch Singing").data(PracticeItemModel::ProgressRole).toDouble(), 0.5 / 3.0);
    const PracticeItem* beat = g_practice->groups().first()->items().first();
    EXPECT_EQ(beat->activities().size(), 2);
    EXPECT_EQ(beat->gradeName(), "Grade 3");

    g_practice->load("Grade 2", 10, false);  // grade 3 lies past the target
    EXPECT_EQ(g_practice->groups().first()->items().first()->activities().size(), 1);
    EXPECT_EQ(LogCapture::instance().linesContaining("target grade reached, stopping.").size(), 1);
    EXPECT_EQ(g_practice->getTotalSelectedItems(), 0);

    // delegates write only the selection, and only into live rows
    g_practice->load("", 10, false);
    const QModelIndex index = itemIndex("Rhythm Tapping");
    QPointer<PracticeItemModel> items(const_cast<PracticeItemModel*>(static_cast<const PracticeItemModel*>(index.model())));
    for (int role : {266, 267, 269})
        EXPECT_FALSE(items->setData(index, true, role));
    EXPECT_FALSE(items->setData(items->index(7, 0), true, 268));
    EXPECT_TRUE(items->setData(index, true, 268));
    EXPECT_EQ(g_practice->getTotalSelectedItems(), 1);
    EXPECT_FALSE(index.data(PracticeItemModel::SelectedRole).toBool());  // the row keeps its copy

    g_practice->load();  // a delegate of the old rows may still write
    ASSERT_FALSE(items.isNull());
    EXPECT_FALSE(items->setData(items->index(index.row(), 0), true, 268));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(items.isNull());
}

TEST_F(Practice, QuotasShareTheCountLastItemsTakeTheRestAndItemsWithoutCandidatesAreSkipped)
{
    g_practice->load();
    select({"Beat Tapping", "Rhythm Tapping", "Meter Recognition"});
    EXPECT_TRUE(g_practice->prepare(10, true));
    const QMap<QString, int> drawn = draws();
    EXPECT_EQ(QList<int>({drawn.value("grade_1/rhythm/beat@b"), drawn.value("grade_1/rhythm/sight@r1") +
                          drawn.value("grade_1/rhythm/sight@r2"), drawn.value("grade_1/rhythm/meter@m")}),
              QList<int>({3, 3, 4}));
    EXPECT_EQ(g_practice->activity()->questionContext()->count(), 10);

    g_practice->reset();
    select({"Beat Tapping", "Pitch Singing", "Chord Recognition"});
    g_practice->prepare(10, false);
    EXPECT_EQ(g_practice->activity()->questionContext()->count(), 12);  // 3 + 1 remainder in each group
    EXPECT_EQ(AssertRecorder::count(), 0);

    g_practice->reset();
    select({"Arpeggio Singing"});  // its only grade is locked: no candidates
    g_practice->prepare(5, false);
    EXPECT_TRUE(associations().isEmpty());
    EXPECT_TRUE(logged("no practice candidates with weight for Arpeggio Singing; skipping its 5 question(s)"));
    g_practice->reset();
    g_practice->prepare(5, false);
    EXPECT_EQ(g_practice->activity()->questionContext()->count(), 0);
    EXPECT_EQ(AssertRecorder::expressions(), QStringList{"selectedItemCount"});
}

TEST_F(Practice, WeightsFollowResultsAndGradesAndSeededDrawsFollowTheWeights)
{
    answer("grade_1/melody/pitch", "a", 1.0);
    g_practice->load("", 10, false);
    select({"Pitch Singing"});
    g_practice->prepare(4, false);
    EXPECT_TRUE(logged("added practice candidate: grade_1/melody/pitch@a (weight=0.05; reason=11)"));
    EXPECT_TRUE(logged("added practice candidate: grade_1/melody/pitch@b (weight=0.50; reason=20)"));
    EXPECT_TRUE(logged("skipping locked grade_2/melody/pitch"));

    unlockGrade2();  // grade 1's mean (1.0 and an unanswered 0) is below 0.85: grade 2 stays out
    g_practice->prepare(4, false);
    EXPECT_TRUE(logged("highestEligibleGradeAvgOutcome: 0.50"));
    EXPECT_FALSE(logged("added practice candidate: grade_2"));

    answer("grade_1/melody/pitch", "b", 0.8);  // mean 0.9: the next grade's unanswered variant joins
    g_practice->prepare(4, false);
    EXPECT_TRUE(logged("added practice candidate: grade_1/melody/pitch@b (weight=0.20; reason=10)"));
    EXPECT_TRUE(logged("added practice candidate: grade_2/melody/pitch@ (weight=0.50; reason=30)"));

    // seeded draws follow those weights, and the same seed draws the same questions
    const int count = 3000;
    g_practice->setRandomSeed(7);
    g_practice->prepare(count, false);
    const QMap<QString, int> first = draws();
    EXPECT_NEAR(first.value("grade_1/melody/pitch@a") / double(count), 0.05 / 0.75, 0.02);
    EXPECT_NEAR(first.value("grade_1/melody/pitch@b") / double(count), 0.20 / 0.75, 0.03);
    EXPECT_NEAR(first.value("grade_2/melody/pitch@") / double(count), 0.50 / 0.75, 0.03);
    g_practice->setRandomSeed(7);
    g_practice->prepare(count, false);
    EXPECT_EQ(draws(), first);
}

TEST_F(Practice, TotalsComeFromTheRatingsAndPointsFromThePracticeMark)
{
    QmlFacadeCourseItem* practice = g_practice->activity();
    EXPECT_EQ(practice->type(), QmlFacadeCourseItem::Practice);
    EXPECT_EQ(practice->fsPath(), QUrl::fromLocalFile(g_courseDir->path() + "/#practice#/page.qml").toString());
    EXPECT_EQ(g_practice->lastPracticePoints(), -1);
    for (int rating : {100, 120, 130})
        db()->saveRating(1, rating, rating == 120);
    sqlRun(FrameworkManager::getInstance()->m_dbPath, "UPDATE ratings SET timestamp = '2026-03-03 10:00:00' WHERE practice");
    g_practice->updateStats();
    EXPECT_EQ(QList<int>({g_practice->totalSkillPoints(), g_practice->totalSessions()}), QList<int>({130, 1}));
    EXPECT_EQ(g_practice->lastPracticeDate(), QDate(2026, 3, 3));

    g_practice->load();
    select({"Beat Tapping"});
    g_practice->prepare(2, false);
    QmlFacadeQuestionContext* ctx = practice->questionContext();
    ctx->start();
    ctx->submitQuestionOutcome(0, 1.0);
    ctx->submitMark(1.0);
    EXPECT_GT(g_practice->lastPracticePoints(), 0);
    EXPECT_EQ(g_practice->lastPracticePoints(), int(ctx->ratingDelta()));
    g_practice->updateStats();
    EXPECT_EQ(g_practice->totalSessions(), 2);
    EXPECT_EQ(g_practice->lastPracticeDate(), QDate::currentDate());
}

// ---- statistics ------------------------------------------------------------------------------------

// Each row as "timestamp|grade|subject|value", "-" for a role the row does not set.
QStringList statsRows(RoleItemModel* model)
{
    QStringList out;
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList cells;
        for (int role = QmlFacadeStats::TimestampRole; role <= QmlFacadeStats::ValueRole; ++role) {
            const QVariant value = model->index(r, 0).data(role);
            cells << (value.isValid() ? value.toString() : "-");
        }
        out << cells.join('|');
    }
    return out;
}

TEST_F(Practice, StatisticsTurnRecordsIntoRows)
{
    QmlFacadeStats stats;
    RoleItemModel* progress = stats.progress();
    EXPECT_EQ(statsRows(progress), QStringList{"0|-|-|0"});
    EXPECT_EQ(statsRows(stats.quizMarks()) + statsRows(stats.examMarks()), (QStringList{"-|-|-|-", "-|-|-|-"}));
    EXPECT_EQ(stats.skills()->roleNames(),
              (QHash<int, QByteArray>{{257, "timestamp"}, {258, "grade"}, {259, "subject"}, {260, "value"}}));
    EXPECT_EQ(statsRows(stats.skills()), (QStringList{"-|-|Rhythm|0", "-|-|Melody|0", "-|-|Harmony|0"}));
    for (int rating : {100, 250, 90})
        db()->saveRating(1, rating, false);
    EXPECT_EQ(stats.progress(), progress);  // the same object, rebuilt
    EXPECT_EQ(statsRows(progress), (QStringList{"0|-|-|0", "1|-|-|100", "2|-|-|250", "3|-|-|90"}));

    // Rhythm 0.7 x 1500 over its seven question activities (two grades share the name), Melody
    // 0.8 x 1500 over four; Form has no row.
    answer("grade_1/rhythm/beat", "b", 0.7);
    answer("grade_1/melody/pitch", "a", 0.8);
    answer("grade_1/form/colon", "", 1.0);
    EXPECT_EQ(statsRows(stats.skills()), (QStringList{"-|-|Rhythm|150", "-|-|Melody|300", "-|-|Harmony|0"}));

    const QList<QPair<QString, double>> marks{{"grade_1/rhythm/quiz", 1.0},    {"grade_1/exam", 0.86},
                                              {"grade_1/melody/quiz", 0.57},   {"grade_1/gone/quiz", 0.5},
                                              {"grade_3/rhythm/quiz", -1.0},   {"grade_2/exam", 0.999}};
    for (const auto& mark : marks)
        db()->saveMark(1, mark.first, mark.second, 0);
    db()->saveMark(2, "grade_1/rhythm/quiz", 0.1, 0);  // another account's
    sqlRun(FrameworkManager::getInstance()->m_dbPath, "UPDATE marks SET timestamp = '2026-03-0' || id || ' 14:05:00'");
    EXPECT_EQ(statsRows(stats.quizMarks()),
              (QStringList{"-|-|-|-", "2026/03/05 14:05|Grade 3|Rhythm|-100", "2026/03/03 14:05|Grade 1|Melody|57",
                           "2026/03/01 14:05|Grade 1|Rhythm|100"}));
    EXPECT_TRUE(logged("could not find element grade_1/gone/quiz"));
    EXPECT_EQ(statsRows(stats.examMarks()),
              (QStringList{"-|-|-|-", "2026/03/06 14:05|Grade 2|-|100", "2026/03/02 14:05|Grade 1|-|86"}));

    QSignalSpy skills(&stats, &QmlFacadeStats::skillsChanged);
    QSignalSpy exams(&stats, &QmlFacadeStats::examMarksChanged);
    stats.update(stats.skills());
    stats.update(progress);
    stats.update(nullptr);
    EXPECT_EQ(skills.count() + 10 * exams.count(), 1);
    EXPECT_EQ(AssertRecorder::count(), 0);
}

}  // namespace
