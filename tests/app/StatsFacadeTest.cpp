// The statistics facade's four models over a course of two grades and the records stored for it.
#include "CourseWriter.h"
#include "FacadeEnvironment.h"

#include "app/facades/QmlFacadeStats.h"
#include "exercise/RoleItemModel.h"
#include "framework/Database.h"
#include "framework/FrameworkManager.h"
#include "framework/SqlPeek.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>

using edufrmwk::Database;
using edufrmwk::FrameworkManager;

namespace {

QTemporaryDir* g_courseDir = nullptr;
LmsCourse* g_course = nullptr;

class StatsEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        g_courseDir = new QTemporaryDir();
        CourseWriter w(g_courseDir->path());
        w.plugins();
        w.module("00_grade_1", "Grade 1");
        w.module("00_grade_1/00_rhythm", "Rhythm");
        w.exercise("00_grade_1/00_rhythm/00_tap", "Exercise: Beat Tapping 1", {"t"});
        w.test("00_grade_1/00_rhythm/01_quiz", "Quiz", {"q"});
        w.module("00_grade_1/01_melody", "Melody");
        w.exercise("00_grade_1/01_melody/00_sing", "Exercise: Pitch Singing 1", {"s"});
        w.test("00_grade_1/01_melody/01_quiz", "Quiz", {"q"});
        w.module("00_grade_1/02_form", "Form");
        w.exercise("00_grade_1/02_form/00_spot", "Exercise: Form Spotting 1", {"f"});
        w.test("00_grade_1/03_exam", "Exam", {"e"});
        w.module("01_grade_2", "Grade 2");
        w.module("01_grade_2/00_rhythm", "Rhythm");
        w.test("01_grade_2/00_rhythm/00_quiz", "Quiz", {"q"});
        w.test("01_grade_2/01_exam", "Exam", {"e"});
        ASSERT_TRUE(w.ok());
        g_course = startFramework(g_courseDir->path());
    }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new StatsEnvironment);

Database* db()
{
    return FrameworkManager::getInstance()->mp_database;
}

// Each row as "timestamp|grade|subject|value", "-" for a role the row does not set.
QStringList rows(RoleItemModel* model)
{
    QStringList out;
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList cells;
        for (int role = QmlFacadeStats::TimestampRole; role <= QmlFacadeStats::ValueRole; ++role) {
            const QVariant value = model->index(r, 0).data(role);
            cells << (value.isValid() ? value.toString() : QStringLiteral("-"));
        }
        out << cells.join(QLatin1Char('|'));
    }
    return out;
}

class Stats : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(g_course, nullptr);
        restartProgress();
        AssertRecorder::clear();
        LogCapture::instance().clear();
    }
    QmlFacadeStats m_stats;
};

TEST_F(Stats, EmptyRecordsGiveTheLeadingRowsOnly)
{
    EXPECT_EQ(rows(m_stats.progress()), QStringList{"0|-|-|0"});
    EXPECT_EQ(rows(m_stats.quizMarks()), QStringList{"-|-|-|-"});
    EXPECT_EQ(rows(m_stats.examMarks()), QStringList{"-|-|-|-"});
    EXPECT_EQ(rows(m_stats.skills()), (QStringList{"-|-|Rhythm|0", "-|-|Melody|0", "-|-|Harmony|0"}));
    EXPECT_EQ(m_stats.progress()->roleNames(),
              (QHash<int, QByteArray>{{257, "timestamp"}, {258, "grade"}, {259, "subject"}, {260, "value"}}));
}

TEST_F(Stats, ProgressNumbersTheRatingsOldestFirst)
{
    RoleItemModel* model = m_stats.progress();
    QSignalSpy length(model, &RoleItemModel::lengthChanged);
    for (int rating : {100, 250, 90})
        db()->saveRating(1, rating, rating == 250);
    EXPECT_EQ(m_stats.progress(), model);  // the same object, rebuilt
    EXPECT_EQ(rows(model), (QStringList{"0|-|-|0", "1|-|-|100", "2|-|-|250", "3|-|-|90"}));
    EXPECT_EQ(length.count(), 1);
}

TEST_F(Stats, SkillsAreRhythmMelodyHarmonyWhateverTheEngineReports)
{
    db()->saveAnswer(1, Database::QuestionVariant("grade_1/rhythm/tap", "t"), 0.8);
    db()->saveAnswer(1, Database::QuestionVariant("grade_1/melody/sing", "s"), 0.5);
    db()->saveAnswer(1, Database::QuestionVariant("grade_1/form/spot", "f"), 1.0);
    // Rhythm: 0.8 x 1500 over its three question activities (two grades share the name); Melody
    // 0.5 x 1500 over two; Form is no row of its own.
    EXPECT_EQ(rows(m_stats.skills()), (QStringList{"-|-|Rhythm|400", "-|-|Melody|375", "-|-|Harmony|0"}));
}

TEST_F(Stats, MarksNameTheirGradeAndSubjectNewestFirst)
{
    struct Stored {
        const char* path;
        double mark;
    };
    const Stored stored[] = {{"grade_1/rhythm/quiz", 1.0}, {"grade_1/exam", 0.86},     {"grade_1/melody/quiz", 0.57},
                             {"grade_1/gone/quiz", 0.5},   {"grade_2/rhythm/quiz", -1}, {"grade_2/exam", 0.999}};
    for (const Stored& s : stored)
        db()->saveMark(1, s.path, s.mark, 0);
    db()->saveMark(2, "grade_1/rhythm/quiz", 0.1, 0);  // another account's
    sqlRun(FrameworkManager::getInstance()->m_dbPath,
           "UPDATE marks SET timestamp = '2026-03-0' || id || ' 14:05:00'");

    EXPECT_EQ(rows(m_stats.quizMarks()),
              (QStringList{"-|-|-|-", "2026/03/05 14:05|Grade 2|Rhythm|-100", "2026/03/03 14:05|Grade 1|Melody|57",
                           "2026/03/01 14:05|Grade 1|Rhythm|100"}));
    EXPECT_EQ(LogCapture::instance().linesContaining("could not find element grade_1/gone/quiz").size(), 1);
    EXPECT_EQ(rows(m_stats.examMarks()),
              (QStringList{"-|-|-|-", "2026/03/06 14:05|Grade 2|-|100", "2026/03/02 14:05|Grade 1|-|86"}));
    EXPECT_EQ(AssertRecorder::count(), 0);
}

TEST_F(Stats, UpdateSignalsOnlyTheModelNamed)
{
    QSignalSpy progress(&m_stats, &QmlFacadeStats::progressChanged);
    QSignalSpy skills(&m_stats, &QmlFacadeStats::skillsChanged);
    QSignalSpy quiz(&m_stats, &QmlFacadeStats::quizMarksChanged);
    QSignalSpy exam(&m_stats, &QmlFacadeStats::examMarksChanged);
    m_stats.update(m_stats.skills());
    m_stats.update(m_stats.examMarks());
    RoleItemModel stranger({});
    m_stats.update(&stranger);
    m_stats.update(nullptr);
    EXPECT_EQ(QList<int>({progress.count(), skills.count(), quiz.count(), exam.count()}), QList<int>({0, 1, 0, 1}));
}

}  // namespace
