#include "LmsFixtures.h"

#include <QDirIterator>
#include <QProcess>

#include <functional>

#include <unistd.h>

using namespace lmstest;

namespace {

// Every path below root with its content, to prove a refused save touched nothing.
QStringList snapshot(const QString& root, bool withMetadata = true)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (withMetadata || it.fileName() != QLatin1String("_metadata.json"))
            entries << QDir(root).relativeFilePath(path) + QLatin1Char('=') + QString::fromUtf8(readFile(path).toHex());
    }
    entries.sort();
    return entries;
}

// The superuser ignores permission bits; the immutable attribute holds for it too.
bool setReadOnly(const QString& path, bool readOnly)
{
    if (geteuid() == 0)
        return QProcess::execute(QStringLiteral("chattr"), {readOnly ? QStringLiteral("+i") : QStringLiteral("-i"), path}) == 0;
    const QFile::Permissions permissions = QFileInfo(path).permissions();
    return QFile::setPermissions(path, readOnly ? permissions & ~QFile::WriteOwner : permissions | QFile::WriteOwner);
}

QStringList subdirectories(const QString& path)
{
    return QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

}  // namespace

// A copy of the valid course, loaded.
class CourseSaver : public CourseTest {
protected:
    void SetUp() override
    {
        CourseTest::SetUp();
        ASSERT_TRUE(copyTree(fixture(QStringLiteral("valid")), root()));
        ASSERT_EQ(course.load(root(), false), 0);
    }
    QString root() const { return temp.filePath(QStringLiteral("course")); }
    QString at(const QString& relative) const { return QDir(root()).filePath(relative); }
    LmsModuleElement* module(const QString& path) { return dynamic_cast<LmsModuleElement*>(course.getElement(path)); }
    QTemporaryDir temp;
    LmsCourse reloaded{QStringLiteral("Course")};
};

TEST_F(CourseSaver, RoundTripKeepsEverything)
{
    // A key the saver does not know stays in its place.
    QByteArray grade = readFile(at(QStringLiteral("00_first_grade/_metadata.json")));
    grade.replace("{\n  \"properties\"", "{\n  \"authorNote\": \"keep me\",\n  \"properties\"");
    ASSERT_TRUE(writeFile(at(QStringLiteral("00_first_grade/_metadata.json")), grade));
    // Icons, pages, plug-ins and common files stay byte for byte.
    const QStringList otherFiles = snapshot(root(), false);
    course.getElementList().at(0)->setName(QStringLiteral("First Grade"));  // same: nothing to do
    ASSERT_EQ(course.save(), 0);
    EXPECT_FALSE(course.isModified());

    ASSERT_EQ(reloaded.load(root(), false), 0);
    EXPECT_EQ(describeContent(reloaded), describeContent(course));
    EXPECT_TRUE(readFile(at(QStringLiteral("00_first_grade/_metadata.json"))).startsWith("{\n  \"authorNote\": \"keep me\",\n  \"properties\""));
    EXPECT_EQ(snapshot(root(), false), otherFiles);
}

TEST_F(CourseSaver, AttributesAreWrittenAsTextKeepingMapsAndLists)
{
    auto* thirds = dynamic_cast<LmsExerciseActivity*>(course.getElement(QStringLiteral("First Grade / Intervals / Major Thirds")));
    ASSERT_NE(thirds, nullptr);
    LmsQuestion* q = thirds->getQuestionList().getQuestion(0);
    q->setAttribute(QStringLiteral("count"), 3);
    q->setAttribute(QStringLiteral("flag"), true);
    q->setAttribute(QStringLiteral("ids"), QVariantList({1, 2}));
    const QVariantMap note({{QStringLiteral("pitch"), QStringLiteral("c")}, {QStringLiteral("beats"), 2}});
    q->setAttribute(QStringLiteral("phrases"), QVariantList({note, QStringList({"d", "e"}), 3}));
    ASSERT_EQ(course.save(), 0);

    // Plain values and list items become text; a map, and maps and lists inside a list, keep
    // their structure (they were written as "").
    const QByteArray written = readFile(at(QStringLiteral("00_first_grade/00_intervals/01_major_thirds/_metadata.json")));
    for (const char* part : {
             "\"count\": \"3\"",
             "\"flag\": \"true\"",
             "\"ids\": [\n        \"1\",\n        \"2\"\n      ]",
             "\"phrases\": [\n        {\n          \"beats\": 2,\n          \"pitch\": \"c\"\n        },\n"
             "        [\n          \"d\",\n          \"e\"\n        ],\n        \"3\"\n      ]",
             "\"range\": {\n        \"high\": \"G5\",\n        \"low\": \"E4\"\n      }",
             "\"_tags\": \"third, up\"",
         })
        EXPECT_TRUE(written.contains(part)) << part << "\nin\n" << written.constData();
}

