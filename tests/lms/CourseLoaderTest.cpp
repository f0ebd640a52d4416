#include "LmsFixtures.h"

#include <QElapsedTimer>


using namespace lmstest;

using CourseLoader = CourseTest;

// What all associations of one activity may ask for together.
const int kActivityTotal = 1000;

TEST_F(CourseLoader, ValidCourseGivesExactlyTheExpectedTree)
{
    ASSERT_EQ(course.load(fixture(QStringLiteral("valid")), false), 0);
    EXPECT_FALSE(course.isModified());
    EXPECT_TRUE(warnings().isEmpty()) << warnings().join(QLatin1Char('\n')).toStdString();

    // Element by element: questions renumbered in file order, inherited tags not copied,
    // associations by "." or by a path from their own module, absent filter values left at the
    // filter's default.
    const QStringList expected = QString::fromUtf8(readFile(fixture(QStringLiteral("valid.content")))).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(expected.size(), 38);
    EXPECT_EQ(describeContent(course), expected);

    // The array walk also visits the length slot after the last entry.
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("question description is not an object ( 4 )")));
}

TEST_F(CourseLoader, MissingModuleObjectIsAFailureNotACrash)
{
    QMap<LmsQuestionAssociation*, QString> associationPaths;
    EXPECT_EQ(LmsFilesystem::loadModule(fixture(QStringLiteral("valid")), nullptr), LmsFilesystem::StatusFailed);
    EXPECT_EQ(LmsFilesystem::loadElement(fixture(QStringLiteral("valid/02_final_exam")), nullptr, associationPaths), nullptr);
    EXPECT_EQ(warnings().size(), 2);
}

TEST_F(CourseLoader, BrokenTreesAreRefusedWhole)
{
    // a gap in the numbering, a module below a subject, malformed JSON, script in place of JSON
    // (never run: no hang), an unknown type deep down, a directory without metadata; bad
    // directory names are passed over silently
    const struct { const char* fixture; int status; QString line; int elements; } rows[] = {
        {"gap", 1, "Invalid module elements indexes at:  \"" + fixture("gap") + "\"", 0},
        {"deep_module", 1, "unexpected module at level  3", 0},
        {"malformed", 1, "metadata parsing error in  \"" + fixture("malformed/01_bad") + "\"", 0},
        {"script", 1, "", 0},
        {"bad_name", 0, "", 1},
        {"unknown_type", 1, "unknown element type at", 0},
        {"missing_metadata", 1, "metadata not found in  \"" + fixture("missing_metadata/01_empty") + "\"", 0},
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
    // A failed reload destroys the children loaded before, not leaks them.
    ASSERT_EQ(course.load(fixture(QStringLiteral("bad_name")), false), 0);
    QPointer<LmsElement> earlier = course.getElementList().at(0);
    EXPECT_EQ(earlier->getName(), QStringLiteral("Kept"));
    EXPECT_EQ(course.load(fixture(QStringLiteral("unknown_type")), false), 1);
    EXPECT_TRUE(earlier.isNull());
}

TEST_F(CourseLoader, NameEndingInLineBreakIsNoElement)
{
    QTemporaryDir root;
    const QDir dir(root.path());
    ASSERT_TRUE(copyTree(fixture(QStringLiteral("missing_metadata/00_a")), dir.filePath(QStringLiteral("00_a"))));
    ASSERT_TRUE(copyTree(fixture(QStringLiteral("missing_metadata/00_a")), dir.filePath(QStringLiteral("00_b\n"))));
    ASSERT_EQ(course.load(root.path(), false), 0);
    ASSERT_EQ(course.getElementList().size(), 1);
    EXPECT_EQ(course.getElementList().at(0)->getName(), QStringLiteral("A"));

    // Nor is it stale to the saver.
    ASSERT_EQ(course.save(), 0);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("00_b\n/_metadata.json"))));
}

