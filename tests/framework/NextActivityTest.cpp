// Next and recommended activity: table-driven over small courses with states set in memory.
#include "TestCourse.h"

#include "framework/FrameworkModel.h"
#include "lms/LmsActivityElement.h"
#include "lms/LmsCourse.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

using edufrmwk::FrameworkModel;

namespace {

TEST(NextActivity, FollowsTheRules)
{
    // course, states (an element not named is NONE, which no search enters), from, expected ("" for none)
    const struct { const char* name; const char* course; const char* states; const char* from; const char* expected; } rows[] = {
        {"NextOpenInSubject", "g[s[a1 a2 a3]]", "g=U s=U a1=C a2=U a3=U", "a1", "a2"},
        {"SkipsClosedInSubject", "g[s[a1 a2 a3]]", "g=U s=U a2=C a3=U", "a1", "a3"},
        {"OpenBeforeTestWins", "g[s0[b] s[a] t]", "g=U s0=U b=U s=U a=C t=U", "a", "b"},
        {"TestWhenNothingBefore", "g[s0[b] s[a] t]", "g=U s0=C b=C s=U a=C t=U", "a", "t"},
        {"SearchAfterStopsAtTest", "g[s[a] t e]", "g=U s=U a=C t=U e=U", "a", "t"},
        {"ExerciseAfterIsOffered", "g[s[a] e t]", "g=U s=U a=C e=U t=U", "a", "e"},
        {"SubjectAfterIsSearchedWhole", "g[s[a] s2[b1 b2]]", "g=U s=U a=C s2=U b2=U", "a", "b2"},
        {"LockedSubjectIsSkippedWhole", "g[s[a] s2[b1] s3[c1]]", "g=U s=U a=C s2=L b1=U s3=U c1=U", "a", "c1"},
        {"CompletedSubjectIsSkippedWhole", "g[s[a] s2[b1] s3[c1]]", "g=U s=U a=C s2=C b1=U s3=U c1=U", "a", "c1"},
        {"EmptySubjectYieldsNothing", "g[s[a] e[] s3[c1]]", "g=U s=U a=C e=U s3=U c1=U", "a", "c1"},
        {"EarlierInSubjectOnlyThroughCourseSearch", "g[s[a0 a]]", "g=U s=U a0=U a=C", "a", "a0"},
        {"OtherGradeFromTheFirst", "g1[s1[x]] g2[s[a]]", "g1=U s1=U x=U g2=U s=U a=C", "a", "x"},
        {"EarlierGradeBeforeOwnEarlierItem", "g1[s1[x]] g2[s[a0 a]]", "g1=U s1=U x=U g2=U s=U a0=U a=C", "a", "x"},
        {"CourseSearchMayReturnItself", "g[s[a]]", "g=U s=U a=U", "a", "a"},
        {"EverythingCompleted", "g1[s[a b]] g2[s2[c]]", "g1=C s=C a=C b=C g2=C s2=C c=C", "a", ""},
        {"ActivityInGradeSearchesLaterSiblings", "g[a s[b1 b2] c]", "g=U a=C s=U b1=C b2=U c=U", "a", "b2"},
        {"ActivityInGradeThenEarlierItems", "g[s[b1] a c]", "g=U s=U b1=U a=C c=C", "a", "b1"},
        {"ActivityInCourseUsesCourseSearch", "x g[s[a]]", "x=C g=U s=U a=U", "x", "a"},
        {"ActivityInCourseIsOfferedLikeOthers", "g[s[a]] x", "g=C s=C a=C x=U", "a", "x"},
    };
    for (const auto& c : rows) {
        AssertRecorder::clear();
        LogCapture::instance().clear();
        TestCourse course(QString::fromLatin1(c.course));
        course.setStates(QString::fromLatin1(c.states));
        FrameworkModel model(nullptr);
        LmsActivityElement* next = model.getNextActivity(dynamic_cast<LmsActivityElement*>(course[c.from]));
        EXPECT_EQ(next ? next->getName() : QString(), QString::fromLatin1(c.expected)) << c.name;
        EXPECT_EQ(LogCapture::instance().contains(QStringLiteral("finished all content!")), next == nullptr) << c.name;
        EXPECT_EQ(AssertRecorder::count(), 0) << c.name;
    }
}

TEST(RecommendedActivity, RangesAreHalfOpenAndEmptyRangesFindNothing)
{
    TestCourse course(QStringLiteral("g1[s1[a1 a2 a3]] g2[s2[b1]]"));
    course.setStates(QStringLiteral("g1=U s1=U a1=U a3=U g2=U s2=U b1=U"));
    FrameworkModel model(nullptr);
    auto* s1 = dynamic_cast<LmsModuleElement*>(course["s1"]);
    auto* g1 = dynamic_cast<LmsModuleElement*>(course["g1"]);
    EXPECT_EQ(model.findRecommendedActivityInSubject(s1, 0, 3), course["a1"]);
    EXPECT_EQ(model.findRecommendedActivityInSubject(s1, 1, 3), course["a3"]);
    EXPECT_EQ(model.findRecommendedActivityInSubject(s1, 1, 2), nullptr);
    EXPECT_EQ(model.findRecommendedActivityInSubject(s1, 3, 1), nullptr);
    EXPECT_EQ(model.findRecommendedActivityInSubject(s1, -4, 99), course["a1"]);  // clamped, never out of range
    EXPECT_EQ(model.findRecommendedActivityInGrade(g1, 0, 1), course["a1"]);
    EXPECT_EQ(model.findRecommendedActivityInRoot(course.course(), 1, 2), course["b1"]);
    course.setStates(QStringLiteral("g1=L"));
    EXPECT_EQ(model.findRecommendedActivityInRoot(course.course(), 0, 2), course["b1"]);
}

TEST(RecommendedActivity, DetachedActivityIsAShapeError)
{
    AssertRecorder::clear();
    LmsActivityElement detached(QStringLiteral("practice"), QStringLiteral("#practice#"), nullptr);
    ElementState state(&detached);
    FrameworkModel model(nullptr);
    EXPECT_EQ(model.getNextActivity(&detached), nullptr);
    EXPECT_EQ(AssertRecorder::expressions(), (QStringList{"gradeModule", "rootModule"}));
}

}  // namespace
