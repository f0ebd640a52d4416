// The statistics engine against numbers worked out by hand.
#include "FrameworkFixtures.h"

using namespace edufrmwk;

namespace {

class Statistics : public OpenDatabase {
protected:
    QString recommend(int count, const QList<QString>& paths = {})
    {
        QList<StatisticsEngine::Recommendation> out;
        m_stats.getQuestionRecommendations(out, count, paths);
        QStringList text;
        for (const auto& r : out)
            text << QStringLiteral("%1=%2").arg(r.variant.flatten()).arg(r.count);
        return text.join(QLatin1Char(' '));
    }
};

// One worked example. Course: g1[s1[q1 q2] s2[q3 l1] q4] g2[s3[q5]], five question activities.
// Answers (oldest first):
//   g1/s1/q1@maj  0.8 0.7            mean 0.75
//   g1/s1/q1@min  1.0                mean 1.0
//   g1/s1/q2@     0.25 0.75          mean 0.5
//   g1/s2/q3@     0.33 x9, 0.34, then 0.95 x20
//                 newest 20: 0.95;   all 30: 22.31 / 30 = 0.743666...
//   g1/q4@        0.41 0.40 0.40 0.40  mean 0.4025 (in a grade, not a subject)
//   gone/x/q9@    0.1                mean 0.1 (no longer in the course)
class WorkedExample : public Statistics {
protected:
    void SetUp() override
    {
        Statistics::SetUp();
        useCourse(QStringLiteral("g1[s1[q1 q2] s2[q3 l1] q4] g2[s3[q5]]"));
        answer("g1/s1/q1", "maj", {0.8, 0.7});
        answer("g1/s1/q1", "min", {1.0});
        answer("g1/s1/q2", "", {0.25, 0.75});
        answer("g1/s2/q3", "", {0.33, 0.33, 0.33, 0.33, 0.33, 0.33, 0.33, 0.33, 0.33, 0.34});
        for (int i = 0; i < 20; ++i)
            answer("g1/s2/q3", "", {0.95}, i % 2 + 1);  // answers of every user count
        answer("g1/q4", "", {0.41, 0.40, 0.40, 0.40});
        answer("gone/x/q9", "", {0.1});
        AssertRecorder::clear();
        LogCapture::instance().clear();
    }
};

TEST_F(WorkedExample, AverageOutcomesAndOverallRatingUseTheNewestTwenty)
{
    QMap<QString, double> out{{QStringLiteral("kept"), 0.5}, {QStringLiteral("g1/q4@"), 9.0}};
    m_stats.getAverageVariantOutcomes(out);
    ASSERT_EQ(out.keys(), (QStringList{"g1/q4@", "g1/s1/q1@maj", "g1/s1/q1@min", "g1/s1/q2@", "g1/s2/q3@",
                                       "gone/x/q9@", "kept"}));
    const double expected[] = {0.4025, 0.75, 1.0, 0.5, 0.95, 0.1, 0.5};
    for (int i = 0; i < out.size(); ++i)
        EXPECT_DOUBLE_EQ(out.values().value(i), expected[i]) << out.keys().value(i).toStdString();
    // The overall rating sums every variant over the question activities:
    // (0.4025 + 0.75 + 1.0 + 0.5 + 0.95 + 0.1) / 5 x 1000 = 3.7025 / 5 x 1000 = 740.5 -> 740
    EXPECT_EQ(m_stats.getSkillRating(), 740);
    EXPECT_EQ(AssertRecorder::count(), 0);
}

TEST_F(WorkedExample, SubjectRatingsReadEveryAnswerAndTruncateAtEachStep)
{
    QMap<QString, int> out;
    m_stats.getSubjectSkillRatings(out);
    // s1: trunc(0 + 0.75 x 1500) = 1125, trunc(1125 + 1500) = 2625, trunc(2625 + 750) = 3375; / 2 = 1687
    // s2: trunc(0.743666.. x 1500) = trunc(1115.5) = 1115; / 1 (l1 is no question activity) = 1115
    // s3: no answers, 0. q4 lies in a grade and gone/x/q9 is skipped with a warning.
    const QMap<QString, int> expected{{"s1", 1687}, {"s2", 1115}, {"s3", 0}};
    EXPECT_EQ(out, expected);
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("skipping answers of gone/x/q9@")));
    EXPECT_EQ(AssertRecorder::count(), 0);
}

TEST_F(WorkedExample, RecommendationsFavourTheWeakestVariants)
{
    // Priorities: q9 0.9, q4 0.5975, q2 0.5, q1@maj 0.25, q3 0.05, q1@min 0.0; total 2.2975.
    // Count 20: trunc(0.9/2.2975 x 20) = 7, trunc(0.5975/2.2975 x 20) = 5, trunc(0.5/2.2975 x 20) = 4,
    // trunc(0.25/2.2975 x 20) = 2, trunc(0.05/2.2975 x 20) = 0 -> 1, 0 -> 1: 20 in all.
    EXPECT_EQ(recommend(20), QStringLiteral("gone/x/q9@=7 g1/q4@=5 g1/s1/q2@=4 g1/s1/q1@maj=2 g1/s2/q3@=1 "
                                            "g1/s1/q1@min=1"));
    // Only the paths asked for: priorities 0.5 (q2), 0.25 (q1@maj), 0.0 (q1@min); total 0.75.
    // Count 7: trunc(4.666) = 4, trunc(2.333) = 2, 0 -> 1.
    EXPECT_EQ(recommend(7, {QStringLiteral("g1/s1/q1"), QStringLiteral("g1/s1/q2")}),
              QStringLiteral("g1/s1/q2@=4 g1/s1/q1@maj=2 g1/s1/q1@min=1"));
    // Count 3 is used up before the last entries.
    EXPECT_EQ(recommend(3), QStringLiteral("gone/x/q9@=1 g1/q4@=1 g1/s1/q2@=1"));
    EXPECT_EQ(recommend(0), QString());
    EXPECT_EQ(recommend(5, {QStringLiteral("nowhere")}), QString());
}