TEST_F(CourseLoader, UnresolvedAssociationIsWarnedAtLoad)
{
    // "Page" is a learning page, no question source; entries 4 and 5 are no association.
    ASSERT_EQ(course.load(fixture(QStringLiteral("unresolved")), false), 0);
    EXPECT_EQ(describeContent(course).filter(QStringLiteral(": association")),
              QStringList({"unit/quiz: association - uid=-1 type= tags=[] d=5 n=1",
                           "unit/quiz: association - uid=-1 type= tags=[] d=5 n=1",
                           "unit/quiz: association unit/quiz uid=-1 type= tags=[] d=5 n=1"}));
    const QStringList unresolved = LogCapture::instance().linesContaining(QStringLiteral("association path names no question activity"));
    ASSERT_EQ(unresolved.size(), 2);
    const QString quizPath = fixture(QStringLiteral("unresolved/00_unit/01_quiz"));
    for (const QString& path : {QStringLiteral("\"Nowhere\""), QStringLiteral("\"Page\"")})
        EXPECT_EQ(unresolved.filter(path).filter(quizPath).size(), 1) << path.toStdString();
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("association is not an object ( 4 )")));
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("invalid association description ( 5 )")));
}

TEST_F(CourseLoader, EntryRulesAndLaterSiblings)
{
    // "entries": templates and questions with missing or bad entries, an association to a
    // later sibling, a learning page holding only an icon and a hidden file.
    ASSERT_EQ(course.load(fixture(QStringLiteral("entries")), false), 0);
    // The later template of a type wins; "_uid" may be text, "_difficulty" is 0 when absent; empty
    // "_tags" text is one empty tag, an array reads as its items.
    const QStringList expected = {
        "test|Quiz|00_quiz|quiz|Quiz",
        "exercise|Later|01_later|later|Later",
        "learning|Page|02_page|page|Page",
        "quiz: intro |",
        R"(quiz: template T uid=-1 d=5 own=0 tags=[] attrs={ "b": 2 })",
        "quiz: question T uid=0 d=0 own=0 tags=[] attrs={}",
        "quiz: question T uid=1 d=0 own=1 tags=[] attrs={}",
        "quiz: question T uid=2 d=0 own=1 tags=[a/b] attrs={}",
        "quiz: association later uid=-1 type= tags=[] d=5 n=2",
        "later: intro |",
        "page: data 0",
    };
    EXPECT_EQ(describeContent(course), expected);
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("invalid template description ( 3 )")));
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("invalid question description ( 1 )")));
}

TEST_F(CourseLoader, AssociationCountsOutOfRangeAreRefusedNamingTheFile)
{
    // count as written, the association kept (with its count) or refused with a warning
    const struct { const char* count; int kept; } rows[] = {
        {"2147483647", -1}, {"1001", -1}, {"-1", -1}, {"1e12", -1}, {"\"many\"", -1},
        {"1000", 1000}, {"\"7\"", 7}, {"3", 3}, {"0", 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.count);
        QTemporaryDir root;
        const QString file = QDir(root.path()).filePath(QStringLiteral("00_quiz/_metadata.json"));
        ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("00_quiz")));
        ASSERT_TRUE(writeFile(file, QByteArray("{\"properties\": {\"elementName\": \"Quiz\", \"elementType\": "
                                               "\"test_activity\"}, \"questions\": [{\"_type\": \"T\"}], "
                                               "\"associations\": [{\"path\": \".\", \"count\": ")
                                        + r.count + "}, {\"path\": \".\", \"count\": 2}]}"));
        LogCapture::instance().clear();
        LmsCourse loaded(QStringLiteral("Course"));
        ASSERT_EQ(loaded.load(root.path(), false), 0);
        const QStringList associations = describeContent(loaded).filter(QStringLiteral(": association"));
        QStringList expected;
        if (r.kept >= 0)
            expected << QStringLiteral("quiz: association quiz uid=-1 type= tags=[] d=5 n=%1").arg(r.kept);
        // the activity's total is used up by the first
        if (r.kept + 2 <= kActivityTotal)
            expected << QStringLiteral("quiz: association quiz uid=-1 type= tags=[] d=5 n=2");
        EXPECT_EQ(associations, expected);
        const QStringList refusals = LogCapture::instance().linesContaining(QStringLiteral("association ( 1 ) refused"));
        if (r.kept >= 0) {
            EXPECT_TRUE(refusals.isEmpty()) << refusals.join(QLatin1Char('\n')).toStdString();
        } else {
            ASSERT_EQ(refusals.size(), 1);
            EXPECT_TRUE(refusals.first().contains(QStringLiteral("out of range 0 to 1000 in ") + file))
                << refusals.first().toStdString();
            EXPECT_TRUE(refusals.first().contains(QLatin1String(" WARN "))) << refusals.first().toStdString();
        }
    }
}

