// The course facade when nothing can be current: the course (compiled into the resources) opens
// only an empty subject at the first login, so there is no current module or activity.
#include "FacadeEnvironment.h"

#include "app/facades/QmlFacadeCourse.h"
#include "app/facades/QmlFacadeCourseItem.h"
#include "framework/FrameworkModel.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

namespace {

LmsCourse* g_course = nullptr;

class IdleEnvironment : public ::testing::Environment {
public:
    void SetUp() override { g_course = startFramework(QStringLiteral(":/idle")); }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new IdleEnvironment);

class IdleCourse : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(g_course, nullptr);
        AssertRecorder::clear();
        LogCapture::instance().clear();
    }
};

TEST_F(IdleCourse, BuildsWithoutCurrentActivityAndSummariesAtZero)
{
    ASSERT_EQ(edufrmwk::FrameworkModel::getInstance()->getCurrentActivity(), nullptr);
    QmlFacadeCourse* course = QmlFacadeCourse::instance();
    EXPECT_EQ(course->currentActivity(), nullptr);
    EXPECT_EQ(course->currentModule(), nullptr);
    EXPECT_TRUE(course->isInitialActivity());
    EXPECT_FALSE(course->isNewModule());
    EXPECT_EQ(course->moduleCompletionPercentage(), 0);
    EXPECT_EQ(course->lockedGradeCount(), 0);  // one locked grade
    EXPECT_EQ(AssertRecorder::count(), 0);
}

TEST_F(IdleCourse, NextAndPreviousWarnAndChangeNothing)
{
    QmlFacadeCourse* course = QmlFacadeCourse::instance();
    QSignalSpy activityChanged(course, &QmlFacadeCourse::currentActivityChanged);
    QSignalSpy summaries(course, &QmlFacadeCourse::moduleCompletionPercentageChanged);
    course->nextActivity();
    course->previousActivity();
    EXPECT_EQ(course->currentActivity(), nullptr);
    EXPECT_EQ(activityChanged.count() + summaries.count(), 0);
    EXPECT_EQ(LogCapture::instance().linesContaining("no current activity").size(), 2);
    EXPECT_EQ(AssertRecorder::count(), 0);
}

TEST_F(IdleCourse, ResourcePagePathsKeepTheirColonAndSlashes)
{
    QmlFacadeCourseItem* grade = QmlFacadeCourse::instance()->rootItem()->child(1);
    ASSERT_NE(grade, nullptr);
    EXPECT_EQ(grade->fsPath(), ":/idle/01_grade_2/");
    EXPECT_EQ(grade->child(0)->child(0)->fsPath(), ":/idle/01_grade_2/00_rhythm/00_intro/page.qml");
    EXPECT_EQ(grade->child(0)->child(0)->type(), QmlFacadeCourseItem::Learning);
    EXPECT_EQ(QmlFacadeCourse::instance()->rootItem()->child(0)->child(0)->state(), QmlFacadeCourseItem::Locked);
}

}  // namespace
