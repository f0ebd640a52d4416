// The course facade, its items and item model, and the question context, over a course directory
// and a learner database of their own, logged in as the shell leaves it.
#include "CourseWriter.h"
#include "FacadeEnvironment.h"

#include "app/facades/QmlFacadeCourse.h"
#include "app/facades/QmlFacadeCourseItem.h"
#include "app/facades/QmlFacadeCourseModel.h"
#include "app/facades/QmlFacadeQuestionContext.h"
#include "app/facades/QmlFacadeStats.h"
#include "app/facades/QmlGlobals.h"
#include "exercise/RoleItemModel.h"
#include "framework/Database.h"
#include "framework/FrameworkManager.h"
#include "framework/FrameworkModel.h"
#include "framework/HeldLock.h"
#include "framework/SqlPeek.h"
#include "lms/LmsActivityElement.h"
#include "lms/LmsCourse.h"
#include "lms/LmsQuestionActivity.h"
#include "lms/LmsQuestionAssociation.h"
#include "lms/LmsQuestionFilter.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>

using edufrmwk::FrameworkManager;
using edufrmwk::FrameworkModel;
using Item = QmlFacadeCourseItem;

namespace {

QTemporaryDir* g_courseDir = nullptr;
LmsCourse* g_course = nullptr;

class CourseEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        g_courseDir = new QTemporaryDir();
        if (CourseWriter::writeCourseOfThreeGrades(g_courseDir->path()))
            g_course = startFramework(g_courseDir->path());
    }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new CourseEnvironment);

QmlFacadeCourse* facade()
{
    return QmlFacadeCourse::instance();
}

// The item at a display-name path: "Grade 1/Rhythm/Intro".
Item* item(const QString& path)
{
    Item* walk = facade()->rootItem();
    for (const QString& name : path.split('/')) {
        const QList<Item*>& children = walk->childItems();
        auto found = std::find_if(children.begin(), children.end(), [&](Item* c) { return c->name() == name; });
        if (found == children.end())
            return nullptr;
        walk = *found;
    }
    return walk;
}

QStringList dbRows(const QString& sql)
{
    return sqlRows(FrameworkManager::getInstance()->m_dbPath, sql);
}

// Every case starts from a first login: grade 1 and its subjects open, Intro current.
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
    static void complete(const QString& path) { item(path)->setState(Item::Completed); }
};