namespace {
// A question activity whose associations each ask for `count` questions from itself, one in
// `uidEvery` by a single uid instead.
QByteArray quizWithAssociations(int associations, int count, int uidEvery = 0)
{
    QByteArray text = "{\"properties\": {\"elementName\": \"Quiz\", \"elementType\": \"test_activity\"}, "
                      "\"questions\": [{\"_type\": \"T\", \"_uid\": 0}], \"associations\": [";
    for (int i = 0; i < associations; ++i) {
        if (i)
            text += ", ";
        if (uidEvery && i % uidEvery == uidEvery - 1)
            text += "{\"path\": \".\", \"uid\": 0}";
        else
            text += "{\"path\": \".\", \"count\": " + QByteArray::number(count) + "}";
    }
    return text + "]}";
}

int askedTotal(LmsCourse& course)
{
    auto* quiz = dynamic_cast<LmsQuestionActivity*>(course.getElementList().value(0));
    int total = 0;
    for (const LmsQuestionAssociation* association : quiz->getAssociationList().getAssociations())
        total += association->getFilter()->getCount();
    return total;
}
}  // namespace

TEST_F(CourseLoader, QuestionsOfOneActivityAreBoundedWithOneWarningNamingTheFile)
{
    // Associations that fit are kept as written; the one that crosses the total keeps what still
    // fits, a uid association counts one; the rest is left out.
    const struct { int associations; int count; int uidEvery; QStringList counts; int beyond; int from; } rows[] = {
        {3, 300, 0, {"300", "300", "300"}, 0, 0},
        {4, 250, 0, {"250", "250", "250", "250"}, 0, 0},
        {5, 250, 0, {"250", "250", "250", "250"}, 250, 5},
        {3, 600, 0, {"600", "400"}, 800, 2},
        {4, 333, 4, {"333", "333", "333", "uid"}, 0, 0},
        {5, 333, 2, {"333", "uid", "333", "uid", "332"}, 1, 5},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.associations << " x " << r.count);
        QTemporaryDir root;
        const QString file = QDir(root.path()).filePath(QStringLiteral("00_quiz/_metadata.json"));
        ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("00_quiz")));
        ASSERT_TRUE(writeFile(file, quizWithAssociations(r.associations, r.count, r.uidEvery)));
        LogCapture::instance().clear();
        LmsCourse loaded(QStringLiteral("Course"));
        ASSERT_EQ(loaded.load(root.path(), false), 0);
        QStringList counts;
        for (const QString& line : describeContent(loaded).filter(QStringLiteral(": association")))
            counts << (line.contains(QLatin1String("uid=0")) ? QStringLiteral("uid") : line.section(QLatin1String("n="), 1));
        EXPECT_EQ(counts, r.counts);
        EXPECT_LE(askedTotal(loaded), kActivityTotal);
        const QStringList left = LogCapture::instance().linesContaining(QStringLiteral("beyond the total"));
        if (!r.beyond) {
            EXPECT_TRUE(warnings().isEmpty()) << warnings().join(QLatin1Char('\n')).toStdString();
            continue;
        }
        ASSERT_EQ(warnings().size(), 1) << warnings().join(QLatin1Char('\n')).toStdString();
        ASSERT_EQ(left.size(), 1);
        EXPECT_TRUE(left.first().contains(QStringLiteral("%1 questions beyond the total of 1000 of one activity left "
                                                         "out, from association ( %2 ) on, in %3")
                                              .arg(r.beyond)
                                              .arg(r.from)
                                              .arg(file)))
            << left.first().toStdString();
    }
}

TEST_F(CourseLoader, AThousandAssociationsOfAThousandLoadFastAndBounded)
{
    QTemporaryDir root;
    const QString file = QDir(root.path()).filePath(QStringLiteral("00_quiz/_metadata.json"));
    ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("00_quiz")));
    ASSERT_TRUE(writeFile(file, quizWithAssociations(1000, 1000)));
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(course.load(root.path(), false), 0);
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_EQ(describeContent(course).filter(QStringLiteral(": association")).size(), 1);
    EXPECT_EQ(askedTotal(course), kActivityTotal);
    const QStringList left = warnings();
    ASSERT_EQ(left.size(), 1) << left.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(left.first().contains(QStringLiteral("999000 questions beyond the total of 1000 of one activity left "
                                                     "out, from association ( 2 ) on, in ") + file))
        << left.first().toStdString();
}