TEST_F(CourseSaver, RenumbersRenamesAndRemoves)
{
    auto* intervals = module(QStringLiteral("First Grade / Intervals"));
    auto* rhythm = module(QStringLiteral("First Grade / Rhythm"));
    ASSERT_TRUE(intervals && rhythm);
    intervals->moveElement(2, 0);  // Intervals Test, Listening, Major Thirds
    intervals->getElementList().at(1)->setName(QStringLiteral("Listening & Rhythm"));
    // A new element takes the name its moved sibling leaves.
    new LmsLearningActivity(QStringLiteral("Clapping"), QString(), rhythm);
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
    EXPECT_EQ(readFile(at(QStringLiteral("02_extra_grade/_metadata.json"))),
              QByteArray("{\n  \"properties\": {\n    \"elementName\": \"Extra Grade\",\n    \"elementType\": \"module\"\n  },\n"
                         "  \"templates\": [],\n  \"questions\": [],\n  \"associations\": []\n}"));
    // The dropped association leaves a null slot at the end, which the loader passes over.
    EXPECT_TRUE(readFile(at(QStringLiteral("01_final_exam/_metadata.json"))).contains("\"count\": 2\n    },\n    null\n  ]"));

    // Everything else, moved questions and associations by path included, reads back.
    ASSERT_EQ(reloaded.load(root(), false), 0);
    QStringList expected = describeContent(course);
    EXPECT_EQ(expected.removeAll(QStringLiteral("final_exam: association - uid=0 type= tags=[] d=5 n=1")), 1);
    EXPECT_EQ(describeContent(reloaded), expected);
}

TEST_F(CourseSaver, IconsAreCopiedFromTheElementDirectory)
{
    auto* rhythm = module(QStringLiteral("First Grade / Rhythm"));
    auto* intervals = module(QStringLiteral("First Grade / Intervals"));
    ASSERT_TRUE(rhythm && intervals);
    rhythm->setEnabledIconPath(QStringLiteral("../../common/img/piano.png"));
    // The reserved file itself under another spelling must survive.
    intervals->setDisabledIconPath(QStringLiteral("./_disabled_icon.png"));
    ASSERT_EQ(course.save(), 0);
    EXPECT_EQ(readFile(at(QStringLiteral("00_first_grade/01_rhythm/_enabled_icon.png"))), QByteArray("\x89PNG fixture"));
    EXPECT_EQ(readFile(at(QStringLiteral("00_first_grade/00_intervals/_disabled_icon.png"))),
              QByteArray("\x89PNG intervals disabled"));
    EXPECT_EQ(rhythm->getEnabledIconPath(), QStringLiteral("_enabled_icon.png"));
    EXPECT_EQ(intervals->getDisabledIconPath(), QStringLiteral("_disabled_icon.png"));
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
    auto* melodies = module(QStringLiteral("Second Grade / Melodies"));
    ASSERT_NE(melodies, nullptr);
    const QString review = at(QStringLiteral("01_second_grade/01_review/_metadata.json"));
    const QByteArray reviewText = readFile(review);
    const QString readOnlyDirectory = at(QStringLiteral("01_second_grade/01_review"));
    const QString readOnlyFile = at(QStringLiteral("00_first_grade/01_rhythm/_metadata.json"));
    // Moving the final exam first renames all three grades; what refuses lies deep below.
    course.moveElement(2, 0);
    if (!setReadOnly(readOnlyFile, true) || !setReadOnly(readOnlyFile, false)) {
        GTEST_SKIP() << "cannot make entries read-only here";
    }
    const struct { const char* name; std::function<void()> spoil; QString line; } rows[] = {
        {"unreadable metadata", [&] { writeFile(review, "{ broken"); }, "Can not save over unreadable metadata in"},
        {"nameless", [&] { new LmsLearningActivity(QStringLiteral("  "), QString(), melodies); },
         "Can not save element without a name"},
        {"unknown kind", [&] { new LmsQuestionActivity(QStringLiteral("Plain"), QString(), melodies); },
         "Can not save element of unknown type"},
        {"module too deep", [&] { new LmsModuleElement(QStringLiteral("Deep"), QString(), melodies); },
         "Can not save module at level"},
        {"too many", [&] {
             for (int i = 0; i < 100; ++i)
                 new LmsLearningActivity(QStringLiteral("Page %1").arg(i), QString(), melodies);
         }, "Can not save module with more than 100 elements"},
        {"read-only directory", [&] { setReadOnly(readOnlyDirectory, true); },
         "Can not save into read-only  \"" + readOnlyDirectory},
        {"read-only file", [&] { setReadOnly(readOnlyFile, true); }, "Can not save into read-only  \"" + readOnlyFile},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        LogCapture::instance().clear();
        r.spoil();
        const QStringList disk = snapshot(root());
        EXPECT_EQ(course.save(), 1);
        const QStringList after = snapshot(root());
        ASSERT_TRUE(writeFile(review, reviewText) && setReadOnly(readOnlyDirectory, false) && setReadOnly(readOnlyFile, false));
        EXPECT_EQ(after, disk);
        EXPECT_TRUE(LogCapture::instance().contains(r.line));
        while (melodies->getElementList().size() > 1)
            melodies->removeElement(1);
    }
    EXPECT_TRUE(course.isModified());
    EXPECT_EQ(course.save(), 0);
    EXPECT_EQ(subdirectories(root()).mid(0, 3), (QStringList{"00_final_exam", "01_first_grade", "02_second_grade"}));
}

TEST_F(CourseSaver, FailedRenameOrCreateIsReported)
{
    // Files squatting on a new element's directory name and on the temporary name of a move.
    module(QStringLiteral("First Grade / Intervals"))->moveElement(2, 0);
    new LmsLearningActivity(QStringLiteral("Blocked"), QString(), &course);
    ASSERT_TRUE(writeFile(at(QStringLiteral("03_blocked")), "squat"));
    ASSERT_TRUE(writeFile(at(QStringLiteral("00_first_grade/00_intervals/NEW_00_intervals_test/x")), "squat"));
    EXPECT_EQ(course.save(), 1);
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("Can not create directory")));
    ASSERT_TRUE(QFile::remove(at(QStringLiteral("03_blocked"))));
    EXPECT_EQ(course.save(), 1);
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("Can not rename")));
}
