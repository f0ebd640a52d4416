#include "lms/Lms.h"
#include "lms/LmsCourse.h"
#include "lms/LmsExerciseActivity.h"
#include "lms/LmsFilesystem.h"
#include "lms/LmsLearningActivity.h"
#include "lms/LmsQuestion.h"
#include "lms/LmsQuestionAssociation.h"
#include "lms/LmsTestActivity.h"

#include "CourseDescription.h"
#include "LmsTestSupport.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>

#include <unistd.h>

using namespace lmstest;

namespace {

// Every path below root with its content, to prove a refused save touched nothing.
QStringList snapshot(const QString& root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        entries << QDir(root).relativeFilePath(path) + QLatin1Char('=') + QString::fromUtf8(readFile(path).toHex());
    }
    entries.sort();
    return entries;
}

QStringList subdirectories(const QString& path)
{
    return QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

}  // namespace

class CourseSaver : public ::testing::Test {
protected:
    void SetUp() override
    {
        captureMessages();
        Lms::loadPlugins(fixture(QStringLiteral("valid/plugins")));
        ASSERT_TRUE(copyTree(fixture(QStringLiteral("valid")), root()));
        ASSERT_EQ(course.load(root(), false), 0);
    }
    QString root() const { return temp.filePath(QStringLiteral("course")); }
    QString at(const QString& relative) const { return QDir(root()).filePath(relative); }
    template <class T>
    T* element(const QString& path)
    {
        return dynamic_cast<T*>(course.getElement(path));
    }

    QTemporaryDir temp;
    LmsCourse course{QStringLiteral("Course")};
};

TEST_F(CourseSaver, RoundTripKeepsEverything)
{
    // A key the saver does not know stays in its place.
    QByteArray grade = readFile(at(QStringLiteral("00_first_grade/_metadata.json")));
    grade.replace("{\n  \"properties\"", "{\n  \"authorNote\": \"keep me\",\n  \"properties\"");
    ASSERT_TRUE(writeFile(at(QStringLiteral("00_first_grade/_metadata.json")), grade));
    const QStringList before = describeContent(course);
    const QStringList otherFiles = snapshot(at(QStringLiteral("plugins"))) + snapshot(at(QStringLiteral("common")));

    course.getElementList().at(0)->setName(QStringLiteral("First Grade"));  // same: nothing to do
    auto* thirds = element<LmsExerciseActivity>(QStringLiteral("First Grade / Intervals / Major Thirds"));
    ASSERT_NE(thirds, nullptr);
    thirds->getQuestionList().getQuestion(0)->setAttribute(QStringLiteral("count"), 3);
    thirds->getQuestionList().getQuestion(0)->setAttribute(QStringLiteral("flag"), true);
    thirds->getQuestionList().getQuestion(0)->setAttribute(QStringLiteral("ids"), QVariantList({1, 2}));
    ASSERT_EQ(course.save(), 0);
    EXPECT_FALSE(course.isModified());

    const QByteArray written = readFile(at(QStringLiteral("00_first_grade/00_intervals/01_major_thirds/_metadata.json")));
    EXPECT_TRUE(written.contains("\"count\": \"3\"")) << written.constData();
    EXPECT_TRUE(written.contains("\"flag\": \"true\""));
    EXPECT_TRUE(written.contains("\"ids\": [\n        \"1\",\n        \"2\"\n      ]"));
    EXPECT_TRUE(written.contains("\"range\": {\n        \"high\": \"G5\",\n        \"low\": \"E4\"\n      }"));  // a map stays an object
    EXPECT_TRUE(written.contains("\"_tags\": \"third, up\""));
    EXPECT_TRUE(readFile(at(QStringLiteral("00_first_grade/_metadata.json"))).startsWith("{\n  \"authorNote\": \"keep me\",\n  \"properties\""));

    LmsCourse reloaded(QStringLiteral("Course"));
    ASSERT_EQ(reloaded.load(root(), false), 0);
    QStringList after = describeContent(reloaded);
    QStringList expected = before;
    for (QString& line : expected) {
        if (line.startsWith(QStringLiteral("first_grade/intervals/major_thirds: question Interval uid=0")))
            line.replace(QStringLiteral("attrs={"), QStringLiteral("attrs={ \"count\": \"3\", \"flag\": \"true\", \"gmn\": \"[c e]\", \"ids\": [ \"1\", \"2\" ] }DROP"));
    }
    for (QString& line : expected) {
        const int cut = line.indexOf(QStringLiteral("}DROP"));
        if (cut >= 0)
            line.truncate(cut + 1);
    }
    EXPECT_EQ(after, expected);
    EXPECT_EQ(snapshot(at(QStringLiteral("plugins"))) + snapshot(at(QStringLiteral("common"))), otherFiles);
    EXPECT_EQ(readFile(at(QStringLiteral("00_first_grade/00_intervals/_enabled_icon.png"))),
              QByteArray("\x89PNG intervals enabled"));
    EXPECT_TRUE(QFileInfo::exists(at(QStringLiteral("00_first_grade/00_intervals/00_listening/page.qml"))));
}

