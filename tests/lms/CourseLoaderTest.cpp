#include "lms/Lms.h"
#include "lms/LmsCourse.h"
#include "lms/LmsExerciseActivity.h"
#include "lms/LmsFilesystem.h"
#include "lms/LmsLearningActivity.h"
#include "lms/LmsQuestion.h"
#include "lms/LmsQuestionAssociation.h"
#include "lms/LmsQuestionFilter.h"
#include "lms/LmsTestActivity.h"

#include "CourseDescription.h"
#include "LmsTestSupport.h"
#include "lms/LmsMetadata.h"
#include "support/Watchdog.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QPointer>
#include <QTemporaryDir>

#include <functional>

#include <sys/stat.h>

using namespace lmstest;

class CourseLoader : public ::testing::Test {
protected:
    void SetUp() override
    {
        captureMessages();
        Lms::loadPlugins(fixture(QStringLiteral("valid/plugins")));
    }
    static QStringList warnings()
    {
        return LogCapture::instance().linesContaining(QStringLiteral(" WARN "));
    }
    LmsCourse course{QStringLiteral("Course")};
};

TEST_F(CourseLoader, ValidCourseGivesExactlyTheExpectedTree)
{
    ASSERT_EQ(course.load(fixture(QStringLiteral("valid")), false), 0);
    EXPECT_FALSE(course.isModified());
    EXPECT_TRUE(warnings().isEmpty()) << warnings().join(QLatin1Char('\n')).toStdString();

    const QStringList expected = {
        "module|First Grade|00_first_grade|first_grade|First Grade",
        "module|Intervals|00_first_grade/00_intervals|first_grade/intervals|First Grade / Intervals",
        "learning|Listening|00_first_grade/00_intervals/00_listening|first_grade/intervals/listening|"
        "First Grade / Intervals / Listening",
        "exercise|Major Thirds|00_first_grade/00_intervals/01_major_thirds|first_grade/intervals/major_thirds|"
        "First Grade / Intervals / Major Thirds",
        "test|Intervals Test|00_first_grade/00_intervals/02_intervals_test|first_grade/intervals/intervals_test|"
        "First Grade / Intervals / Intervals Test",
        "module|Rhythm|00_first_grade/01_rhythm|first_grade/rhythm|First Grade / Rhythm",
        "exercise|Clapping|00_first_grade/01_rhythm/00_clapping|first_grade/rhythm/clapping|"
        "First Grade / Rhythm / Clapping",
        "module|Second Grade|01_second_grade|second_grade|Second Grade",
        "module|Melodies|01_second_grade/00_melodies|second_grade/melodies|Second Grade / Melodies",
        "exercise|Steps|01_second_grade/00_melodies/00_steps|second_grade/melodies/steps|"
        "Second Grade / Melodies / Steps",
        "test|Review|01_second_grade/01_review|second_grade/review|Second Grade / Review",
        "test|Final Exam|02_final_exam|final_exam|Final Exam",
    };
    EXPECT_EQ(describeTree(course), expected);

    auto* steps = dynamic_cast<LmsExerciseActivity*>(course.findElementByNormalizedPath(QStringLiteral("second_grade/melodies/steps")));
    ASSERT_NE(steps, nullptr);
    EXPECT_EQ(steps->getFsAbsolutePath(), fixture(QStringLiteral("valid/01_second_grade/00_melodies/00_steps")));

    // Icons, learning data, introduction.
    auto* grade = dynamic_cast<LmsModuleElement*>(course.getElement(QStringLiteral("First Grade")));
    auto* intervals = dynamic_cast<LmsModuleElement*>(course.getElement(QStringLiteral("First Grade / Intervals")));
    auto* rhythm = dynamic_cast<LmsModuleElement*>(course.getElement(QStringLiteral("First Grade / Rhythm")));
    ASSERT_TRUE(grade && intervals && rhythm);
    EXPECT_EQ(grade->getEnabledIconPath(), QStringLiteral("_enabled_icon.png"));
    EXPECT_EQ(grade->getDisabledIconPath(), QString());
    EXPECT_EQ(intervals->getDisabledIconPath(), QStringLiteral("_disabled_icon.png"));
    EXPECT_EQ(rhythm->getEnabledIconPath(), QString());
    auto* listening = dynamic_cast<LmsLearningActivity*>(intervals->getElement(QStringLiteral("Listening")));
    ASSERT_NE(listening, nullptr);
    EXPECT_TRUE(listening->hasData());
    auto* thirds = dynamic_cast<LmsExerciseActivity*>(intervals->getElement(QStringLiteral("Major Thirds")));
    ASSERT_NE(thirds, nullptr);
    EXPECT_EQ(thirds->getIntroText(), QStringLiteral("Sing the third."));
    EXPECT_EQ(thirds->getIntroGraphicPath(), QStringLiteral("common:img/piano.png"));
    EXPECT_EQ(thirds->getAbsoluteFilePath(thirds->getIntroGraphicPath()),
              fixture(QStringLiteral("valid/common/img/piano.png")));

    // Questions: renumbered in file order, difficulty, own or inherited tags, attributes.
    const QList<LmsQuestion*>& questions = thirds->getQuestionList().getQuestions();
    ASSERT_EQ(questions.size(), 3);
    EXPECT_EQ(questions[0]->getUid(), 0);
    EXPECT_EQ(questions[1]->getUid(), 1);
    EXPECT_EQ(questions[2]->getUid(), 2);
    EXPECT_EQ(questions[1]->getDifficulty(), 2);
    EXPECT_EQ(questions[0]->getTagList(), QStringList({"third", "up"}));
    EXPECT_FALSE(questions[1]->hasTagList(false));
    EXPECT_EQ(questions[1]->getTagList(), QStringList({"interval", "third"}));
    EXPECT_EQ(questions[2]->getAttribute(QStringLiteral("notes")).toStringList(), QStringList({"c", "e"}));
    LmsQuestion* templ = thirds->getTemplate(QStringLiteral("Interval"));
    ASSERT_NE(templ, nullptr);
    EXPECT_EQ(templ->getUid(), -1);

    const QVariantMap first = questions[0]->getResolvedAttributeMap();
    EXPECT_EQ(first.value(QStringLiteral("tempo")), QVariant(90));  // template, converted
    EXPECT_EQ(first.value(QStringLiteral("loop")), QVariant(false));  // plug-in default
    EXPECT_EQ(first.value(QStringLiteral("clef")), QVariant(QStringLiteral("G")));
    EXPECT_EQ(first.value(QStringLiteral("range")).toMap().value(QStringLiteral("high")).toString(),
              QStringLiteral("G5"));
    EXPECT_FALSE(first.contains(QStringLiteral("gmn")));  // not declared by the plug-in
    EXPECT_EQ(questions[1]->getResolvedAttributeMap().value(QStringLiteral("tempo")), QVariant(100));
    EXPECT_EQ(questions[2]->getResolvedAttributeMap().value(QStringLiteral("loop")), QVariant(true));
    auto* clapping = dynamic_cast<LmsExerciseActivity*>(rhythm->getElement(QStringLiteral("Clapping")));
    ASSERT_NE(clapping, nullptr);
    EXPECT_EQ(clapping->getQuestionList().getQuestion(0)->getResolvedAttributeMap().value(QStringLiteral("bars")),
              QVariant(4));

    // Associations by "." and by path, with their filters.
    const auto& own = thirds->getAssociationList().getAssociations();
    ASSERT_EQ(own.size(), 1);
    EXPECT_EQ(own[0]->getSource(), thirds);
    EXPECT_EQ(own[0]->getFilter()->getTagList(), QStringList({"third"}));
    EXPECT_EQ(thirds->getMatchesCount(own[0]->getFilter()), 2);

    auto* test = dynamic_cast<LmsTestActivity*>(intervals->getElement(QStringLiteral("Intervals Test")));
    ASSERT_NE(test, nullptr);
    const auto& drawn = test->getAssociationList().getAssociations();
    ASSERT_EQ(drawn.size(), 2);
    EXPECT_EQ(drawn[0]->getSource(), thirds);
    EXPECT_EQ(drawn[0]->getFilter()->getCount(), 3);
    EXPECT_TRUE(drawn[0]->getFilter()->getTagList().isEmpty());  // empty "tags" text gives no tag
    EXPECT_EQ(drawn[1]->getSource(), thirds);
    EXPECT_EQ(drawn[1]->getFilter()->getUid(), 1);
    EXPECT_EQ(drawn[1]->getFilter()->getDifficulty(), 5);  // absent: the filter's own default
    EXPECT_EQ(drawn[0]->getSource()->selectQuestions(drawn[0]->getFilter()).size(), 3);

    auto* review = dynamic_cast<LmsTestActivity*>(course.getElement(QStringLiteral("Second Grade / Review")));
    auto* finalExam = dynamic_cast<LmsTestActivity*>(course.getElement(QStringLiteral("Final Exam")));
    ASSERT_TRUE(review && finalExam);
    EXPECT_EQ(review->getAssociationList().getAssociation(0)->getSource(), steps);
    EXPECT_EQ(finalExam->getAssociationList().getAssociation(0)->getSource(), thirds);
    EXPECT_EQ(finalExam->getAssociationList().getAssociation(1)->getSource(), steps);

    // The array walk also visits the length slot after the last entry.
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("question description is not an object ( 4 )")));
}