TEST_F(CourseFacade, ItemsCarryTypesStatesAndPagePathsAndTheModelServesThemByRoles)
{
    const struct {
        const char* path;
        Item::Type type;
        Item::State state;
        const char* page;
    } rows[] = {
        {"Grade 1/Rhythm", Item::Module, Item::Unlocked, "00_grade_1/00_rhythm/"},
        {"Grade 1/Rhythm/Intro", Item::Learning, Item::Unlocked, "00_grade_1/00_rhythm/00_intro/page.qml"},
        {"Grade 1/Rhythm/Exercise: Beat Tapping 1", Item::Exercise, Item::Locked, "00_grade_1/00_rhythm/01_tapping/page.qml"},
        {"Grade 1/Rhythm/#endofcourse#", Item::EndOfCourse, Item::Locked, "00_grade_1/00_rhythm/06_the_end/page.qml"},
        {"Grade 1/Melody/Exercise: Pitch Singing 1", Item::Exercise, Item::Unlocked, "00_grade_1/01_melody/00_singing/page.qml"},
        {"Grade 1/Exam", Item::Test, Item::Locked, "00_grade_1/02_exam/page.qml"},
        {"Grade 2", Item::Module, Item::Locked, "01_grade_2/"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        Item* it = item(row.path);
        ASSERT_NE(it, nullptr);
        EXPECT_EQ(it->type(), row.type);
        EXPECT_EQ(it->state(), row.state);
        EXPECT_EQ(it->fsPath(), QUrl::fromLocalFile(g_courseDir->path() + "/" + row.page).toString());
        EXPECT_EQ(it->questionContext()->activity() != nullptr, row.type == Item::Exercise || row.type == Item::Test);
    }
    EXPECT_EQ(courseElementToFacadeItem(g_course->getElementList().at(1)), item("Grade 2"));
    EXPECT_TRUE(item("Grade 1/Rhythm")->isCurrent());
    EXPECT_FALSE(item("Grade 1/Melody")->isCurrent());
    EXPECT_EQ(AssertRecorder::count(), 0);
    item("Grade 1")->child(3);
    item("Grade 1")->child(-1);
    EXPECT_EQ(AssertRecorder::expressions(), (QStringList{"m_childItems.length() > row", "item"}));

    // the same tree as QML reads it, by roles
    QmlFacadeCourseModel* model = facade()->model();
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(model->count(), 3);
    const QModelIndex rhythm = model->index(0, 0, model->index(0, 0));
    const QModelIndex intro = model->index(0, 0, rhythm);
    EXPECT_EQ(model->parent(intro), rhythm);
    EXPECT_EQ(model->roleNames(), (QHash<int, QByteArray>{{257, "name"}, {258, "description"}, {259, "itemState"},
                                                          {260, "itemIsCurrent"}, {261, "itemIsLeaf"}}));
    EXPECT_EQ(model->get(intro).toMap(), (QVariantMap{{"name", "Intro"}, {"description", ""}, {"itemState", 2},
                                                      {"itemIsCurrent", true}, {"itemIsLeaf", true}}));
    EXPECT_FALSE(model->data(rhythm, 261).toBool());
    EXPECT_FALSE(model->data(model->index(1, 0), 260).toBool());
    EXPECT_FALSE(model->data(intro, Qt::DisplayRole).isValid());
    for (const QVariant& value : model->get(QModelIndex()).toMap())
        EXPECT_FALSE(value.isValid());
    EXPECT_EQ(model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "zero");
    EXPECT_EQ(model->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "one");
    for (const QModelIndex& index : {rhythm, intro, model->index(1, 0, model->index(0, 0, model->index(2, 0)))})
        EXPECT_EQ(model->getIndexByItem(model->getItemByIndex(index)), index);
    EXPECT_FALSE(model->getIndexByItem(facade()->rootItem()).isValid());
    EXPECT_FALSE(model->currentModuleIndex().toModelIndex().isValid());  // the root has three rows, not four
}

// The subject case (3 of 7 gives 42) is driven from QML.
TEST_F(CourseFacade, CompletionShareCountsEveryActivityBelowTheModule)
{
    for (const char* name : {"Intro", "Exercise: Beat Tapping 1", "Exercise: Note Tapping 1"})
        complete(QStringLiteral("Grade 1/Rhythm/") + name);
    EXPECT_EQ(dbRows("SELECT state FROM element_state WHERE path = 'grade_1/rhythm/tapping'"), QStringList{"COMPLETED"});
    // The exam lies in the grade, which becomes the current module: 5 completed of the 10 activities below it.
    facade()->setCurrentActivity(item("Grade 1/Exam"));
    complete("Grade 1/Melody/Exercise: Pitch Singing 1");
    complete("Grade 1/Exam");
    EXPECT_EQ(facade()->moduleCompletionPercentage(), 50);
}

TEST_F(CourseFacade, SetCurrentActivityIgnoresTheRootAndClearsOnAModule)
{
    QSignalSpy activityChanged(facade(), &QmlFacadeCourse::currentActivityChanged);
    facade()->setCurrentActivity(facade()->rootItem());
    facade()->setCurrentActivity(item("Grade 1/Rhythm/Intro"));
    EXPECT_EQ(activityChanged.count(), 0);

    facade()->setCurrentActivity(item("Grade 1/Melody"));
    EXPECT_EQ(FrameworkModel::getInstance()->getCurrentActivity(), nullptr);
    EXPECT_EQ(dbRows("SELECT path FROM element_state WHERE selected = 'true'"), QStringList());
    EXPECT_FALSE(item("Grade 1/Rhythm/Intro")->isCurrent());
    EXPECT_EQ(AssertRecorder::count(), 0);
}

// ---- question context (its main road is driven from QML) ------------------------------------------

QmlFacadeQuestionContext* context(const char* path)
{
    return item(path)->questionContext();
}

TEST_F(CourseFacade, BadIndexesAndItemsWithoutQuestionsAreRefused)
{
    QmlFacadeQuestionContext* ctx = context("Grade 1/Rhythm/Exercise: Note Tapping 1");
    ctx->load();
    EXPECT_TRUE(ctx->question(-1).isEmpty());
    EXPECT_TRUE(ctx->question(1).isEmpty());
    ctx->submitQuestionOutcome(-1, 1.0);
    EXPECT_EQ(AssertRecorder::expressions(), (QStringList{"idx >= 0", "idx < m_questionList.count()", "idx >= 0"}));

    for (const char* path : {"Grade 1/Rhythm/Intro", "Grade 1/Rhythm"}) {
        QmlFacadeQuestionContext* idle = context(path);
        idle->load();
        idle->submitMark(1.0);
        EXPECT_EQ(idle->count() + idle->mark() + idle->ratingDelta(), -2.0) << path;
    }
    EXPECT_EQ(LogCapture::instance().linesContaining("not a question activity").size(), 8);
    EXPECT_EQ(dbRows("SELECT (SELECT count(*) FROM answers) + (SELECT count(*) FROM marks)"), QStringList{"0"});
}

// An association that asks for no question (a count of 0, or none written) is a fault of the course
// file: left out with a line naming the file, and the activity opens with the other associations.
TEST_F(CourseFacade, AnAssociationAskingForNoQuestionIsLeftOutWithALine)
{
    QmlFacadeQuestionContext* ctx = context("Grade 1/Rhythm/Exercise: Note Tapping 1");
    LmsQuestionActivity::AssociationList& associations = ctx->activity()->getAssociationList();
    LmsQuestionAssociation* none = associations.append();
    associations.move(associations.getCount() - 1, 0);
    ctx->load();
    associations.remove(none);
    EXPECT_EQ(AssertRecorder::expressions(), QStringList());
    EXPECT_EQ(ctx->count(), 1);
    EXPECT_EQ(LogCapture::instance()
                  .linesContaining("an association in " + g_courseDir->path() +
                                   "/00_grade_1/00_rhythm/02_notes/_metadata.json asks for 0 questions of ")
                  .size(),
              1);
}

// A source with no questions that match, its file's "questions" empty or its tags not the ones asked
// for, is the course file's fault too: left out with a line naming the file, no fatal report, and an
// activity with nothing else opens with no questions (its page says so).
TEST_F(CourseFacade, AnAssociationWhoseSourceHasNoMatchingQuestionIsLeftOutWithALine)
{
    QmlFacadeQuestionContext* ctx = context("Grade 1/Rhythm/Exercise: Note Tapping 1");
    const QString line = "an association in " + g_courseDir->path() +
                         "/00_grade_1/00_rhythm/02_notes/_metadata.json asks for 1 questions of ";
    LmsQuestionActivity* source = ctx->activity();
    LmsQuestionActivity written;
    written.assignQestionSet(source);
    source->clearQuestionSet();
    ctx->load();
    source->assignQestionSet(&written);
    EXPECT_EQ(ctx->count(), 0);

    LmsQuestionFilter* filter = source->getAssociationList().getAssociations().first()->getFilter();
    const QStringList tags = filter->getTagList();
    filter->setTagList(QStringList{"no such tag"});
    ctx->load();
    filter->setTagList(tags);
    EXPECT_EQ(ctx->count(), 0);
    EXPECT_EQ(AssertRecorder::expressions(), QStringList());
    EXPECT_EQ(LogCapture::instance().linesContaining(line).size(), 2);
    EXPECT_TRUE(LogCapture::instance().contains(", which has none that match; left out"));

    ctx->load();  // the questions back: the activity opens as written
    EXPECT_EQ(ctx->count(), 1);
}

// An answer the file cannot take now: no fatal report, the context says how many wait and tells
// when that changes, and the next answer that gets through saves the waiting one first. One the
// file refuses for good waits for nothing: the notice says it was not saved.
TEST_F(CourseFacade, UnsavedAnswersAreCountedOnTheContextAndSavedWithTheNext)
{
    QmlFacadeQuestionContext* ctx = context("Grade 1/Rhythm/Exercise: Note Tapping 1");
    ctx->load();
    ASSERT_EQ(ctx->count(), 1);
    QSignalSpy changed(ctx, &QmlFacadeQuestionContext::unsavedCountChanged);
    const QString path = FrameworkManager::getInstance()->m_dbPath;
    FrameworkManager::getInstance()->mp_database->setBusyTimeout(100);
    QmlGlobals* globals = QmlGlobals::getInstance();
    const int asideBefore = FrameworkManager::getInstance()->pendingRecords().setAsideIn().count();
    // the file held or refusing, the outcome, then the count waiting, the signals so far and the
    // stored outcomes in row order
    const struct { bool hold; bool refuse; double outcome; int unsaved; int notices; const char* stored; } steps[] = {
        {true, false, 0.25, 1, 1, ""},
        {true, false, 0.5, 2, 2, ""},
        {false, false, 1.0, 0, 3, "0.25 0.5 1.0"},
        {false, true, 0.75, 0, 3, "0.25 0.5 1.0"},
        {false, true, 0.25, 0, 3, "0.25 0.5 1.0"},
        {false, false, 0.5, 0, 3, "0.25 0.5 1.0 0.5"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.outcome);
        ASSERT_TRUE(sqlRun(path, step.refuse ? "CREATE TRIGGER IF NOT EXISTS refuse BEFORE INSERT ON answers BEGIN "
                                               "SELECT RAISE(ABORT, 'refused'); END"
                                             : "DROP TRIGGER IF EXISTS refuse"));
        {
            std::unique_ptr<HeldLock> lock(step.hold ? new HeldLock(path, -1) : nullptr);
            ctx->submitQuestionOutcome(0, step.outcome);
        }
        EXPECT_EQ(ctx->unsavedCount(), step.unsaved);
        EXPECT_EQ(ctx->property("unsavedCount").toInt(), step.unsaved);
        EXPECT_EQ(changed.count(), step.notices);
        EXPECT_EQ(dbRows("SELECT correctness FROM answers ORDER BY id").join(' '), QLatin1String(step.stored));
    }
    // each side file named, not only the last
    const QStringList aside = FrameworkManager::getInstance()->pendingRecords().setAsideIn().mid(asideBefore);
    ASSERT_EQ(aside.count(), 2);
    EXPECT_TRUE(globals->recordsNotice().contains(QStringLiteral("2 results could not be saved: your records "
                                                                 "refused them. What they were is kept in ")
                                                  + aside.join(QStringLiteral(", ")) + QLatin1Char('.')))
        << globals->recordsNotice().toStdString();
    globals->dismissRecordsNotice();
    FrameworkManager::getInstance()->mp_database->setBusyTimeout(edufrmwk::Database::DefaultBusyTimeoutMs);
    EXPECT_EQ(AssertRecorder::count(), 0);
}

// Another program holding the file past the wait at the end of an activity and on the screens
// that read the records: no fatal report, the screen has what it has and a line, the completion
// stands and waits with the mark, and all of it is saved once the file is free.
TEST_F(CourseFacade, ABusyFileAtTheEndOfAnActivityAndOnTheScreensIsNoFatalReport)
{
    const QString path = FrameworkManager::getInstance()->m_dbPath;
    edufrmwk::Database* db = FrameworkManager::getInstance()->mp_database;
    db->setBusyTimeout(200);
    Item* exercise = item("Grade 1/Rhythm/Exercise: Note Tapping 1");
    QmlFacadeQuestionContext* ctx = exercise->questionContext();
    ctx->load();
    ctx->start();
    QmlGlobals* globals = QmlGlobals::getInstance();
    QmlFacadeStats stats;
    {
        HeldLock lock(path, -1);
        ASSERT_TRUE(lock.taken());
        ctx->submitQuestionOutcome(0, 0.75);
        ctx->submitMark(0.75);
        exercise->setState(Item::Completed);
        EXPECT_EQ(exercise->state(), Item::Completed);
        EXPECT_EQ(globals->unsavedCount(), 4);  // the answer, the mark, the rating, the states
        // this run's mark is shown while it waits; its gain is not known before it is saved
        EXPECT_EQ(ctx->mark(), 0.75);
        EXPECT_EQ(ctx->ratingDelta(), -1.0);

        EXPECT_EQ(stats.progress()->rowCount(), 1);
        EXPECT_FALSE(globals->recordsNotice().isEmpty());
        EXPECT_TRUE(globals->recordsJustFailed());
        stats.quizMarks();
        stats.skills();
        EXPECT_EQ(AssertRecorder::count(), 0) << AssertRecorder::expressions().join(',').toStdString();
    }
    EXPECT_EQ(FrameworkManager::getInstance()->saveUnsaved(), 0);
    EXPECT_EQ(globals->unsavedCount(), 0);
    EXPECT_EQ(dbRows("SELECT mark, ratingDelta > 0 FROM marks ORDER BY id DESC LIMIT 1"), QStringList{"0.75|1"});
    EXPECT_EQ(dbRows("SELECT state FROM element_state WHERE path = 'grade_1/rhythm/notes'"),
              QStringList{"COMPLETED"});
    // a read that gets through takes the line away
    EXPECT_EQ(ctx->mark(), 0.75);
    EXPECT_TRUE(globals->recordsNotice().isEmpty());
    db->setBusyTimeout(edufrmwk::Database::DefaultBusyTimeoutMs);
}

}  // namespace
