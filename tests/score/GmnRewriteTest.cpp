#include "score/ScoreCustomTags.h"
#include "score/ScoreGmnRewriter.h"

#include <gtest/gtest.h>

TEST(GmnRewrite, HighlightMarkupBecomesNoteColours)
{
    EXPECT_EQ(ScoreGmnRewriter::rewrite("[ c d <b>e f</b> g ]"),
              QString("[ c d \\noteFormat<color=\"0x1b7edb\"> e f\\noteFormat<color=\"black\">  g ]"));
    // case-sensitive: <B> is left to the engine
    EXPECT_EQ(ScoreGmnRewriter::rewrite("[ <B>c</B> ]"), QString("[ <B>c</B> ]"));
}

TEST(GmnRewrite, PercussiveModeRewritesStavesAndXNotes)
{
    const QString out = ScoreGmnRewriter::rewrite("(* percussive *) [ x x/8 x/8 _ x ]");
    EXPECT_EQ(out, QString("(* percussive *) [ \\staffFormat<\"1-line\"> \\clef<\"\">  a1 a1/8 a1/8 _ a1 ]"));
    // an x right after "[" is reached because the staff form ends in a blank
    EXPECT_EQ(ScoreGmnRewriter::rewrite("percussive [x x]"),
              QString("percussive [ \\staffFormat<\"1-line\"> \\clef<\"\"> a1 a1]"));
    // every blank-x is rewritten, also inside a tag's text
    EXPECT_TRUE(ScoreGmnRewriter::rewrite("[ \\title<\"a x b\"> x ] percussive").contains("\"a a1 b\""));
}

TEST(GmnRewrite, PercussiveWordAnywhereAndCaseSensitive)
{
    EXPECT_TRUE(ScoreGmnRewriter::isPercussive("[ c ] (* nonpercussive comment *)"));
    EXPECT_FALSE(ScoreGmnRewriter::isPercussive("[ c ] Percussive"));
    // without the word, x notes stay for the engine to judge
    EXPECT_TRUE(ScoreGmnRewriter::hasPercussiveNotes("[ x x ]"));
    EXPECT_EQ(ScoreGmnRewriter::rewrite("[ x x ]"), QString("[ x x ]"));
}

TEST(CustomTags, KeyIsRederivedFromEveryCode)
{
    ScoreCustomTags t = ScoreCustomTags::read("[ \\key<-3> c d ]");
    EXPECT_TRUE(t.hasKey);
    EXPECT_EQ(t.key, -3);
    // a quoted key name is the engine's business, not a count of sharps
    t = ScoreCustomTags::read("[ \\key<\"D\"> c ]");
    EXPECT_FALSE(t.hasKey);
    EXPECT_EQ(t.key, 0);
    EXPECT_EQ(ScoreCustomTags::read("[ c ]").key, 0);
    // only the first match counts
    EXPECT_EQ(ScoreCustomTags::read("[ \\key<2> c \\key<-1> d ]").key, 2);
}

TEST(CustomTags, ScaleTypeWordIsTakenAsWritten)
{
    EXPECT_EQ(ScoreCustomTags::read("[ \\solfege<\"minor\"> c ]").scaleType, QString("minor"));
    EXPECT_EQ(ScoreCustomTags::read("[ \\solfege<major> c ]").scaleType, QString("major"));
    EXPECT_EQ(ScoreCustomTags::read("[ \\solfege<\"Major\"> c ]").scaleType, QString("Major"));
    EXPECT_TRUE(ScoreCustomTags::read("[ c ]").scaleType.isEmpty());
}

TEST(CustomTags, TempoBelowOneCountsAsAbsent)
{
    ScoreCustomTags t = ScoreCustomTags::read("[ \\bpm<72> c ]");
    EXPECT_TRUE(t.hasTempo);
    EXPECT_EQ(t.tempo, 72);
    t = ScoreCustomTags::read("[ \\bpm<0> c ]");
    EXPECT_FALSE(t.hasTempo);
    EXPECT_EQ(t.refusedTempo, QString("0"));
    t = ScoreCustomTags::read("[ \\bpm<99999999999> c ]");
    EXPECT_FALSE(t.hasTempo);
    EXPECT_FALSE(ScoreCustomTags::read("[ \\bpm<-5> c ]").hasTempo);
}

TEST(CustomTags, FlagsAndMetronome)
{
    ScoreCustomTags t = ScoreCustomTags::read(
        "[ \\countingOverlay \\solfegeOverlay \\metronome<\"talking\"> \\countIn c ] percussive");
    EXPECT_TRUE(t.countingOverlay);
    EXPECT_TRUE(t.solfegeOverlay);
    EXPECT_TRUE(t.hasMetronome);
    EXPECT_EQ(t.metronome, QString("talking"));
    EXPECT_TRUE(t.countIn);
    EXPECT_TRUE(t.percussive);

    t = ScoreCustomTags::read("[ metronome<loud> c ]");
    EXPECT_TRUE(t.hasMetronome);
    EXPECT_EQ(t.metronome, QString("loud"));
    EXPECT_FALSE(t.countingOverlay);
    EXPECT_FALSE(t.solfegeOverlay);
    EXPECT_FALSE(t.countIn);
    EXPECT_FALSE(t.percussive);
}
