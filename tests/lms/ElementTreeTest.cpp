#include "LmsFixtures.h"

using namespace lmstest;

namespace {

QStringList names(const QList<LmsElement*>& list)
{
    QStringList out;
    for (const LmsElement* e : list)
        out << e->getName();
    return out;
}

}  // namespace

// Course: 01_first_grade (First Grade) / 02_intervals (Intervals) / 03_major_thirds
// (Major Thirds), plus a learning page in the grade.
class ElementTree : public ::testing::Test {
protected:
    ElementTree()
    {
        grade = new LmsModuleElement(QStringLiteral("First Grade"), QStringLiteral("01_first_grade"), &course);
        subject = new LmsModuleElement(QStringLiteral("Intervals"), QStringLiteral("02_intervals"), grade);
        activity = new LmsExerciseActivity(QStringLiteral("Major Thirds"), QStringLiteral("03_major_thirds"), subject);
        page = new LmsLearningActivity(QStringLiteral("Intro"), QStringLiteral("04_intro"), grade);
        course.setModified(false);
    }
    LmsCourse course{QStringLiteral("Course")};
    LmsModuleElement* grade;
    LmsModuleElement* subject;
    LmsExerciseActivity* activity;
    LmsLearningActivity* page;
};

TEST_F(ElementTree, PathsInAllForms)
{
    // The loader's tests compare every path form of a whole course; these are the edges.
    EXPECT_EQ(grade->getElementRelativePath(activity), QStringLiteral("Intervals / Major Thirds"));
    EXPECT_EQ(QList<int>({course.getDepth(), grade->getDepth(), subject->getDepth()}), QList<int>({1, 2, 3}));

    // One numeric prefix is stripped; a detached element's path is its own directory name.
    const struct { const char* fsName; const char* normalized; } rows[] = {
        {"01_2nd_grade", "2nd_grade"}, {"01_02_x", "02_x"}, {"_intro", "intro"}, {"intro", "intro"}, {"12abc_x", "12abc_x"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(LmsModuleElement(QStringLiteral("m"), QString::fromLatin1(r.fsName), nullptr).getNormalizedElementPath(),
                  QString::fromLatin1(r.normalized)) << r.fsName;
}

TEST_F(ElementTree, LookupsBothWays)
{
    const struct { const char* path; LmsElement* normalized; LmsElement* display; } rows[] = {
        {"first_grade/intervals/major_thirds", activity, nullptr},
        {"first_grade", grade, nullptr},
        {"", nullptr, nullptr},
        {"first_grade/", nullptr, nullptr},
        {"first_grade//intervals", nullptr, nullptr},
        {"first_grade/intro/below", nullptr, nullptr},
        {"  First Grade /  Intervals / Major Thirds ", nullptr, activity},
        {"First Grade/Intervals", nullptr, subject},
        {"First Grade / Intro / x", nullptr, nullptr},
        {"first grade", nullptr, nullptr},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(course.findElementByNormalizedPath(QString::fromLatin1(r.path)), r.normalized) << r.path;
        EXPECT_EQ(course.getElement(QString::fromLatin1(r.path)), r.display) << r.path;
    }

    // Two siblings of the same normalised name: the first wins.
    new LmsModuleElement(QStringLiteral("Twin"), QStringLiteral("05_first_grade"), &course);
    EXPECT_EQ(course.findElementByNormalizedPath(QStringLiteral("first_grade")), grade);
}

TEST_F(ElementTree, ChangesMarkAncestorsModified)
{
    QSignalSpy courseModified(&course, &LmsCourse::modified);
    QSignalSpy gradeElementChanged(grade, &LmsModuleElement::elementChanged);
    auto* child = new LmsLearningActivity(QStringLiteral("New"), QString(), subject);
    EXPECT_FALSE(child->isModified());
    EXPECT_FALSE(activity->isModified());
    EXPECT_TRUE(grade->isModified());
    EXPECT_TRUE(course.isModified());
    ASSERT_EQ(gradeElementChanged.count(), 1);
    EXPECT_EQ(gradeElementChanged.at(0).at(0).toInt(), 0);
    // Clearing descends through the modified branches, and signals once.
    course.setModified(false);
    course.setModified(false);
    EXPECT_FALSE(subject->isModified());
    EXPECT_EQ(courseModified.count(), 2);

    QSignalSpy changed(page, &LmsElement::changed);
    page->setName(QStringLiteral("  Welcome  "));
    EXPECT_EQ(page->getName(), QStringLiteral("Welcome"));
    page->setName(QStringLiteral("Welcome "));
    page->setHasData(false);
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(ElementTree, MoveAndRemove)
{
    // The target is the position before which the element goes, in the list as it was.
    const struct { int from; int to; const char* order; } rows[] = {
        {0, 2, "BACD"}, {0, 4, "BCDA"}, {3, 0, "DABC"}, {2, 9, "ABDC"}, {0, 1, "ABCD"},
    };
    for (const auto& r : rows) {
        LmsModuleElement m(QStringLiteral("m"), QString(), nullptr);
        for (const char* n : {"A", "B", "C", "D"})
            new LmsLearningActivity(QString::fromLatin1(n), QString(), &m);
        m.setModified(false);
        m.moveElement(r.from, r.to);
        EXPECT_EQ(names(m.getElementList()).join(QString()), QString::fromLatin1(r.order)) << r.from << "->" << r.to;
        EXPECT_TRUE(m.isModified()) << "a reordered module must be saved again";
    }

    QPointer<LmsElement> removedActivity = activity;
    grade->setModified(false);
    grade->removeElement(0);
    EXPECT_TRUE(removedActivity.isNull());
    EXPECT_TRUE(grade->isModified());
    EXPECT_EQ(names(grade->getElementList()), QStringList({"Intro"}));
    // A bad index is refused, not a crash.
    grade->removeElement(5);
    grade->moveElement(-1, 0);
    EXPECT_EQ(grade->getElementList().size(), 1);
}

TEST(ElementFiles, CommonDirectoryReferences)
{
    QTemporaryDir root;
    LmsCourse course(QStringLiteral("Course"));
    ASSERT_EQ(course.load(root.path(), false), 0);  // empty: the course now just knows its path
    auto* grade = new LmsModuleElement(QStringLiteral("First Grade"), QStringLiteral("01_first_grade"), &course);
    auto* activity = new LmsExerciseActivity(QStringLiteral("Thirds"), QStringLiteral("02_thirds"), grade);
    const QDir dir(root.path());
    const QString activityDir = dir.filePath(QStringLiteral("01_first_grade/02_thirds"));
    const QString outside = dir.filePath(QStringLiteral("commonstuff/x.png"));
    const QString piano = dir.filePath(QStringLiteral("common/img/piano.png"));
    ASSERT_TRUE(writeFile(outside, "x"));
    ASSERT_TRUE(writeFile(activityDir + QStringLiteral("/intro.png"), "x"));

    // Without a "common" directory nothing becomes "common:"; "commonstuff" is never below it.
    EXPECT_EQ(activity->getRelativeFilePath(piano), QStringLiteral("../../common/img/piano.png"));
    ASSERT_TRUE(writeFile(piano, "x"));
    const struct { QString path; QString relative; } rows[] = {
        {piano, QStringLiteral("common:img/piano.png")},
        {outside, QStringLiteral("../../commonstuff/x.png")},
        {activityDir + QStringLiteral("/intro.png"), QStringLiteral("intro.png")},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(activity->getRelativeFilePath(r.path), r.relative);
        EXPECT_EQ(QDir::cleanPath(activity->getAbsoluteFilePath(r.relative)), r.path);
    }
    activity->setIntroGraphicPath(piano);
    EXPECT_EQ(activity->getIntroGraphicPath(), QStringLiteral("common:img/piano.png"));
}

TEST(ElementFiles, LoadStatusAndResourcePrefix)
{
    QTemporaryDir empty;
    LmsCourse course(QStringLiteral("Course"));
    EXPECT_EQ(course.load(QString(), false), 4);  // a fresh course already holds the empty path
    // Never loaded: a save would write into the working directory.
    new LmsLearningActivity(QStringLiteral("Page"), QString(), &course);
    EXPECT_EQ(course.save(), 1);
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("00_page")));
    EXPECT_EQ(course.load(empty.path(), false), 0);
    EXPECT_TRUE(course.getElementList().isEmpty());
    EXPECT_FALSE(course.isModified());

    // A missing directory is a failed load, and nothing is saved over it.
    LmsCourse missing(QStringLiteral("Course"));
    EXPECT_EQ(missing.load(empty.path() + QStringLiteral("/absent"), false), 1);
    EXPECT_EQ(missing.save(), 1);

    // The compiled resources hold no numbered directory at ":/json": an empty course.
    LmsCourse fromResource(QStringLiteral("Course"));
    EXPECT_EQ(fromResource.load(QStringLiteral(":/json"), true), 0);
    auto* grade = new LmsModuleElement(QStringLiteral("G"), QStringLiteral("01_first_grade"), &fromResource);
    EXPECT_EQ(grade->getFsAbsolutePath(), QStringLiteral("://01_first_grade"));
}

// Every element owns the state object it holds: deleting a subtree deletes its states, children's
// first.
TEST_F(ElementTree, StateObjectsGoWithTheirElements)
{
    struct Probe : LmsElement::State {
        Probe(QStringList* gone, const QString& name) : gone(gone), name(name) {}
        ~Probe() override { *gone << name; }
        QStringList* gone;
        QString name;
    };
    QStringList gone;
    const struct {
        LmsElement* element;
        const char* name;
    } rows[] = {{grade, "grade"}, {subject, "subject"}, {activity, "activity"}, {page, "page"}};
    for (const auto& r : rows)
        r.element->setState(new Probe(&gone, r.name));

    grade->getElementList().removeAll(subject);
    delete subject;
    EXPECT_EQ(gone, QStringList({"activity", "subject"}));
    course.getElementList().removeAll(grade);
    delete grade;
    EXPECT_EQ(gone, QStringList({"activity", "subject", "page", "grade"}));
}