TEST_F(CourseSaver, StructuredItemsOfListAttributesSurvive)
{
    auto* steps = element<LmsExerciseActivity>(QStringLiteral("Second Grade / Melodies / Steps"));
    ASSERT_NE(steps, nullptr);
    const QVariantMap note({{QStringLiteral("pitch"), QStringLiteral("c")}, {QStringLiteral("beats"), 2}});
    steps->getQuestionList().getQuestion(0)->setAttribute(
        QStringLiteral("phrases"), QVariantList({note, QStringList({"d", "e"}), 3}));
    ASSERT_EQ(course.save(), 0);

    LmsCourse reloaded(QStringLiteral("Course"));
    ASSERT_EQ(reloaded.load(root(), false), 0);
    auto* again = dynamic_cast<LmsExerciseActivity*>(reloaded.getElement(QStringLiteral("Second Grade / Melodies / Steps")));
    ASSERT_NE(again, nullptr);
    const QVariantList phrases = again->getQuestionList().getQuestion(0)->getAttribute(QStringLiteral("phrases")).toList();
    ASSERT_EQ(phrases.size(), 3);
    EXPECT_EQ(phrases[0].toMap().value(QStringLiteral("pitch")).toString(), QStringLiteral("c"));
    EXPECT_EQ(phrases[0].toMap().value(QStringLiteral("beats")).toInt(), 2);
    EXPECT_EQ(phrases[1].toStringList(), QStringList({"d", "e"}));
    EXPECT_EQ(phrases[2], QVariant(QStringLiteral("3")));  // plain items are written as text
}

TEST_F(CourseSaver, RenumbersRenamesAndRemoves)
{
    auto* intervals = element<LmsModuleElement>(QStringLiteral("First Grade / Intervals"));
    auto* rhythm = element<LmsModuleElement>(QStringLiteral("First Grade / Rhythm"));
    ASSERT_TRUE(intervals && rhythm);
    intervals->moveElement(2, 0);  // Intervals Test, Listening, Major Thirds
    intervals->getElementList().at(1)->setName(QStringLiteral("Listening & Rhythm"));
    // A new element takes the name its moved sibling leaves.
    auto* fresh = new LmsLearningActivity(QStringLiteral("Clapping"), QString(), rhythm);
    rhythm->moveElement(1, 0);
    new LmsModuleElement(QStringLiteral("Extra Grade"), QString(), &course);
    course.removeElement(1);  // Second Grade; Final Exam's association to Steps loses its source
    ASSERT_TRUE(writeFile(at(QStringLiteral("01_second_grade/x.txt")), "stale"));

    ASSERT_EQ(course.save(), 0);
    EXPECT_EQ(subdirectories(root()),
              QStringList({"00_first_grade", "01_final_exam", "02_extra_grade", "common", "plugins"}));
    EXPECT_EQ(subdirectories(at(QStringLiteral("00_first_grade/00_intervals"))),
              QStringList({"00_intervals_test", "01_listening___rhythm", "02_major_thirds"}));
    EXPECT_TRUE(QFileInfo::exists(at(QStringLiteral("00_first_grade/00_intervals/01_listening___rhythm/page.qml"))));
    EXPECT_EQ(subdirectories(at(QStringLiteral("00_first_grade/01_rhythm"))), QStringList({"00_clapping", "01_clapping"}));
    EXPECT_EQ(fresh->getFsName(), QStringLiteral("00_clapping"));
    EXPECT_EQ(readFile(at(QStringLiteral("02_extra_grade/_metadata.json"))),
              QByteArray("{\n  \"properties\": {\n    \"elementName\": \"Extra Grade\",\n    \"elementType\": \"module\"\n  },\n"
                         "  \"templates\": [],\n  \"questions\": [],\n  \"associations\": []\n}"));
    // The dropped association leaves a null slot at the end, which the loader passes over.
    EXPECT_TRUE(readFile(at(QStringLiteral("01_final_exam/_metadata.json"))).contains("\"count\": 2\n    },\n    null\n  ]"));

    LmsCourse reloaded(QStringLiteral("Course"));
    ASSERT_EQ(reloaded.load(root(), false), 0);
    EXPECT_EQ(describeTree(reloaded), describeTree(course));
    auto* oldClapping = dynamic_cast<LmsExerciseActivity*>(reloaded.findElementByNormalizedPath(QStringLiteral("first_grade/rhythm/clapping")));
    EXPECT_EQ(oldClapping, nullptr);  // the first "clapping" is the new learning page
    LmsElement* moved = reloaded.getElement(QStringLiteral("First Grade / Rhythm")) ? dynamic_cast<LmsModuleElement*>(reloaded.getElement(QStringLiteral("First Grade / Rhythm")))->getElementList().at(1) : nullptr;
    ASSERT_NE(dynamic_cast<LmsExerciseActivity*>(moved), nullptr);
    EXPECT_EQ(dynamic_cast<LmsExerciseActivity*>(moved)->getQuestionList().getCount(), 1);
    auto* test = dynamic_cast<LmsTestActivity*>(reloaded.getElement(QStringLiteral("First Grade / Intervals / Intervals Test")));
    ASSERT_NE(test, nullptr);
    EXPECT_EQ(test->getAssociationList().getAssociation(0)->getSource()->getName(), QStringLiteral("Major Thirds"));
    auto* finalExam = dynamic_cast<LmsTestActivity*>(reloaded.getElement(QStringLiteral("Final Exam")));
    ASSERT_NE(finalExam, nullptr);
    EXPECT_EQ(finalExam->getAssociationList().getCount(), 1);
}