TEST_F(CourseLoader, MissingModuleObjectIsAFailureNotACrash)
{
    QMap<LmsQuestionAssociation*, QString> associationPaths;
    EXPECT_EQ(LmsFilesystem::loadModule(fixture(QStringLiteral("valid")), nullptr), LmsFilesystem::StatusFailed);
    EXPECT_EQ(LmsFilesystem::loadElement(fixture(QStringLiteral("valid/02_final_exam")), nullptr, associationPaths), nullptr);
    EXPECT_EQ(warnings().size(), 2);
    EXPECT_TRUE(associationPaths.isEmpty());
}

TEST_F(CourseLoader, BrokenTreesAreRefusedWhole)
{
    // a gap in the numbering, a module below a subject, malformed JSON, script in place of JSON
    // (never run: no hang); bad directory names are passed over silently
    const struct { const char* fixture; int status; QString line; int elements; } rows[] = {
        {"gap", 1, "Invalid module elements indexes at:  \"" + fixture("gap") + "\"", 0},
        {"deep_module", 1, "unexpected module at level  3", 0},
        {"malformed", 1, "metadata parsing error in  \"" + fixture("malformed/01_bad") + "\"", 0},
        {"script", 1, "", 0},
        {"bad_name", 0, "", 1},
    };
    for (const auto& r : rows) {
        LogCapture::instance().clear();
        LmsCourse loaded(QStringLiteral("Course"));
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(loaded.load(fixture(r.fixture), false), r.status) << r.fixture;
        EXPECT_LT(timer.elapsed(), 2000);
        EXPECT_EQ(loaded.getElementList().size(), r.elements) << r.fixture;
        EXPECT_TRUE(LogCapture::instance().contains(r.line)) << r.fixture;
        if (r.status == 0)
            EXPECT_TRUE(warnings().isEmpty()) << r.fixture;
        else
            EXPECT_EQ(loaded.save(), 1) << r.fixture;  // would wipe the directory
    }
    EXPECT_EQ(course.load(fixture(QStringLiteral("bad_name")), false), 0);
    EXPECT_EQ(course.getElementList().at(0)->getName(), QStringLiteral("Kept"));
}

