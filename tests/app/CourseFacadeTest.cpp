// The course facade, its item tree and item model, and the question context, over a course
// directory and a learner database of their own, logged in as the shell leaves it.
#include "CourseWriter.h"
#include "FacadeEnvironment.h"

#include "app/facades/QmlFacadeCourse.h"
#include "app/facades/QmlFacadeCourseItem.h"
#include "app/facades/QmlFacadeCourseModel.h"
#include "app/facades/QmlFacadeQuestionContext.h"
#include "framework/SqlPeek.h"
#include "framework/FrameworkManager.h"
#include "framework/FrameworkModel.h"
#include "framework/StatisticsEngine.h"
#include "lms/LmsActivityElement.h"
#include "lms/LmsCourse.h"
#include "lms/LmsQuestion.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>

using edufrmwk::FrameworkManager;
using edufrmwk::FrameworkModel;

namespace {

QTemporaryDir* g_courseDir = nullptr;
LmsCourse* g_course = nullptr;

// Grade 1 holds Rhythm (seven activities, the second drawing five questions from its two),
// Melody and an exam; grades 2 and 3 one subject each.
class CourseEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        g_courseDir = new QTemporaryDir();
        CourseWriter w(g_courseDir->path());
        w.plugins();
        w.module("00_grade_1", "Grade 1");
        w.module("00_grade_1/00_rhythm", "Rhythm");
        w.learning("00_grade_1/00_rhythm/00_intro", "Intro");
        w.exercise("00_grade_1/00_rhythm/01_tapping", "Exercise: Beat Tapping 1", {"a, b", ""},
                   "[{\"path\": \".\", \"count\": 5}]");
        w.exercise("00_grade_1/00_rhythm/02_notes", "Exercise: Note Tapping 1", {"x"}, "[{\"path\": \".\", \"count\": 1}]");
        w.learning("00_grade_1/00_rhythm/03_more", "More");
        w.learning("00_grade_1/00_rhythm/04_again", "Again");
        w.test("00_grade_1/00_rhythm/05_quiz", "Quiz", {"q"}, "[{\"path\": \".\", \"count\": 1}]");
        w.learning("00_grade_1/00_rhythm/06_the_end", "#endofcourse#");
        w.module("00_grade_1/01_melody", "Melody");
        w.exercise("00_grade_1/01_melody/00_singing", "Exercise: Pitch Singing 1", {"m"});
        w.learning("00_grade_1/01_melody/01_listen", "Listen");
        w.test("00_grade_1/02_exam", "Exam", {"e"}, "[{\"path\": \".\", \"count\": 1}]");
        for (int g = 2; g <= 3; ++g) {
            const QString grade = QStringLiteral("0%1_grade_%2").arg(g - 1).arg(g);
            w.module(grade, QStringLiteral("Grade %1").arg(g));
            w.module(grade + "/00_rhythm", "Rhythm");
            w.learning(grade + "/00_rhythm/00_intro", "Intro");
            w.learning(grade + "/00_rhythm/01_next", "Next");
        }
        ASSERT_TRUE(w.ok());
        g_course = startFramework(g_courseDir->path());
        ASSERT_NE(g_course, nullptr);
    }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new CourseEnvironment);

QmlFacadeCourse* facade()
{
    return QmlFacadeCourse::instance();
}

// The item at a display-name path from the root: "Grade 1/Rhythm/Intro".
QmlFacadeCourseItem* item(const QString& path)
{
    QmlFacadeCourseItem* walk = facade()->rootItem();
    for (const QString& name : path.split(QLatin1Char('/'))) {
        QmlFacadeCourseItem* found = nullptr;
        for (QmlFacadeCourseItem* child : walk->childItems())
            if (child->name() == name)
                found = child;
        if (!found)
            return nullptr;
        walk = found;
    }
    return walk;
}

QStringList dbRows(const QString& sql)
{
    return sqlRows(FrameworkManager::getInstance()->m_dbPath, sql);
}