TEST_F(Statistics, SharesAreTruncatedRaisedAndTopped)
{
    // one variant per mean, paths v0, v1, ...
    const struct { std::vector<double> means; int count; const char* expected; } rows[] = {
        {{0.2, 0.5, 1.0}, 10, "v0@=6 v1@=3 v2@=1"},  // priorities 0.8 0.5 0.0, total 1.3: 6, 3, 0 -> 1
        {{1.0, 1.0}, 5, "v0@=3 v1@=2"},  // total 0 -> divisor 1: 0 -> 1 each, then 1, 1, 1 round from the first
        {{0.5, 0.5, 0.5, 0.5}, 2, "v0@=1 v1@=1"},  // equal priorities keep key order; 0 -> 1 until 2 are given
        {{0.5}, 7, "v0@=7"},
        {{0.4, 0.4}, 5, "v0@=3 v1@=2"},  // 0.6/1.2 x 5 = 2.5 -> 2 twice; one left goes to the first
        {{}, 5, ""},
    };
    for (const auto& r : rows) {
        ASSERT_TRUE(run("DELETE FROM answers"));
        for (size_t i = 0; i < r.means.size(); ++i)
            answer(qPrintable(QStringLiteral("v%1").arg(i)), "", {r.means[i]});
        EXPECT_EQ(recommend(r.count), QString::fromLatin1(r.expected)) << r.expected;
    }
}

TEST_F(Statistics, CourseWithoutQuestionActivitiesRatesZero)
{
    useCourse(QStringLiteral("g[s[l1 l2]]"));
    answer("g/s/l1", "", {0.5});
    EXPECT_EQ(m_stats.getSkillRating(), 0);
    EXPECT_EQ(AssertRecorder::count(), 0);
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("no question activities")));
}

TEST_F(Statistics, VariantsThroughAnActivityOrOfSubjectsWithoutQuestionsAreSkipped)
{
    useCourse(QStringLiteral("g[s[q1] t[l1]]"));
    answer("g/s/q1/deeper", "", {0.5});  // passes through an activity
    answer("g/t/l1", "", {0.5});         // a subject without question activities
    answer("g/s/q1", "x@y", {0.5});
    QMap<QString, int> out;
    m_stats.getSubjectSkillRatings(out);
    EXPECT_EQ(out, (QMap<QString, int>{{"s", 750}}));
    EXPECT_EQ(AssertRecorder::count(), 0);
}

TEST_F(Statistics, UnreadableAnswersCountAsNoneAndAreReportedUnderTheCallersExpressions)
{
    useCourse(QStringLiteral("g[s[q1 q2]]"));
    ASSERT_TRUE(run("DROP TABLE answers"));

    QMap<QString, double> avg{{QStringLiteral("kept"), 0.5}};
    m_stats.getAverageVariantOutcomes(avg);
    EXPECT_EQ(avg.keys(), QStringList{"kept"});
    EXPECT_EQ(recommend(5), QString());
    EXPECT_EQ(m_stats.getSkillRating(), 0);
    // An entry that names no subject of the course cannot be averaged.
    QMap<QString, int> subjects{{QStringLiteral("elsewhere"), 7}};
    m_stats.getSubjectSkillRatings(subjects);
    EXPECT_EQ(subjects, (QMap<QString, int>{{"elsewhere", 7}, {"s", 0}}));
    EXPECT_EQ(AssertRecorder::expressions(),
              (QStringList{"db->getAnswers(answerMap, 20) == RC_OK", "mp_db->getAnswers(answerMap, 20) == RC_OK",
                           "mp_db->getAnswers(answerMap, 20) == RC_OK", "mp_db->getAnswers(answerMap) == RC_OK",
                           "qaPerSubject.find(subject) != qaPerSubject.end()"}));
}

TEST_F(Statistics, AnswersHeldByAnotherProgramAreAWarningAndAFailedReadNotAReport)
{
    useCourse(QStringLiteral("g[s[q1 q2]]"));
    answer("g/s/q1", "", {0.5});
    OtherProgram other(m_file, "BEGIN EXCLUSIVE");
    bool ok = true;
    EXPECT_EQ(m_stats.getSkillRating(&ok), 0);
    EXPECT_FALSE(ok);
    QMap<QString, double> avg;
    EXPECT_FALSE(m_stats.getAverageVariantOutcomes(avg));
    QList<StatisticsEngine::Recommendation> recommendations;
    EXPECT_FALSE(m_stats.getQuestionRecommendations(recommendations, 5));
    QMap<QString, int> subjects;
    EXPECT_FALSE(m_stats.getSubjectSkillRatings(subjects));
    EXPECT_EQ(subjects, (QMap<QString, int>{{"s", 0}}));
    EXPECT_EQ(AssertRecorder::count(), 0) << AssertRecorder::expressions().join(',').toStdString();
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("the answers could not be read now; going on without them")));
}

}  // namespace
