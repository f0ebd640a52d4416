#include "AnalysisFixtures.h"

#include "score/Music.h"
#include "score/ScoreAnalyzer.h"

#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

namespace {

QStringList countingOf(const QString& code, const QList<ScoreNoteInfo>& notes, bool* ok = nullptr)
{
    ScoreAnalyzer analyzer(1, code);
    QList<ScoreMeasureInfo> measures;
    analyzer.analyzeMeasures(measures);
    QStringList syllables;
    const bool result = analyzer.analyzeRhythm(notes, measures, syllables);
    if (ok)
        *ok = result;
    return syllables;
}

QStringList solfegeOf(const QList<ScoreNoteInfo>& notes, int key, Music::ScaleType scale)
{
    QStringList syllables;
    ScoreAnalyzer(1, "[ ]").analyzeMelody(notes, key, scale, syllables);
    return syllables;
}

} // namespace

TEST(CountingSyllables, SubdivisionsOfAQuarterBeat)
{
    EXPECT_EQ(countingOf("[ \\meter<\"4/4\"> c/16 d e f g/4 a b c ]", evenNotes(4, 16)),
              QStringList({"1", "e", "&", "a"}));
    // an eighth-note triplet
    EXPECT_EQ(countingOf("[ \\meter<\"2/4\"> c/12 d e f/4 ]", makeNotes({{0, 1, 0, 1, 1, 12},
                                                                          {2, 1, 1, 12, 2, 12},
                                                                          {4, 1, 2, 12, 3, 12},
                                                                          {5, 1, 1, 4, 2, 4}})),
              QStringList({"1", "trip", "let", "2"}));
    // a quintuplet sixteenth a fifth into the beat is not a known position
    EXPECT_EQ(countingOf("[ \\meter<\"4/4\"> c d e f ]", makeNotes({{0, 1, 0, 1, 1, 20}, {2, 1, 1, 20, 2, 20}})),
              QStringList({"1", "20?"}));
}

TEST(CountingSyllables, CompoundAndGroupedMeters)
{
    // 6/8: two triple beats
    EXPECT_EQ(countingOf("[ \\meter<\"6/8\"> c/8 d e f g a ]", evenNotes(6, 8)),
              QStringList({"1", "trip", "let", "2", "trip", "let"}));
    // sixteenths in between count "a"
    EXPECT_EQ(countingOf("[ \\meter<\"6/8\"> c/16 d e f g a ]", evenNotes(6, 16)),
              QStringList({"1", "a", "trip", "a", "let", "a"}));
    // 7/8 grouped 2+2+3
    EXPECT_EQ(countingOf("[ \\meter<\"7/8\"> \\countingScheme<\"2+2+3\"> c/8 d e f g a b ]", evenNotes(7, 8)),
              QStringList({"1", "&", "2", "&", "3", "trip", "let"}));
    // 3/4 over two measures restarts at 1
    EXPECT_EQ(countingOf("[ \\meter<\"3/4\"> c d e | f g a ]", evenNotes(6, 4)),
              QStringList({"1", "2", "3", "1", "2", "3"}));
    // C/ counts in half notes
    EXPECT_EQ(countingOf("[ \\meter<\"C/\"> c d e f ]", evenNotes(4, 4)), QStringList({"1", "&", "2", "&"}));
}

TEST(CountingSyllables, RestsTiesAndChordsAreSilent)
{
    const QList<ScoreNoteInfo> notes = makeNotes({{0, 1, 0, 1, 1, 4},
                                                  {4, 1, 0, 1, 1, 4},   // same onset: a chord tone
                                                  {12, 0, 1, 4, 2, 4},  // rest
                                                  {7, 1, 2, 4, 3, 4},
                                                  {12, 1, 3, 4, 4, 4}}); // tie continuation
    EXPECT_EQ(countingOf("[ \\meter<\"4/4\"> c d e f ]", notes), QStringList({"1", "", "", "3", ""}));
}

