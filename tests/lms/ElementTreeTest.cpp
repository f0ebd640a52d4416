#include "lms/LmsCourse.h"
#include "lms/LmsExerciseActivity.h"
#include "lms/LmsLearningActivity.h"
#include "lms/LmsTestActivity.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace {

// Course /srv/course: 01_first_grade (First Grade) / 02_intervals (Intervals) /
// 03_major_thirds (Major Thirds), plus a learning page in the grade.
struct ExampleTree {
    LmsCourse course{QStringLiteral("Course")};
    LmsModuleElement* grade;
    LmsModuleElement* subject;
    LmsExerciseActivity* activity;
    LmsLearningActivity* page;

    ExampleTree()
    {
        grade = new LmsModuleElement(QStringLiteral("First Grade"), QStringLiteral("01_first_grade"), &course);
        subject = new LmsModuleElement(QStringLiteral("Intervals"), QStringLiteral("02_intervals"), grade);
        activity = new LmsExerciseActivity(QStringLiteral("Major Thirds"), QStringLiteral("03_major_thirds"), subject);
        page = new LmsLearningActivity(QStringLiteral("Intro"), QStringLiteral("04_intro"), grade);
        course.setModified(false);
    }
};

QStringList names(const QList<LmsElement*>& list)
{
    QStringList out;
    for (const LmsElement* e : list)
        out << e->getName();
    return out;
}

}  // namespace

TEST(ElementTree, PathsInAllForms)
{
    ExampleTree t;
    ASSERT_EQ(t.course.getFsPath(false), QString());
    EXPECT_EQ(t.activity->getFsRelativePath(), QStringLiteral("01_first_grade/02_intervals/03_major_thirds"));
    EXPECT_EQ(t.activity->getNormalizedElementName(), QStringLiteral("major_thirds"));
    EXPECT_EQ(t.activity->getNormalizedElementPath(), QStringLiteral("first_grade/intervals/major_thirds"));
    EXPECT_EQ(t.subject->getNormalizedElementPath(), QStringLiteral("first_grade/intervals"));
    EXPECT_EQ(t.course.getNormalizedElementPath(), QString());
    EXPECT_EQ(t.activity->getPath(), QStringLiteral("First Grade / Intervals / Major Thirds"));
    EXPECT_EQ(t.activity->getRelativePath(t.grade), QStringLiteral("Intervals / Major Thirds"));
    EXPECT_EQ(t.grade->getElementRelativePath(t.activity), QStringLiteral("Intervals / Major Thirds"));
    EXPECT_EQ(t.grade->getElementRelativePath(nullptr), QString());
    EXPECT_EQ(t.activity->getCourse(), &t.course);
    EXPECT_EQ(t.course.getCourse(), nullptr);

    EXPECT_EQ(QList<int>({t.course.getDepth(), t.grade->getDepth(), t.subject->getDepth()}), QList<int>({1, 2, 3}));
    // one numeric prefix is stripped; a detached element's relative path is its own directory name
    const QStringList from = {"01_2nd_grade", "01_02_x", "_intro", "intro", "12abc_x"};
    const QStringList to = {"2nd_grade", "02_x", "intro", "intro", "12abc_x"};
    for (int i = 0; i < from.size(); ++i)
        EXPECT_EQ(LmsModuleElement(QStringLiteral("m"), from[i], nullptr).getNormalizedElementPath(), to[i]) << from[i].toStdString();
}