TEST_F(CourseLoader, NameEndingInLineBreakIsNoElement)
{
    QTemporaryDir root;
    const QDir dir(root.path());
    writeFile(dir.filePath(QStringLiteral("00_a/_metadata.json")),
              "{\"properties\": {\"elementName\": \"A\", \"elementType\": \"learning_activity\"}}");
    writeFile(dir.filePath(QStringLiteral("00_b\n/_metadata.json")),
              "{\"properties\": {\"elementName\": \"B\", \"elementType\": \"learning_activity\"}}");
    ASSERT_EQ(course.load(root.path(), false), 0);
    ASSERT_EQ(course.getElementList().size(), 1);
    EXPECT_EQ(course.getElementList().at(0)->getName(), QStringLiteral("A"));

    // Nor is it stale to the saver.
    ASSERT_EQ(course.save(), 0);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("00_b\n/_metadata.json"))));
}

TEST_F(CourseLoader, MetadataThatIsNoRegularFileOrTooLargeIsRefusedUnread)
{
    const struct {
        const char* name;
        std::function<bool(const QString&)> make;
    } cases[] = {
        // opening a FIFO waits for a writer for good
        {"fifo", [](const QString& path) { return mkfifo(QFile::encodeName(path).constData(), 0600) == 0; }},
        {"directory", [](const QString& path) { return QDir().mkdir(path); }},
        {"oversized", [](const QString& path) {
             QFile file(path);
             return file.open(QIODevice::WriteOnly) && file.resize(LmsMetadata::MaxFileSize + 1);
         }},
    };
    Watchdog watchdog(20000, "loading odd metadata files");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(copyTree(fixture(QStringLiteral("valid")), dir.path()));
        const QString metadata = dir.filePath(QStringLiteral("00_first_grade/_metadata.json"));
        ASSERT_TRUE(QFile::remove(metadata));
        ASSERT_TRUE(c.make(metadata));
        LogCapture::instance().clear();
        LmsCourse odd(QStringLiteral("Course"));
        EXPECT_EQ(odd.load(dir.path(), false), 1);
        EXPECT_EQ(LogCapture::instance().linesContaining(QStringLiteral("not a regular file")).size(), 1);
    }
}