TEST_F(CourseSaver, IconsAreCopiedFromTheElementDirectory)
{
    auto* rhythm = element<LmsModuleElement>(QStringLiteral("First Grade / Rhythm"));
    auto* intervals = element<LmsModuleElement>(QStringLiteral("First Grade / Intervals"));
    ASSERT_TRUE(rhythm && intervals);
    rhythm->setEnabledIconPath(QStringLiteral("../../common/img/piano.png"));
    // The reserved file itself under another spelling must survive.
    intervals->setDisabledIconPath(QStringLiteral("./_disabled_icon.png"));
    ASSERT_EQ(course.save(), 0);
    EXPECT_EQ(readFile(at(QStringLiteral("00_first_grade/01_rhythm/_enabled_icon.png"))), QByteArray("\x89PNG fixture"));
    EXPECT_EQ(rhythm->getEnabledIconPath(), QStringLiteral("_enabled_icon.png"));
    EXPECT_EQ(readFile(at(QStringLiteral("00_first_grade/00_intervals/_disabled_icon.png"))),
              QByteArray("\x89PNG intervals disabled"));
    EXPECT_EQ(intervals->getDisabledIconPath(), QStringLiteral("_disabled_icon.png"));
    EXPECT_TRUE(QDir(at(QStringLiteral("00_first_grade/01_rhythm"))).entryList(QDir::Hidden | QDir::Files).filter(QStringLiteral(".tmp")).isEmpty());

    LmsCourse reloaded(QStringLiteral("Course"));
    ASSERT_EQ(reloaded.load(root(), false), 0);
    EXPECT_EQ(dynamic_cast<LmsModuleElement*>(reloaded.getElement(QStringLiteral("First Grade / Rhythm")))->getEnabledIconPath(),
              QStringLiteral("_enabled_icon.png"));
}

TEST_F(CourseSaver, SymbolicLinksAreRemovedNotFollowed)
{
    QTemporaryDir outside;
    ASSERT_TRUE(writeFile(QDir(outside.path()).filePath(QStringLiteral("precious.txt")), "keep"));
    ASSERT_TRUE(QFile::link(outside.path(), at(QStringLiteral("03_linked"))));
    ASSERT_TRUE(QDir().mkpath(at(QStringLiteral("04_stale"))));
    ASSERT_TRUE(QFile::link(outside.path(), at(QStringLiteral("04_stale/inner"))));
    ASSERT_TRUE(writeFile(at(QStringLiteral("04_stale/old.json")), "{}"));

    ASSERT_EQ(course.save(), 0);
    EXPECT_FALSE(QFileInfo(at(QStringLiteral("03_linked"))).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(at(QStringLiteral("04_stale"))));
    EXPECT_EQ(readFile(QDir(outside.path()).filePath(QStringLiteral("precious.txt"))), QByteArray("keep"));
}