TEST(ElementTree, LookupsBothWays)
{
    ExampleTree t;
    EXPECT_EQ(t.course.findElementByNormalizedPath(QStringLiteral("first_grade/intervals/major_thirds")), t.activity);
    EXPECT_EQ(t.course.findElementByNormalizedPath(QStringLiteral("first_grade")), t.grade);
    for (const char* miss : {"", "first_grade/", "first_grade//intervals", "First_grade",
                             "first_grade/intro/below", "nothing"})
        EXPECT_EQ(t.course.findElementByNormalizedPath(QString::fromLatin1(miss)), nullptr) << miss;
    // Every element's normalised path finds it again.
    QList<LmsElement*> all;
    t.course.findElementsByType(all);
    for (LmsElement* e : all)
        EXPECT_EQ(t.course.findElementByNormalizedPath(e->getNormalizedElementPath()), e);

    EXPECT_EQ(t.course.getElement(QStringLiteral("  First Grade /  Intervals / Major Thirds ")), t.activity);
    EXPECT_EQ(t.course.getElement(QStringLiteral("First Grade/Intervals")), t.subject);
    EXPECT_EQ(t.course.getElement(QString()), nullptr);
    EXPECT_EQ(t.course.getElement(QStringLiteral("First Grade / Intro / x")), nullptr);
    EXPECT_EQ(t.course.getElement(QStringLiteral("first grade")), nullptr);
    EXPECT_EQ(t.course.getElement(t.activity->getPath()), t.activity);

    // Two siblings of the same normalised name: the first wins.
    auto* twin = new LmsModuleElement(QStringLiteral("Twin"), QStringLiteral("05_first_grade"), &t.course);
    ASSERT_EQ(twin->getNormalizedElementPath(), t.grade->getNormalizedElementPath());
    EXPECT_EQ(t.course.findElementByNormalizedPath(QStringLiteral("first_grade")), t.grade);
}

TEST(ElementTree, CollectByTypeDepthFirst)
{
    ExampleTree t;
    auto* grade2 = new LmsModuleElement(QStringLiteral("Second"), QStringLiteral("02_second"), &t.course);
    auto* test = new LmsTestActivity(QStringLiteral("Final"), QStringLiteral("00_final"), grade2);

    QList<LmsModuleElement*> modules;
    t.course.findElementsByType(modules);
    ASSERT_EQ(modules.size(), 3);
    EXPECT_EQ(modules[0], t.grade);
    EXPECT_EQ(modules[1], t.subject);
    EXPECT_EQ(modules[2], grade2);

    QList<LmsElement*> all;
    t.course.findElementsByType(all);
    EXPECT_EQ(names(all), QStringList({"First Grade", "Intervals", "Major Thirds", "Intro", "Second", "Final"}));
    t.course.findElementsByType(all, grade2);  // appends, start module excluded
    EXPECT_EQ(all.size(), 7);
    EXPECT_EQ(all.last(), test);

    QList<LmsExerciseActivity*> exercises;
    t.course.findElementsByType(exercises);
    EXPECT_EQ(exercises, QList<LmsExerciseActivity*>({t.activity}));  // a test is no exercise
    QList<LmsQuestionActivity*> questionActivities;
    t.course.findElementsByType(questionActivities);
    EXPECT_EQ(questionActivities.size(), 2);
}

TEST(ElementTree, AttachingMarksAncestorsModified)
{
    ExampleTree t;
    QSignalSpy courseModified(&t.course, &LmsCourse::modified);
    QSignalSpy gradeElementChanged(t.grade, &LmsModuleElement::elementChanged);
    QSignalSpy subjectChanged(t.subject, &LmsElement::changed);

    auto* child = new LmsLearningActivity(QStringLiteral("New"), QString(), t.subject);
    EXPECT_FALSE(child->isModified());
    EXPECT_TRUE(t.subject->isModified());
    EXPECT_TRUE(t.grade->isModified());
    EXPECT_TRUE(t.course.isModified());
    EXPECT_FALSE(t.activity->isModified());
    EXPECT_EQ(courseModified.count(), 1);
    EXPECT_EQ(subjectChanged.count(), 1);
    ASSERT_EQ(gradeElementChanged.count(), 1);
    EXPECT_EQ(gradeElementChanged.at(0).at(0).toInt(), 0);

    // Clearing descends through the modified branches only, and signals once.
    t.course.setModified(false);
    EXPECT_FALSE(t.subject->isModified());
    EXPECT_FALSE(t.grade->isModified());
    EXPECT_EQ(courseModified.count(), 2);
    t.course.setModified(false);
    EXPECT_EQ(courseModified.count(), 2);
}