TEST_F(CourseLoader, UnresolvedAssociationIsWarnedAtLoad)
{
    ASSERT_EQ(course.load(fixture(QStringLiteral("unresolved")), false), 0);
    auto* quiz = dynamic_cast<LmsTestActivity*>(course.getElement(QStringLiteral("Unit / Quiz")));
    ASSERT_NE(quiz, nullptr);
    const auto& associations = quiz->getAssociationList().getAssociations();
    ASSERT_EQ(associations.size(), 3);
    EXPECT_EQ(associations[0]->getSource(), nullptr);  // a learning page is no question source
    EXPECT_EQ(associations[1]->getSource(), nullptr);
    EXPECT_EQ(associations[2]->getSource(), quiz);
    const QStringList unresolved = LogCapture::instance().linesContaining(QStringLiteral("association path names no question activity"));
    ASSERT_EQ(unresolved.size(), 2);
    EXPECT_TRUE(unresolved.join(QString()).contains(QStringLiteral("\"Nowhere\"")));
    EXPECT_TRUE(unresolved.join(QString()).contains(QStringLiteral("\"Page\"")));
    EXPECT_TRUE(unresolved[0].contains(quiz->getFsAbsolutePath()));
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("association is not an object ( 4 )")));
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("invalid association description ( 5 )")));
}

