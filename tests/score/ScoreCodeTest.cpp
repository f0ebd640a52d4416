#include "ScoreFixture.h"

#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <QSignalSpy>

// Setting code: rewriting, custom tags and their signals, refused codes.

TEST_F(ScoreTest, SameCodeTwiceIsNotAnalysedAgain)
{
    Score score;
    QSignalSpy changed(&score, &Score::gmnCodeChanged);
    QSignalSpy notes(&score, &Score::noteCountChanged);
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"4/4\"> c d e f ]"));
    EXPECT_EQ(changed.count(), 1);
    const int noteSignals = notes.count();
    EXPECT_TRUE(score.setGMNCode("[ \\meter<\"4/4\"> c d e f ]"));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(notes.count(), noteSignals);
    EXPECT_EQ(score.noteCount(), 4);
}

TEST_F(ScoreTest, RefusedCodeKeepsEverythingAndStaysRefused)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"3/4\"> c d e ]"));
    QSignalSpy changed(&score, &Score::gmnCodeChanged);
    LogCapture::instance().clear();
    EXPECT_FALSE(score.setGMNCode("[ c d e"));
    EXPECT_TRUE(LogCapture::instance().contains("could not set GMN code \"[ c d e\""));
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(score.noteCount(), 3);
    EXPECT_EQ(score.measuresList().size(), 1);
    EXPECT_EQ(score.countingSyllableList(), QStringList({"1", "2", "3"}));
    // the painter now holds the refused code; setting it again must not report success
    EXPECT_FALSE(score.setGMNCode("[ c d e"));
    EXPECT_EQ(changed.count(), 0);
}

TEST_F(ScoreTest, HighlightAndPercussiveCodeReachTheEngineRewritten)
{
    Score score;
    QSignalSpy percussive(&score, &Score::playbackPercussiveChanged);
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"2/4\"> x x/8 x/8 ] (* percussive *)"));
    EXPECT_TRUE(score.gmnCode().startsWith("[ \\staffFormat<\"1-line\"> \\clef<\"\">  \\meter"));
    EXPECT_TRUE(score.gmnCode().contains("> a1 a1/8 a1/8 ]"));
    EXPECT_TRUE(score.playbackPercussive());
    EXPECT_EQ(percussive.count(), 1);
    EXPECT_EQ(pitchesOf(score), QList<int>({9, 9, 9}));
    EXPECT_EQ(score.countingSyllableList(), QStringList({"1", "2", "&"}));

    ASSERT_TRUE(score.setGMNCode("[ c <b>d e</b> f ]"));
    EXPECT_TRUE(score.gmnCode().contains("\\noteFormat<color=\"0x1b7edb\"> d e\\noteFormat<color=\"black\"> "));
    EXPECT_FALSE(score.playbackPercussive());
    EXPECT_EQ(percussive.count(), 2);
    EXPECT_EQ(score.noteCount(), 4);

    LogCapture::instance().clear();
    score.setGMNCode("[ c x ]");
    EXPECT_TRUE(LogCapture::instance().contains("percussive note(s) in non-percussive mode"));
}

TEST_F(ScoreTest, CustomTagsSetThePlaybackSettings)
{
    Score score;
    QSignalSpy counting(&score, &Score::playbackRhythmSyllablesChanged);
    QSignalSpy metronome(&score, &Score::metronomeChanged);
    QSignalSpy tempo(&score, &Score::tempoChanged);
    ASSERT_TRUE(score.setGMNCode("[ \\key<-3> \\solfege<\"minor\"> \\bpm<80> \\countingOverlay "
                                 "\\metronome<\"accented\"> \\countIn c d e f ]"));
    EXPECT_EQ(score.key(), -3);
    EXPECT_EQ(score.scaleType(), Music::Minor);
    EXPECT_EQ(score.tempo(), 80);
    EXPECT_EQ(tempo.count(), 1);
    EXPECT_TRUE(score.playbackRhythmSyllables());
    EXPECT_FALSE(score.playbackSolfegeSyllables());
    EXPECT_EQ(score.metronomeMode(), Metronome::ModeAccented);
    EXPECT_TRUE(score.metronomeScore());
    EXPECT_TRUE(score.metronomeCountIn());
    EXPECT_EQ(metronome.count(), 3);  // mode, score on, count-in on
    // C minor: c is Do
    EXPECT_EQ(score.solfegeSyllableList().first(), QString("Do"));

    // the next code re-derives key and flags; tempo, scale, mode and the metronome switches stay
    LogCapture::instance().clear();
    ASSERT_TRUE(score.setGMNCode("[ \\solfege<\"Major\"> \\metronome<loud> c d ]"));
    EXPECT_EQ(score.key(), 0);
    EXPECT_EQ(score.scaleType(), Music::Minor);
    EXPECT_EQ(score.tempo(), 80);
    EXPECT_FALSE(score.playbackRhythmSyllables());
    EXPECT_EQ(counting.count(), 2);  // emitted for on and for off
    EXPECT_EQ(score.metronomeMode(), Metronome::ModeAccented);
    EXPECT_TRUE(score.metronomeScore());
    EXPECT_TRUE(score.metronomeCountIn());
    EXPECT_TRUE(LogCapture::instance().contains("unknown scale type Major"));
    EXPECT_TRUE(LogCapture::instance().contains("unknown metronome mode loud"));
}

TEST_F(ScoreTest, TempoBelowOneIsIgnored)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ \\bpm<120> c d ]"));
    QSignalSpy tempo(&score, &Score::tempoChanged);
    LogCapture::instance().clear();
    ASSERT_TRUE(score.setGMNCode("[ \\bpm<0> c d e ]"));
    EXPECT_EQ(score.tempo(), 120);
    EXPECT_TRUE(LogCapture::instance().contains("ignoring bpm<0>"));
    score.setTempo(0);
    score.setTempo(-20);
    EXPECT_EQ(score.tempo(), 120);
    EXPECT_EQ(tempo.count(), 0);
    EXPECT_DOUBLE_EQ(score.duration(), 1.5);
    EXPECT_DOUBLE_EQ(score.noteList().last().end(), 1.5);
}