QString pageUrl(const QString& relative)
{
    return QUrl::fromLocalFile(g_courseDir->path() + QLatin1Char('/') + relative).toString();
}

// Every test starts from a first login: grade 1 and its subjects open, Intro current.
class CourseFacade : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(g_course, nullptr);
        restartProgress();
        facade()->setCurrentActivity(item("Grade 1/Rhythm/Intro"));
        facade()->updateState();
        AssertRecorder::clear();
        LogCapture::instance().clear();
    }
    static void complete(const QString& path) { item(path)->setState(QmlFacadeCourseItem::Completed); }
};

TEST_F(CourseFacade, ItemTreeMirrorsTheCourseWithTypesStatesAndPagePaths)
{
    QmlFacadeCourseItem* root = facade()->rootItem();
    ASSERT_EQ(root->childCount(), 3);
    EXPECT_EQ(root->parent(), nullptr);
    EXPECT_EQ(root->row(), 0);

    struct Row {
        const char* path;
        QmlFacadeCourseItem::Type type;
        QmlFacadeCourseItem::State state;
        const char* page;
    };
    const Row rows[] = {
        {"Grade 1", QmlFacadeCourseItem::Module, QmlFacadeCourseItem::Unlocked, "00_grade_1/"},
        {"Grade 1/Rhythm", QmlFacadeCourseItem::Module, QmlFacadeCourseItem::Unlocked, "00_grade_1/00_rhythm/"},
        {"Grade 1/Rhythm/Intro", QmlFacadeCourseItem::Learning, QmlFacadeCourseItem::Unlocked,
         "00_grade_1/00_rhythm/00_intro/page.qml"},
        {"Grade 1/Rhythm/Exercise: Beat Tapping 1", QmlFacadeCourseItem::Exercise, QmlFacadeCourseItem::Locked,
         "00_grade_1/00_rhythm/01_tapping/page.qml"},
        {"Grade 1/Rhythm/Quiz", QmlFacadeCourseItem::Test, QmlFacadeCourseItem::Locked,
         "00_grade_1/00_rhythm/05_quiz/page.qml"},
        {"Grade 1/Rhythm/#endofcourse#", QmlFacadeCourseItem::EndOfCourse, QmlFacadeCourseItem::Locked,
         "00_grade_1/00_rhythm/06_the_end/page.qml"},
        {"Grade 1/Melody/Exercise: Pitch Singing 1", QmlFacadeCourseItem::Exercise, QmlFacadeCourseItem::Unlocked,
         "00_grade_1/01_melody/00_singing/page.qml"},
        {"Grade 1/Exam", QmlFacadeCourseItem::Test, QmlFacadeCourseItem::Locked, "00_grade_1/02_exam/page.qml"},
        {"Grade 2", QmlFacadeCourseItem::Module, QmlFacadeCourseItem::Locked, "01_grade_2/"},
        {"Grade 3/Rhythm/Intro", QmlFacadeCourseItem::Learning, QmlFacadeCourseItem::Locked,
         "02_grade_3/00_rhythm/00_intro/page.qml"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        QmlFacadeCourseItem* it = item(QString::fromUtf8(row.path));
        ASSERT_NE(it, nullptr);
        EXPECT_EQ(it->type(), row.type);
        EXPECT_EQ(it->state(), row.state);
        EXPECT_EQ(it->fsPath(), pageUrl(QString::fromUtf8(row.page)));
        EXPECT_TRUE(it->fsPath().startsWith("file:///"));
        EXPECT_EQ(it->description(), QString());
        EXPECT_EQ(it->questionContext()->activity() != nullptr,
                  row.type == QmlFacadeCourseItem::Exercise || row.type == QmlFacadeCourseItem::Test);
    }
    EXPECT_EQ(courseElementToFacadeItem(g_course->getElementList().at(1)), item("Grade 2"));
    EXPECT_EQ(courseElementToFacadeItem(g_course), nullptr);  // the course itself is not mapped
    EXPECT_TRUE(item("Grade 1/Rhythm")->isCurrent());
    EXPECT_TRUE(root->isCurrent());
    EXPECT_FALSE(item("Grade 1/Melody")->isCurrent());
    EXPECT_EQ(AssertRecorder::count(), 0);

    item("Grade 1")->child(9);
    item("Grade 1")->child(-1);
    EXPECT_EQ(AssertRecorder::expressions(), (QStringList{"m_childItems.length() > row", "item"}));
}

TEST_F(CourseFacade, ItemModelServesTheTreeByRoles)
{
    QmlFacadeCourseModel* model = facade()->model();
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::Warning);
    EXPECT_EQ(model->rowCount(), 3);
    EXPECT_EQ(model->count(), 3);
    const QModelIndex grade = model->index(0, 0);
    const QModelIndex rhythm = model->index(0, 0, grade);
    const QModelIndex intro = model->index(0, 0, rhythm);
    EXPECT_EQ(model->rowCount(grade), 3);
    EXPECT_EQ(model->parent(intro), rhythm);
    EXPECT_EQ(model->parent(grade), QModelIndex());

    const QHash<int, QByteArray> roles = model->roleNames();
    EXPECT_EQ(roles, (QHash<int, QByteArray>{
                         {257, "name"}, {258, "description"}, {259, "itemState"}, {260, "itemIsCurrent"}, {261, "itemIsLeaf"}}));
    EXPECT_EQ(model->data(intro, 257).toString(), "Intro");
    EXPECT_EQ(model->data(intro, 259).toInt(), int(QmlFacadeCourseItem::Unlocked));
    EXPECT_TRUE(model->data(intro, 260).toBool());
    EXPECT_TRUE(model->data(intro, 261).toBool());
    EXPECT_FALSE(model->data(rhythm, 261).toBool());
    EXPECT_FALSE(model->data(model->index(1, 0), 260).toBool());
    EXPECT_FALSE(model->data(intro, Qt::DisplayRole).isValid());
    EXPECT_EQ(model->flags(intro), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    EXPECT_EQ(model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "zero");
    EXPECT_EQ(model->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "one");
    EXPECT_FALSE(model->headerData(0, Qt::Vertical, Qt::DisplayRole).isValid());

    const QVariantMap empty = model->get(QModelIndex()).toMap();
    EXPECT_EQ(empty.keys(), (QStringList{"description", "itemIsCurrent", "itemIsLeaf", "itemState", "name"}));
    for (const QVariant& value : empty)
        EXPECT_FALSE(value.isValid());
    EXPECT_EQ(model->get(intro).toMap().value("name").toString(), "Intro");

    EXPECT_EQ(model->getItemByIndex(intro), item("Grade 1/Rhythm/Intro"));
    EXPECT_EQ(model->getItemByIndex(QModelIndex()), nullptr);
    for (const QModelIndex& index : {grade, rhythm, intro, model->index(2, 0, grade), model->index(1, 0, model->index(0, 0, model->index(2, 0)))})
        EXPECT_EQ(model->getIndexByItem(model->getItemByIndex(index)), index);
    EXPECT_FALSE(model->getIndexByItem(facade()->rootItem()).isValid());
    EXPECT_FALSE(model->currentModuleIndex().toModelIndex().isValid());  // the root has three rows, not four
}

TEST_F(CourseFacade, SummariesFollowCompletionInTheCurrentModule)
{
    EXPECT_TRUE(facade()->isInitialActivity());
    EXPECT_TRUE(facade()->isNewModule());
    EXPECT_EQ(facade()->moduleCompletionPercentage(), 0);

    QSignalSpy percentage(facade(), &QmlFacadeCourse::moduleCompletionPercentageChanged);
    for (const char* name : {"Intro", "Exercise: Beat Tapping 1", "Exercise: Note Tapping 1"})
        complete(QStringLiteral("Grade 1/Rhythm/") + name);
    EXPECT_EQ(facade()->moduleCompletionPercentage(), 42);  // 3 of 7
    EXPECT_FALSE(facade()->isNewModule());
    EXPECT_FALSE(facade()->isInitialActivity());
    EXPECT_EQ(percentage.count(), 3);
    EXPECT_EQ(item("Grade 1/Rhythm/More")->state(), QmlFacadeCourseItem::Unlocked);  // completion opened the next
    EXPECT_EQ(dbRows("SELECT state FROM element_state WHERE path = 'grade_1/rhythm/tapping'"), QStringList{"COMPLETED"});

    // The exam lies in the grade: the grade is the current module, and the subjects' activities
    // count in the denominator too (5 completed of 10), so the share stays below 100.
    facade()->setCurrentActivity(item("Grade 1/Exam"));
    EXPECT_EQ(facade()->currentModule(), item("Grade 1"));
    complete("Grade 1/Melody/Exercise: Pitch Singing 1");
    complete("Grade 1/Exam");
    EXPECT_EQ(facade()->moduleCompletionPercentage(), 50);
}

TEST_F(CourseFacade, NextAndPreviousMoveWithinTheModuleAndBeyondIt)
{
    QSignalSpy activityChanged(facade(), &QmlFacadeCourse::currentActivityChanged);
    QSignalSpy moduleChanged(facade(), &QmlFacadeCourse::currentModuleChanged);
    QmlFacadeCourseItem* tapping = item("Grade 1/Rhythm/Exercise: Beat Tapping 1");
    ASSERT_EQ(tapping->state(), QmlFacadeCourseItem::Locked);

    facade()->nextActivity();  // onto a locked sibling: it opens
    EXPECT_EQ(facade()->currentActivity(), tapping);
    EXPECT_EQ(tapping->state(), QmlFacadeCourseItem::Unlocked);
    EXPECT_EQ(static_cast<LmsElement*>(FrameworkModel::getInstance()->getCurrentActivity()), tapping->element());
    EXPECT_EQ(dbRows("SELECT path FROM element_state WHERE selected = 'true'"), QStringList{"grade_1/rhythm/tapping"});
    EXPECT_EQ(activityChanged.count(), 1);
    EXPECT_EQ(moduleChanged.count(), 0);

    facade()->previousActivity();
    EXPECT_EQ(facade()->currentActivity(), item("Grade 1/Rhythm/Intro"));
    QSignalSpy percentage(facade(), &QmlFacadeCourse::moduleCompletionPercentageChanged);
    facade()->previousActivity();  // at the first activity: only the summaries are sent again
    EXPECT_EQ(facade()->currentActivity(), item("Grade 1/Rhythm/Intro"));
    EXPECT_EQ(activityChanged.count(), 2);
    EXPECT_EQ(percentage.count(), 1);

    // At the end of the subject the framework model's next activity takes over.
    facade()->setCurrentActivity(item("Grade 1/Rhythm/#endofcourse#"));
    moduleChanged.clear();
    facade()->nextActivity();
    EXPECT_EQ(facade()->currentActivity(), item("Grade 1/Melody/Exercise: Pitch Singing 1"));
    EXPECT_EQ(facade()->currentModule(), item("Grade 1/Melody"));
    EXPECT_EQ(moduleChanged.count(), 1);
    EXPECT_EQ(AssertRecorder::count(), 0);
}

TEST_F(CourseFacade, SetCurrentActivityIgnoresTheRootAndClearsOnAModule)
{
    QSignalSpy activityChanged(facade(), &QmlFacadeCourse::currentActivityChanged);
    QSignalSpy percentage(facade(), &QmlFacadeCourse::moduleCompletionPercentageChanged);
    facade()->setCurrentActivity(facade()->rootItem());
    facade()->setCurrentActivity(item("Grade 1/Rhythm/Intro"));
    facade()->setCurrentActivity(nullptr);
    EXPECT_EQ(activityChanged.count(), 0);
    EXPECT_EQ(percentage.count(), 0);

    facade()->setCurrentActivity(item("Grade 1/Melody"));
    EXPECT_EQ(FrameworkModel::getInstance()->getCurrentActivity(), nullptr);
    EXPECT_EQ(dbRows("SELECT path FROM element_state WHERE selected = 'true'"), QStringList());
    EXPECT_EQ(facade()->currentModule(), item("Grade 1"));
    EXPECT_FALSE(item("Grade 1/Rhythm/Intro")->isCurrent());
    EXPECT_EQ(activityChanged.count(), 1);
    EXPECT_EQ(AssertRecorder::count(), 0);
}

TEST_F(CourseFacade, GradesUnlockOneAtATimeOrAllAtOnce)
{
    QSignalSpy modelChanged(facade(), &QmlFacadeCourse::modelChanged);
    EXPECT_EQ(facade()->lockedGradeCount(), 1);  // grades 2 and 3 locked

    facade()->unlockNextGrade();
    EXPECT_EQ(item("Grade 2")->state(), QmlFacadeCourseItem::Unlocked);
    EXPECT_EQ(item("Grade 2/Rhythm")->state(), QmlFacadeCourseItem::Unlocked);
    EXPECT_EQ(item("Grade 2/Rhythm/Intro")->state(), QmlFacadeCourseItem::Unlocked);
    EXPECT_EQ(item("Grade 2/Rhythm/Next")->state(), QmlFacadeCourseItem::Locked);
    EXPECT_EQ(item("Grade 3")->state(), QmlFacadeCourseItem::Locked);
    EXPECT_EQ(facade()->lockedGradeCount(), 0);
    EXPECT_TRUE(LogCapture::instance().contains("unlocking grade_2"));

    facade()->unlockAllContent();
    EXPECT_EQ(dbRows("SELECT count(*) FROM element_state WHERE state = 'LOCKED' AND path != ''"), QStringList{"0"});
    EXPECT_EQ(item("Grade 3/Rhythm/Next")->state(), QmlFacadeCourseItem::Unlocked);
    EXPECT_TRUE(LogCapture::instance().contains("unlocking grade_3/rhythm/next"));

    LogCapture::instance().clear();
    facade()->unlockNextGrade();  // nothing left to unlock
    EXPECT_FALSE(LogCapture::instance().contains("unlocking"));
    EXPECT_EQ(modelChanged.count(), 3);
}

// ---- question context ----------------------------------------------------------------------------

class QuestionContext : public CourseFacade {
protected:
    static QmlFacadeQuestionContext* context(const char* path) { return item(path)->questionContext(); }
};

TEST_F(QuestionContext, ShortSourceIsMadeUpWithRepeatsAndOneWarning)
{
    QmlFacadeQuestionContext* ctx = context("Grade 1/Rhythm/Exercise: Beat Tapping 1");
    ctx->load();
    ASSERT_EQ(ctx->count(), 5);
    const QList<LmsQuestion*> q = ctx->questions();
    EXPECT_NE(q[0], q[1]);
    EXPECT_EQ(QList<LmsQuestion*>({q[2], q[3], q[4]}), QList<LmsQuestion*>({q[0], q[1], q[0]}));
    EXPECT_EQ(LogCapture::instance()
                  .linesContaining("could not get enough unique questions from tapping (requested=5 matched=2); "
                                   "inserting duplicates to compensate")
                  .size(),
              1);
    EXPECT_EQ(ctx->question(0).value("gmn"), q[0]->getResolvedAttributeMap().value("gmn"));
    EXPECT_EQ(ctx->question(0).value("tempo").toInt(), 100);

    ctx->load();  // a new run replaces the list
    EXPECT_EQ(ctx->count(), 5);
}

TEST_F(QuestionContext, OutcomesAreRecordedPerOwnTag)
{
    QmlFacadeQuestionContext* ctx = context("Grade 1/Rhythm/Exercise: Beat Tapping 1");
    ctx->load();
    for (int i = 0; i < 2; ++i)
        ctx->submitQuestionOutcome(i, ctx->questions().at(i)->getTagList(false).isEmpty() ? 0.25 : 0.5);
    EXPECT_EQ(dbRows("SELECT variant, correctness FROM answers ORDER BY variant"),
              (QStringList{"grade_1/rhythm/tapping@|0.25", "grade_1/rhythm/tapping@a|0.5", "grade_1/rhythm/tapping@b|0.5"}));
}

TEST_F(QuestionContext, MarkAndRatingDeltaAreStoredAndReadBack)
{
    QmlFacadeQuestionContext* ctx = context("Grade 1/Rhythm/Exercise: Note Tapping 1");
    EXPECT_EQ(ctx->mark(), -1.0);
    EXPECT_EQ(ctx->ratingDelta(), -1.0);

    ctx->load();
    ctx->submitQuestionOutcome(0, 0.5);
    ctx->start();  // the rating now counts the answer above
    const int before = FrameworkManager::getInstance()->mp_statisticsEngine->getSkillRating();
    ctx->submitQuestionOutcome(0, 1.0);
    const int after = FrameworkManager::getInstance()->mp_statisticsEngine->getSkillRating();
    ASSERT_NE(before, after);

    QSignalSpy markChanged(ctx, &QmlFacadeQuestionContext::markChanged);
    ctx->submitMark(0.75);
    EXPECT_EQ(markChanged.count(), 1);
    EXPECT_EQ(dbRows("SELECT path, mark, ratingDelta FROM marks"),
              QStringList{QStringLiteral("grade_1/rhythm/notes|0.75|%1").arg(after - before)});
    EXPECT_EQ(dbRows("SELECT rating, practice FROM ratings"), QStringList{QStringLiteral("%1|0").arg(after)});
    EXPECT_EQ(ctx->mark(), 0.75);
    EXPECT_EQ(ctx->ratingDelta(), after - before);

    // An aborted attempt is no mark; another activity's mark is not this one's.
    FrameworkManager::getInstance()->activityCompleted(nullptr, ctx->activity(), 0.2, 9, true);
    EXPECT_EQ(ctx->mark(), 0.75);
    EXPECT_EQ(context("Grade 1/Rhythm/Quiz")->mark(), -1.0);
    EXPECT_EQ(AssertRecorder::count(), 0);
}

TEST_F(QuestionContext, BadIndexesAndItemsWithoutQuestionsAreRefused)
{
    QmlFacadeQuestionContext* ctx = context("Grade 1/Rhythm/Exercise: Note Tapping 1");
    ctx->load();
    EXPECT_TRUE(ctx->question(-1).isEmpty());
    EXPECT_TRUE(ctx->question(1).isEmpty());
    ctx->submitQuestionOutcome(-1, 1.0);
    EXPECT_EQ(AssertRecorder::expressions(),
              (QStringList{"idx >= 0", "idx < m_questionList.count()", "idx >= 0"}));
    EXPECT_EQ(dbRows("SELECT count(*) FROM answers"), QStringList{"0"});

    for (const char* path : {"Grade 1/Rhythm/Intro", "Grade 1/Rhythm"}) {
        SCOPED_TRACE(path);
        LogCapture::instance().clear();
        QmlFacadeQuestionContext* idle = context(path);
        idle->load();
        idle->submitMark(1.0);
        EXPECT_EQ(idle->count(), 0);
        EXPECT_EQ(idle->mark(), -1.0);
        EXPECT_EQ(idle->ratingDelta(), -1.0);
        EXPECT_EQ(LogCapture::instance().linesContaining("not a question activity").size(), 4);
    }
    EXPECT_EQ(dbRows("SELECT count(*) FROM marks"), QStringList{"0"});
    EXPECT_EQ(dbRows("SELECT count(*) FROM ratings"), QStringList{"0"});
}

}  // namespace