TEST(ElementTree, SettersNotifyOnlyOnChange)
{
    ExampleTree t;
    QSignalSpy changed(t.page, &LmsElement::changed);
    QSignalSpy parentIndex(t.grade, &LmsModuleElement::elementChanged);

    t.page->setName(QStringLiteral("  Welcome  "));
    EXPECT_EQ(t.page->getName(), QStringLiteral("Welcome"));
    EXPECT_EQ(changed.count(), 1);
    ASSERT_EQ(parentIndex.count(), 1);
    EXPECT_EQ(parentIndex.at(0).at(0).toInt(), 1);
    EXPECT_TRUE(t.course.isModified());
    t.page->setName(QStringLiteral("Welcome "));
    EXPECT_EQ(changed.count(), 1);

    t.course.setModified(false);
    t.page->setDataPath(QString());
    t.page->setHasData(false);
    t.page->setImportMethod(LmsLearningActivity::ImportMethodNone);
    t.activity->setIntroText(QString());
    EXPECT_EQ(changed.count(), 1);
    EXPECT_FALSE(t.course.isModified());
    t.page->setHasData(true);
    EXPECT_EQ(changed.count(), 2);
    EXPECT_TRUE(t.grade->isModified());

    // setFsName is silent, icon setters notify the module only.
    QSignalSpy gradeChanged(t.grade, &LmsElement::changed);
    t.course.setModified(false);
    t.page->setFsName(QStringLiteral("09_x"));
    t.grade->setEnabledIconPath(QStringLiteral("a.png"));
    t.grade->setEnabledIconPath(QStringLiteral("a.png"));
    t.grade->setDisabledIconPath(QStringLiteral("b.png"));
    EXPECT_EQ(gradeChanged.count(), 2);
    EXPECT_FALSE(t.course.isModified());
}

TEST(ElementTree, MoveAndRemove)
{
    const auto order = [](std::initializer_list<int> move) {
        LmsModuleElement m(QStringLiteral("m"), QString(), nullptr);
        for (const char* n : {"A", "B", "C", "D"})
            new LmsLearningActivity(QString::fromLatin1(n), QString(), &m);
        QSignalSpy changed(&m, &LmsElement::changed);
        m.moveElement(*move.begin(), *(move.begin() + 1));
        EXPECT_EQ(changed.count(), 1);
        return names(m.getElementList()).join(QString());
    };
    EXPECT_EQ(order({0, 2}), QStringLiteral("BACD"));
    EXPECT_EQ(order({0, 4}), QStringLiteral("BCDA"));
    EXPECT_EQ(order({3, 0}), QStringLiteral("DABC"));
    EXPECT_EQ(order({2, 9}), QStringLiteral("ABDC"));
    EXPECT_EQ(order({0, 1}), QStringLiteral("ABCD"));

    ExampleTree t;
    QPointer<LmsElement> subject = t.subject;
    QPointer<LmsElement> activity = t.activity;
    t.grade->removeElement(0);
    EXPECT_TRUE(subject.isNull());
    EXPECT_TRUE(activity.isNull());
    EXPECT_EQ(names(t.grade->getElementList()), QStringList({"Intro"}));
    EXPECT_TRUE(t.grade->hasDependencies());
    EXPECT_FALSE(t.page->hasDependencies());
    EXPECT_TRUE(t.course.hasDependencies());
    // A bad index is refused, not a crash.
    t.grade->removeElement(5);
    t.grade->moveElement(-1, 0);
    EXPECT_EQ(t.grade->getElementList().size(), 1);
}

