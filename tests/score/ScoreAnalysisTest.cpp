#include "ScoreFixture.h"

#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <QSignalSpy>

// The analyses as the score runs them on accepted codes.

TEST_F(ScoreTest, MeasuresBeatsAndSyllablesOfAQuestion)
{
    Score score;
    QSignalSpy signatures(&score, &Score::timeSignaturesChanged);
    QSignalSpy beats(&score, &Score::beatsPerMeasureChanged);
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"6/8\"> \\key<1> g/8 a b c2/4 d/8 | e/4. d/4. ]"));
    EXPECT_EQ(signatures.count(), 1);
    EXPECT_EQ(beats.count(), 1);
    EXPECT_EQ(score.beatsPerMeasure(), 2);
    ASSERT_EQ(score.measuresList().size(), 2);
    EXPECT_EQ(score.countingSyllableList(), QStringList({"1", "trip", "let", "2", "let", "1", "2"}));
    // G major
    EXPECT_EQ(score.solfegeSyllableList(), QStringList({"Do", "Re", "Mi", "Fa", "Sol", "La", "Sol"}));
    EXPECT_EQ(score.countingSyllableAtIndex(1), QString("trip"));
    EXPECT_EQ(score.solfegeSyllableAtIndex(3), QString("Fa"));
}

TEST_F(ScoreTest, MeterErrorKeepsThePreviousCountingButNewSolfege)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"2/4\"> c d ]"));
    QSignalSpy signatures(&score, &Score::timeSignaturesChanged);
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"C\"> e f g a ]"));
    EXPECT_EQ(signatures.count(), 0);
    EXPECT_TRUE(score.measuresList().isEmpty());
    EXPECT_EQ(score.beatsPerMeasure(), 0);
    EXPECT_EQ(score.countingSyllableList(), QStringList({"1", "2"}));
    EXPECT_EQ(score.solfegeSyllableList(), QStringList({"Mi", "Fa", "Sol", "La"}));
}

TEST_F(ScoreTest, MissingBarLinesStopTheCounting)
{
    Score score;
    LogCapture::instance().clear();
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"4/4\"> c d e f g ]"));
    EXPECT_EQ(score.countingSyllableList(), QStringList({"1", "2", "3", "4"}));
    EXPECT_TRUE(LogCapture::instance().contains("explicit bars missing?"));

    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"C/\"> c/2 d/4 e | f/1 ]"));
    EXPECT_EQ(score.countingSyllableList(), QStringList({"1", "2", "&", "1"}));
}

TEST_F(ScoreTest, SolfegeInMinorAndBeyondTheBanks)
{
    Score score;
    AssertRecorder::clear();
    ASSERT_TRUE(score.setGMNCode("[ \\key<0> \\solfege<\"minor\"> a0 b c1 d e f g# a ]"));
    EXPECT_EQ(score.solfegeSyllableList(), QStringList({"Do", "Re", "Me", "Fa", "Sol", "Le", "Ti", "Do"}));
    ASSERT_TRUE(score.setGMNCode("[ \\key<7> c d ]"));
    EXPECT_EQ(score.solfegeSyllableList(), QStringList({"?", "?"}));
    EXPECT_EQ(AssertRecorder::count(), 0);
}