TEST(CountingSyllables, NotesBeyondTheMeasuresStopTheAnalysis)
{
    LogCapture::instance().clear();
    bool ok = true;
    const QStringList s = countingOf("[ \\meter<\"4/4\"> c d e f g ]", evenNotes(5, 4), &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(s, QStringList({"1", "2", "3", "4"}));
    EXPECT_TRUE(LogCapture::instance().contains("syntax error while mapping note to measure; explicit bars missing?"));

    // a measure without a meter has no length and no beats: nothing maps into it
    EXPECT_TRUE(countingOf("[ ]", evenNotes(1, 4), &ok).isEmpty());
    EXPECT_FALSE(ok);
}

TEST(CountingSyllables, TableOfPositions)
{
    EXPECT_EQ(ScoreAnalyzer::countingSyllable(0, 2, true), QString("3"));
    EXPECT_EQ(ScoreAnalyzer::countingSyllable(16, 0, false), QString("16?"));
    EXPECT_EQ(ScoreAnalyzer::countingSyllable(25, 0, true), QString("25?"));
    EXPECT_EQ(ScoreAnalyzer::countingSyllable(50, 0, true), QString("a"));
    EXPECT_EQ(ScoreAnalyzer::countingSyllable(75, 0, true), QString("75?"));
    EXPECT_EQ(ScoreAnalyzer::countingSyllable(83, 0, true), QString("a"));
    EXPECT_EQ(ScoreAnalyzer::countingSyllable(83, 0, false), QString("83?"));
}

TEST(SolfegeSyllables, MovableDoInMajorKeys)
{
    EXPECT_STREQ(Music::noteToSolfege(0, Music::Major, 7), "Sol");
    EXPECT_STREQ(Music::noteToSolfege(-1, Music::Major, 10), "Fa");
    EXPECT_STREQ(Music::noteToSolfege(2, Music::Major, 1), "Ti");
    EXPECT_STREQ(Music::noteToSolfege(-6, Music::Major, 6), "Do");
    EXPECT_STREQ(Music::noteToSolfege(6, Music::Major, "F#"), "Do");
    EXPECT_STREQ(Music::noteToSolfege(0, Music::Major, "e&"), "Me");
    // a C major scale
    const QList<ScoreNoteInfo> scale = makeNotes({{0, 1, 0, 1, 1, 4}, {2, 1, 1, 4, 2, 4}, {4, 1, 2, 4, 3, 4},
                                                  {5, 1, 3, 4, 4, 4}, {7, 1, 4, 4, 5, 4}, {9, 1, 5, 4, 6, 4},
                                                  {11, 1, 6, 4, 7, 4}, {0, 2, 7, 4, 8, 4}, {12, 0, 8, 4, 9, 4}});
    EXPECT_EQ(solfegeOf(scale, 0, Music::Major), QStringList({"Do", "Re", "Mi", "Fa", "Sol", "La", "Ti", "Do", ""}));
}

TEST(SolfegeSyllables, MinorKeysUseTheRelativeMinorsTonic)
{
    EXPECT_STREQ(Music::noteToSolfege(0, Music::Minor, 0), "Me");
    EXPECT_STREQ(Music::noteToSolfege(0, Music::Minor, 9), "Do");
    EXPECT_STREQ(Music::noteToSolfege(1, Music::Minor, 4), "Do");
    EXPECT_STREQ(Music::noteToSolfege(-3, Music::Minor, 0), "Do");
    EXPECT_STREQ(Music::noteToSolfege(-3, Music::Minor, 8), "Le");
    // A harmonic minor: the raised seventh is Ti
    const QList<ScoreNoteInfo> notes = makeNotes({{9, 1, 0, 1, 1, 4}, {11, 1, 1, 4, 2, 4}, {0, 2, 2, 4, 3, 4},
                                                  {5, 1, 3, 4, 4, 4}, {8, 1, 4, 4, 5, 4}});
    EXPECT_EQ(solfegeOf(notes, 0, Music::Minor), QStringList({"Do", "Re", "Me", "Le", "Ti"}));
}

TEST(SolfegeSyllables, KeysBeyondSixWarnOnceWithoutTheFatalReport)
{
    AssertRecorder::clear();
    LogCapture::instance().clear();
    const QStringList s = solfegeOf(evenNotes(3, 4), 7, Music::Major);
    EXPECT_EQ(s, QStringList({"?", "?", "?"}));
    EXPECT_EQ(AssertRecorder::count(), 0);
    EXPECT_EQ(LogCapture::instance().linesContaining("no solfege for key 7").size(), 1);
    // the score keeps such keys away from Music: a direct call is a broken caller, as is an unknown name
    EXPECT_EQ(Music::noteToSolfege(7, Music::Major, 1), nullptr);
    EXPECT_EQ(Music::noteToSolfege(-7, Music::Minor, 0), nullptr);
    EXPECT_EQ(Music::noteToSolfege(0, Music::Major, "h"), nullptr);
    EXPECT_EQ(AssertRecorder::expressions(), QStringList({"root", "root", "note_idx != -1"}));
}