TEST(ElementTree, CommonDirectoryReferences)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    LmsCourse course(QStringLiteral("Course"));
    ASSERT_EQ(course.load(root.path(), false), 0);  // empty: the course now just knows its path
    auto* grade = new LmsModuleElement(QStringLiteral("First Grade"), QStringLiteral("01_first_grade"), &course);
    auto* subject = new LmsModuleElement(QStringLiteral("Intervals"), QStringLiteral("02_intervals"), grade);
    auto* activity = new LmsExerciseActivity(QStringLiteral("Major Thirds"), QStringLiteral("03_major_thirds"), subject);

    QDir dir(root.path());
    ASSERT_TRUE(dir.mkpath(QStringLiteral("01_first_grade/02_intervals/03_major_thirds")));
    ASSERT_TRUE(dir.mkpath(QStringLiteral("commonstuff")));
    const auto touch = [&](const QString& rel) {
        QFile f(dir.filePath(rel));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    };
    touch(QStringLiteral("commonstuff/x.png"));
    touch(QStringLiteral("01_first_grade/02_intervals/03_major_thirds/intro.png"));
    const QString activityDir = dir.filePath(QStringLiteral("01_first_grade/02_intervals/03_major_thirds"));

    EXPECT_EQ(activity->getFsAbsolutePath(), activityDir);
    EXPECT_EQ(activity->getCoursePath(), root.path());

    // Without a "common" directory nothing becomes "common:", and "commonstuff" is not below it.
    const QString outside = dir.filePath(QStringLiteral("commonstuff/x.png"));
    EXPECT_EQ(activity->getRelativeFilePath(outside), QStringLiteral("../../../commonstuff/x.png"));
    EXPECT_EQ(activity->getRelativeFilePath(activityDir + QStringLiteral("/intro.png")), QStringLiteral("intro.png"));

    ASSERT_TRUE(dir.mkpath(QStringLiteral("common/img")));
    touch(QStringLiteral("common/img/piano.png"));
    const QString piano = dir.filePath(QStringLiteral("common/img/piano.png"));
    EXPECT_EQ(activity->getRelativeFilePath(piano), QStringLiteral("common:img/piano.png"));
    EXPECT_EQ(activity->getAbsoluteFilePath(QStringLiteral("common:img/piano.png")), piano);
    EXPECT_EQ(activity->getAbsoluteFilePath(QStringLiteral("intro.png")), activityDir + QStringLiteral("/intro.png"));
    EXPECT_EQ(activity->getRelativeFilePath(outside), QStringLiteral("../../../commonstuff/x.png"));
    EXPECT_EQ(activity->getRelativeFilePath(QStringLiteral("common:a.png")), QStringLiteral("common:a.png"));
    // On the course a file outside "common" stays as given.
    EXPECT_EQ(course.getRelativeFilePath(outside), outside);
    EXPECT_EQ(course.getRelativeFilePath(piano), QStringLiteral("common:img/piano.png"));

    activity->setIntroGraphicPath(piano);
    EXPECT_EQ(activity->getIntroGraphicPath(), QStringLiteral("common:img/piano.png"));
    QSignalSpy changed(activity, &LmsElement::changed);
    activity->setIntroGraphicPath(QStringLiteral("common:img/piano.png"));  // same stored form
    EXPECT_EQ(changed.count(), 0);
}

TEST(ElementTree, LoadStatusAndResourcePrefix)
{
    QTemporaryDir empty;
    LmsCourse course(QStringLiteral("Course"));
    EXPECT_EQ(course.load(QString(), false), 4);  // a fresh course already holds the empty path
    new LmsModuleElement(QStringLiteral("X"), QStringLiteral("00_x"), &course);
    EXPECT_TRUE(course.isModified());
    EXPECT_EQ(course.load(empty.path(), false), 0);
    EXPECT_TRUE(course.getElementList().isEmpty());
    EXPECT_FALSE(course.isModified());
    new LmsModuleElement(QStringLiteral("Y"), QStringLiteral("00_y"), &course);
    EXPECT_EQ(course.load(empty.path(), false), 4);
    EXPECT_FALSE(course.isModified());
    EXPECT_EQ(course.getPathPrefix(), empty.path());

    LmsCourse missing(QStringLiteral("Course"));
    EXPECT_EQ(missing.load(empty.path() + QStringLiteral("/absent"), false), 1);
    EXPECT_EQ(missing.save(), 1);

    // The compiled resources hold no numbered directory at ":/json": an empty course.
    LmsCourse fromResource(QStringLiteral("Course"));
    EXPECT_EQ(fromResource.load(QStringLiteral(":/json"), true), 0);
    auto* grade = new LmsModuleElement(QStringLiteral("G"), QStringLiteral("01_first_grade"), &fromResource);
    EXPECT_EQ(fromResource.getPathPrefix(), QStringLiteral(":/"));
    EXPECT_EQ(grade->getFsAbsolutePath(), QStringLiteral("://01_first_grade"));
}