TEST_F(CourseSaver, RefusesBeforeTouchingTheDisk)
{
    auto* intervals = element<LmsModuleElement>(QStringLiteral("First Grade / Intervals"));
    ASSERT_NE(intervals, nullptr);
    intervals->moveElement(2, 0);  // would rename directories
    const QString unreadable = at(QStringLiteral("01_second_grade/01_review/_metadata.json"));
    ASSERT_TRUE(writeFile(unreadable, "{ broken"));
    const QStringList disk = snapshot(root());
    EXPECT_EQ(course.save(), 1);
    EXPECT_EQ(snapshot(root()), disk);
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("Can not save over unreadable metadata in")));
    ASSERT_TRUE(writeFile(unreadable, "{\"properties\": {\"elementName\": \"Review\", \"elementType\": \"test_activity\"}}"));

    // A nameless element, an unknown activity kind and a module too deep are refused too.
    auto* melodies = element<LmsModuleElement>(QStringLiteral("Second Grade / Melodies"));
    ASSERT_NE(melodies, nullptr);
    const QStringList disk2 = snapshot(root());
    auto* nameless = new LmsLearningActivity(QStringLiteral("  "), QString(), melodies);
    EXPECT_EQ(course.save(), 1);
    melodies->removeElement(melodies->getElementList().indexOf(nameless));
    auto* plain = new LmsQuestionActivity(QStringLiteral("Plain"), QString(), melodies);
    EXPECT_EQ(course.save(), 1);
    melodies->removeElement(melodies->getElementList().indexOf(plain));
    auto* deep = new LmsModuleElement(QStringLiteral("Deep"), QString(), melodies);
    EXPECT_EQ(course.save(), 1);
    melodies->removeElement(melodies->getElementList().indexOf(deep));
    for (int i = 0; i < 100; ++i)
        new LmsLearningActivity(QStringLiteral("Page %1").arg(i), QString(), melodies);
    EXPECT_EQ(course.save(), 1);
    EXPECT_EQ(snapshot(root()), disk2);
    EXPECT_TRUE(course.isModified());
}

TEST_F(CourseSaver, ReadOnlyDirectoryOrFileRefusesTheSaveBeforeAnyChange)
{
    // Moving the final exam first renames all three grades; the read-only entry lies deep below.
    course.moveElement(2, 0);
    for (const char* readOnly : {"01_second_grade/01_review", "00_first_grade/01_rhythm/_metadata.json"}) {
        SCOPED_TRACE(readOnly);
        const QString path = at(QLatin1String(readOnly));
        // The superuser ignores permission bits; the immutable attribute holds for it too.
        const bool superuser = geteuid() == 0;
        if (superuser && QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), path}) != 0) {
            GTEST_SKIP() << "cannot make entries read-only for the superuser here";
        }
        if (!superuser) {
            ASSERT_TRUE(QFile::setPermissions(path, QFileInfo(path).permissions() & ~QFile::WriteOwner));
        }
        const QStringList disk = snapshot(root());
        LogCapture::instance().clear();
        EXPECT_EQ(course.save(), 1);
        const QStringList after = snapshot(root());
        if (superuser)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), path});
        else
            QFile::setPermissions(path, QFileInfo(path).permissions() | QFile::WriteOwner);
        EXPECT_EQ(after.join('\n').toStdString(), disk.join('\n').toStdString());
        EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("Can not save into read-only  \"") + path));
    }
    EXPECT_EQ(course.save(), 0);
    EXPECT_EQ(subdirectories(root()).mid(0, 3), (QStringList{"00_final_exam", "01_first_grade", "02_second_grade"}));
}

TEST_F(CourseSaver, FailedRenameOrCreateIsReported)
{
    auto* intervals = element<LmsModuleElement>(QStringLiteral("First Grade / Intervals"));
    ASSERT_NE(intervals, nullptr);
    intervals->moveElement(2, 0);
    // A file squatting on the temporary name blocks the move.
    ASSERT_TRUE(writeFile(at(QStringLiteral("00_first_grade/00_intervals/NEW_00_intervals_test/x")), "squat"));
    EXPECT_EQ(course.save(), 1);
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("Can not rename")));

    QTemporaryDir copy;
    ASSERT_TRUE(copyTree(fixture(QStringLiteral("valid")), copy.filePath(QStringLiteral("c"))));
    LmsCourse fresh(QStringLiteral("Course"));
    ASSERT_EQ(fresh.load(copy.filePath(QStringLiteral("c")), false), 0);
    new LmsLearningActivity(QStringLiteral("Blocked"), QString(), &fresh);
    ASSERT_TRUE(writeFile(QDir(copy.filePath(QStringLiteral("c"))).filePath(QStringLiteral("03_blocked")), "a file"));
    EXPECT_EQ(fresh.save(), 1);
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("Can not create directory")));
}

TEST(CourseSaverRefusal, NothingLoadedNothingSaved)
{
    LmsCourse never(QStringLiteral("Course"));
    new LmsLearningActivity(QStringLiteral("Page"), QString(), &never);
    EXPECT_EQ(never.save(), 1);
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("00_page")));
}
