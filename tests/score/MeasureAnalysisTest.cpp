#include "score/ScoreAnalyzer.h"

#include "support/LogCapture.h"

#include <gtest/gtest.h>

namespace {

QList<ScoreMeasureInfo> measuresOf(const QString& code, bool* ok = nullptr)
{
    QList<ScoreMeasureInfo> measures;
    const bool result = ScoreAnalyzer(1, code).analyzeMeasures(measures);
    if (ok)
        *ok = result;
    return measures;
}

QStringList texts(const QList<ScoreMeasureInfo>& measures)
{
    QStringList out;
    for (const ScoreMeasureInfo& m : measures)
        out << m.toString();
    return out;
}

} // namespace

TEST(MeasureAnalysis, TextFormsOfBeatsAndMeasures)
{
    EXPECT_EQ(ScoreBeatInfo({0, 0.25, false}).toString(), QString("0:0.25:S"));
    EXPECT_EQ(ScoreBeatInfo({1, 0.375, true}).toString(), QString("1:0.375:T"));
    const QList<ScoreMeasureInfo> m = measuresOf("[ \\meter<\"4/4\"> c d e f ]");
    ASSERT_EQ(m.size(), 1);
    EXPECT_EQ(m[0].toString(),
              QString("4/4 (countingScheme:\"default\" beatList=\"0:0.25:S 1:0.25:S 2:0.25:S 3:0.25:S\")"));
}

TEST(MeasureAnalysis, SimpleAndCompoundMeters)
{
    QList<ScoreMeasureInfo> m = measuresOf("[ \\meter<\"3/4\"> c d e | f g a ]");
    ASSERT_EQ(m.size(), 2);
    for (const ScoreMeasureInfo& measure : m) {
        EXPECT_EQ(measure.numerator, 3);
        EXPECT_EQ(measure.denominator, 4);
        ASSERT_EQ(measure.beatList.size(), 3);
        EXPECT_DOUBLE_EQ(measure.beatList[2].length, 0.25);
        EXPECT_EQ(measure.beatList[2].index, 2);
    }

    m = measuresOf("[ \\meter<\"6/8\"> c/8 d e f g a ]");
    ASSERT_EQ(m.size(), 1);
    EXPECT_EQ(texts(m).first(), QString("6/8 (countingScheme:\"default\" beatList=\"0:0.375:T 1:0.375:T\")"));

    m = measuresOf("[ \\meter<\"7/8\"> c/8 d e f g a b ]");
    ASSERT_EQ(m[0].beatList.size(), 7);
    EXPECT_DOUBLE_EQ(m[0].beatList[6].length, 0.125);
    EXPECT_FALSE(m[0].beatList[6].triple);

    m = measuresOf("[ \\meter<\"9/8\"> c/8 ]");
    EXPECT_EQ(m[0].beatList.size(), 3);
    EXPECT_TRUE(m[0].beatList[0].triple);
}

TEST(MeasureAnalysis, CountingSchemeGroupsTheBeats)
{
    QList<ScoreMeasureInfo> m = measuresOf("[ \\meter<\"7/8\"> \\countingScheme<\"2 + 2+3\"> c/8 d e f g a b ]");
    ASSERT_EQ(m.size(), 1);
    EXPECT_EQ(m[0].toString(),
              QString("7/8 (countingScheme:\"2+2+3\" beatList=\"0:0.25:S 1:0.25:S 2:0.375:T\")"));

    // bad pieces are skipped with a warning; a group other than 2 or 3 gives no beat
    LogCapture::instance().clear();
    m = measuresOf("[ \\meter<\"7/8\"> \\countingScheme<\"2+x++4+3\"> c/8 ]");
    EXPECT_EQ(m[0].countingScheme, QList<int>({2, 4, 3}));
    EXPECT_EQ(m[0].toString(), QString("7/8 (countingScheme:\"2+4+3\" beatList=\"0:0.25:S 2:0.375:T\")"));
    EXPECT_EQ(LogCapture::instance().linesContaining("syntax error while deriving counting scheme").size(), 2);
    EXPECT_TRUE(LogCapture::instance().contains("syntax error while deriving beat info"));

    // a later measure without its own scheme repeats the previous one
    m = measuresOf("[ \\meter<\"7/8\"> \\countingScheme<\"3+2+2\"> c/8 d e f g a b | c d e f g a b ]");
    ASSERT_EQ(m.size(), 2);
    EXPECT_EQ(m[1].toString(), m[0].toString());
}

TEST(MeasureAnalysis, CutTimeAndRefusedMeters)
{
    QList<ScoreMeasureInfo> m = measuresOf("[ \\meter<\"C/\"> c/2 d ]");
    ASSERT_EQ(m.size(), 1);
    EXPECT_EQ(m[0].numerator, 2);
    EXPECT_EQ(m[0].denominator, 2);
    ASSERT_EQ(m[0].beatList.size(), 2);
    EXPECT_DOUBLE_EQ(m[0].beatList[0].length, 0.5);

    LogCapture::instance().clear();
    bool ok = true;
    m = measuresOf("[ \\meter<\"4/4\"> c d e f | \\meter<\"C\"> c d e f ]", &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(m.isEmpty());
    EXPECT_TRUE(LogCapture::instance().contains("syntax error while deriving time signatures"));

    m = measuresOf("[ \\meter<\"0/4\"> c ]", &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(m.isEmpty());

    // a numerator no one counts would ask for a record per beat
    m = measuresOf("[ \\meter<\"128/8\"> c ]", &ok);
    EXPECT_TRUE(ok);
    ASSERT_EQ(m.size(), 1);
    EXPECT_EQ(m[0].beatList.size(), 128);
    LogCapture::instance().clear();
    m = measuresOf("[ \\meter<\"2000000000/4\"> c ]", &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(m.isEmpty());
    EXPECT_TRUE(LogCapture::instance().contains("syntax error while deriving time signatures"));
}

TEST(MeasureAnalysis, BarLinesAndMissingMeter)
{
    // without "|" the engine's \bar splits measures
    QList<ScoreMeasureInfo> m = measuresOf("[ \\meter<\"2/4\"> c d \\bar e f \\bar g a ]");
    EXPECT_EQ(m.size(), 3);

    // a bar line just before "]" adds one more copy of the last measure
    m = measuresOf("[ \\meter<\"2/4\"> c d | e f | ]");
    ASSERT_EQ(m.size(), 3);
    EXPECT_EQ(m[2].toString(), m[1].toString());

    LogCapture::instance().clear();
    m = measuresOf("[ c d e f | g a b c ]");
    ASSERT_EQ(m.size(), 2);
    EXPECT_EQ(m[0].numerator, 4);
    EXPECT_EQ(m[0].beatList.size(), 4);
    EXPECT_EQ(LogCapture::instance().linesContaining("no meter specified; assuming 4/4").size(), 1);
}

TEST(MeasureAnalysis, SegmentWithoutMeterOrLettersHasNoBeats)
{
    // the first segment holds neither a meter nor a letter: no beats can be derived for it
    const QList<ScoreMeasureInfo> m = measuresOf("[ | \\meter<\"3/4\"> c d e ]");
    ASSERT_EQ(m.size(), 2);
    EXPECT_EQ(m[0].numerator, 0);
    EXPECT_TRUE(m[0].beatList.isEmpty());
    EXPECT_EQ(m[1].beatList.size(), 3);
}