TEST_F(CourseLoader, EntryRulesAndLaterSiblings)
{
    QTemporaryDir root;
    const QDir dir(root.path());
    writeFile(dir.filePath(QStringLiteral("00_quiz/_metadata.json")),
              "{\"properties\": {\"elementName\": \"Quiz\", \"elementType\": \"test_activity\"},"
              " \"templates\": [{\"_type\": \"T\", \"a\": 1}, {\"_type\": \"T\", \"b\": 2}, {\"a\": 3}],"
              " \"questions\": [{\"_type\": \"T\", \"_uid\": -1}, {\"_type\": \"T\", \"_uid\": \"4\"}, {\"_type\": \"T\", \"_tags\": \"\"},"
              " {\"_type\": \"T\", \"_tags\": [\"a\", \" b\"]}],"
              " \"associations\": [{\"path\": \"Later\", \"count\": 2}]}");
    writeFile(dir.filePath(QStringLiteral("01_later/_metadata.json")),
              "{\"properties\": {\"elementName\": \"Later\", \"elementType\": \"exercise_activity\"}}");
    writeFile(dir.filePath(QStringLiteral("02_page/_metadata.json")),
              "{\"properties\": {\"elementName\": \"Page\", \"elementType\": \"learning_activity\"}}");
    writeFile(dir.filePath(QStringLiteral("02_page/_enabled_icon.png")), "x");
    writeFile(dir.filePath(QStringLiteral("02_page/.hidden")), "x");
    ASSERT_EQ(course.load(root.path(), false), 0);

    auto* quiz = dynamic_cast<LmsTestActivity*>(course.getElementList().at(0));
    ASSERT_NE(quiz, nullptr);
    EXPECT_EQ(quiz->getAssociationList().getAssociation(0)->getSource(), course.getElementList().at(1));
    LmsQuestion* templ = quiz->getTemplate(QStringLiteral("T"));
    ASSERT_NE(templ, nullptr);
    EXPECT_FALSE(templ->hasAttribute(QStringLiteral("a")));  // the later template of the type wins
    EXPECT_TRUE(templ->hasAttribute(QStringLiteral("b")));
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("invalid template description ( 3 )")));
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("invalid question description ( 1 )")));
    ASSERT_EQ(quiz->getQuestionList().getCount(), 3);
    EXPECT_EQ(quiz->getQuestionList().getQuestion(0)->getDifficulty(), 0);  // absent "_difficulty"
    EXPECT_EQ(quiz->getQuestionList().getQuestion(1)->getTagList(false), QStringList({""}));
    EXPECT_EQ(quiz->getQuestionList().getQuestion(2)->getTagList(false), QStringList({"a", "b"}));  // an array reads as "a, b"
    EXPECT_FALSE(dynamic_cast<LmsLearningActivity*>(course.getElementList().at(2))->hasData());

    // One more entry gives the page data.
    writeFile(dir.filePath(QStringLiteral("02_page/sound.ogg")), "x");
    LmsCourse again(QStringLiteral("Course"));
    ASSERT_EQ(again.load(root.path(), false), 0);
    EXPECT_TRUE(dynamic_cast<LmsLearningActivity*>(again.getElementList().at(2))->hasData());
}

TEST_F(CourseLoader, OneBadElementEmptiesTheCourseAndDropsTheTree)
{
    QTemporaryDir root;
    const QDir dir(root.path());
    writeFile(dir.filePath(QStringLiteral("00_g/_metadata.json")), "{\"properties\": {\"elementName\": \"G\", \"elementType\": \"module\"}}");
    writeFile(dir.filePath(QStringLiteral("00_g/00_s/_metadata.json")), "{\"properties\": {\"elementName\": \"S\", \"elementType\": \"module\"}}");
    writeFile(dir.filePath(QStringLiteral("00_g/00_s/00_ok/_metadata.json")), "{\"properties\": {\"elementName\": \"Ok\", \"elementType\": \"learning_activity\"}}");
    writeFile(dir.filePath(QStringLiteral("00_g/00_s/01_x/_metadata.json")), "{\"properties\": {\"elementName\": \"X\", \"elementType\": \"lesson\"}}");
    QDir().mkpath(dir.filePath(QStringLiteral("01_empty")));

    // Children loaded before are destroyed, not leaked.
    ASSERT_EQ(course.load(fixture(QStringLiteral("bad_name")), false), 0);
    QPointer<LmsElement> earlier = course.getElementList().at(0);
    EXPECT_EQ(course.load(root.path(), false), 1);
    EXPECT_TRUE(earlier.isNull());
    EXPECT_TRUE(course.getElementList().isEmpty());
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("unknown element type at")));

    // Remove the bad element: the missing metadata of 01_empty is next.
    QDir(dir.filePath(QStringLiteral("00_g/00_s/01_x"))).removeRecursively();
    LmsCourse second(QStringLiteral("Course"));
    LogCapture::instance().clear();
    EXPECT_EQ(second.load(root.path(), false), 1);
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("metadata not found in  \"") + dir.filePath(QStringLiteral("01_empty"))));
}
