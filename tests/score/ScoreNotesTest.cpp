#include "ScoreFixture.h"

#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <QSignalSpy>

// Note lists: pitches, octaves and times at several tempi.

namespace {

void expectTimes(const Score& score, const QList<double>& starts, double last)
{
    ASSERT_EQ(score.noteCount(), starts.size());
    for (int i = 0; i < starts.size(); ++i) {
        EXPECT_NEAR(score.noteList()[i].start(), starts[i], 1e-9) << "note " << i;
        const double end = i + 1 < starts.size() ? starts[i + 1] : last;
        EXPECT_NEAR(score.noteList()[i].end(), end, 1e-9) << "note " << i;
    }
}

} // namespace

TEST_F(ScoreTest, FourQuartersAtTwoTempi)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ c1/4 d e f ]"));
    EXPECT_EQ(pitchesOf(score), QList<int>({0, 2, 4, 5}));
    for (const Score::NoteInfo& n : score.noteList())
        EXPECT_EQ(n.octave, 1);
    expectTimes(score, {0.0, 0.6, 1.2, 1.8}, 2.4);
    EXPECT_DOUBLE_EQ(score.duration(), 2.4);
    EXPECT_EQ(score.noteList()[1].guidoTimeSegment.start.num(), 1);
    EXPECT_EQ(score.noteList()[1].guidoTimeSegment.start.denom(), 4);

    QSignalSpy duration(&score, &Score::durationChanged);
    score.setTempo(50);
    expectTimes(score, {0.0, 1.2, 2.4, 3.6}, 4.8);
    EXPECT_DOUBLE_EQ(score.duration(), 4.8);
    EXPECT_EQ(duration.count(), 1);
    EXPECT_DOUBLE_EQ(score.guidoDateToAudioTime({3, 2}), 7.2);
    score.setTempo(120);
    EXPECT_DOUBLE_EQ(score.guidoDateToAudioTime({3, 2}), 3.0);
}

TEST_F(ScoreTest, RestsDotsAndTuplets)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ \\bpm<60> c/4. d/8 _/4 e/12 f g a/2 ]"));
    EXPECT_EQ(pitchesOf(score), QList<int>({0, 2, 12, 4, 5, 7, 9}));
    EXPECT_EQ(score.noteList()[2].octave, 0);
    expectTimes(score, {0.0, 1.5, 2.0, 3.0, 3.0 + 1.0 / 3, 3.0 + 2.0 / 3, 4.0}, 6.0);
    EXPECT_DOUBLE_EQ(score.duration(), 6.0);
}

TEST_F(ScoreTest, TiedNotesStartOnce)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"4/4\"> c/2 \\tie(d/4 d/4) | \\tie(e/4 f/4) g/2 ]"));
    EXPECT_EQ(pitchesOf(score), QList<int>({0, 2, 12, 4, 5, 7}));
    EXPECT_EQ(score.countingSyllableList(), QStringList({"1", "3", "", "1", "2", "3"}));
    EXPECT_EQ(score.solfegeSyllableList(), QStringList({"Do", "Re", "", "Mi", "Fa", "Sol"}));
}

TEST_F(ScoreTest, AccidentalsAcrossCAndBKeepTheSoundingOctave)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ c&1 b#1 c##1 a1 ]"));
    ASSERT_EQ(score.noteCount(), 4);
    EXPECT_EQ(score.noteList()[0].note, 11);
    EXPECT_EQ(score.noteList()[0].octave, 0);
    EXPECT_EQ(score.noteList()[1].note, 0);
    EXPECT_EQ(score.noteList()[1].octave, 2);
    EXPECT_EQ(score.noteAtIndex(0), QString("B0"));
    EXPECT_EQ(score.noteAtIndex(1), QString("C2"));
    EXPECT_EQ(score.noteAtIndex(2), QString("D1"));
    EXPECT_EQ(score.noteAtIndex(3), QString("A1"));
    EXPECT_EQ(score.noteAtIndex(4), QString("?"));
    EXPECT_EQ(score.noteAtIndex(-1), QString("?"));
}

TEST_F(ScoreTest, ChordTonesShareTheirOnset)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"2/4\"> {c, e, g} d ]"));
    ASSERT_GE(score.noteCount(), 2);
    const QStringList counting = score.countingSyllableList();
    EXPECT_EQ(counting.first(), QString("1"));
    EXPECT_EQ(counting.last(), QString("2"));
    for (int i = 1; i + 1 < counting.size(); ++i)
        EXPECT_TRUE(counting[i].isEmpty()) << i;
}

TEST_F(ScoreTest, EmptyAndInvalidCodesLeaveNoNotes)
{
    Score score;
    EXPECT_EQ(score.noteCount(), 0);
    EXPECT_EQ(score.beatsPerMeasure(), 0);
    EXPECT_DOUBLE_EQ(score.duration(), 0.0);
    EXPECT_FALSE(score.setGMNCode("[ c d"));
    EXPECT_EQ(score.noteCount(), 0);
    EXPECT_EQ(score.countingSyllableAtIndex(0), QString("?"));
    EXPECT_EQ(score.solfegeSyllableAtIndex(0), QString("?"));
}

TEST_F(ScoreTest, NotesTheEngineSplitsSoundOnce)
{
    Score score;
    // the half note crosses the bar line: the engine draws it as two tied quarters
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"2/4\"> c/4 d/2 e/4 ]"));
    EXPECT_EQ(pitchesOf(score), QList<int>({0, 2, 12, 4}));
    expectTimes(score, {0.0, 0.6, 1.2, 1.8}, 2.4);
}

TEST_F(ScoreTest, ChordsWithSecondsKeepTheNotesAfterThem)
{
    // the engine lists no head for a note drawn beside the stem (g, d); nothing after them shifts
    Score score;
    LogCapture::instance().clear();
    ASSERT_TRUE(score.setGMNCode("[ {f1, g, a} {c1, d, e} {e1, c1, g1} c2 ]"));
    EXPECT_EQ(pitchesOf(score), QList<int>({5, 9, 0, 4, 4, 0, 7, 0}));
    EXPECT_EQ(score.noteList().last().octave, 2);
    EXPECT_NEAR(score.noteList().last().start(), 1.8, 1e-9);
    EXPECT_EQ(score.noteBoundingRects().size(), score.noteCount());
    EXPECT_FALSE(LogCapture::instance().contains("exceeds offset list"));
    EXPECT_TRUE(LogCapture::instance().contains("2 note(s) without a place in the engine's voice map"));
}

TEST_F(ScoreTest, GraceNotesMeetTheirNotes)
{
    Score score;
    LogCapture::instance().clear();
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"4/4\"> \\grace(c/16) d/4 e f g ]"));
    EXPECT_EQ(pitchesOf(score), QList<int>({0, 2, 4, 5, 7}));
    // the grace note takes no time of its own: d begins the measure and g ends it
    EXPECT_NEAR(score.noteList()[1].start(), 0.0, 1e-9);
    EXPECT_NEAR(score.noteList()[4].end(), 2.4, 1e-9);
    EXPECT_EQ(score.noteBoundingRects().size(), 5);
    EXPECT_FALSE(LogCapture::instance().contains("exceeds offset list"));
    EXPECT_EQ(score.countingSyllableList().size(), 5);
}
