#include "AnalysisFixtures.h"

#include "score/RuvexGuidoScoreBrowser.h"

#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

TEST(NoteBrowser, PitchesOctavesAndRests)
{
    QList<ScoreNoteInfo> notes = evenNotes(4, 4);
    RuvexGuidoScoreBrowser browser(&notes);
    browser.note("c", 0, 1);
    browser.note("d", 1, 1);
    browser.rest();
    browser.note("e", -1, 2);
    EXPECT_EQ(browser.filled(), 4);
    EXPECT_EQ(notes[0].note, 0);
    EXPECT_EQ(notes[0].octave, 1);
    EXPECT_EQ(notes[1].note, 3);
    EXPECT_EQ(notes[2].note, 12);
    EXPECT_EQ(notes[2].octave, 0);
    EXPECT_EQ(notes[3].note, 3);
    EXPECT_EQ(notes[3].octave, 2);
    // the browser fills pitches only; the voice map's times stay
    EXPECT_DOUBLE_EQ(notes[3].start(), 1.8);
}

TEST(NoteBrowser, AccidentalsAcrossCAndBKeepTheSoundingOctave)
{
    int note = -1, octave = -1;
    ASSERT_TRUE(RuvexGuidoScoreBrowser::soundingPitch("c", -1, 1, &note, &octave));
    EXPECT_EQ(note, 11);
    EXPECT_EQ(octave, 0);
    ASSERT_TRUE(RuvexGuidoScoreBrowser::soundingPitch("b", 1, 1, &note, &octave));
    EXPECT_EQ(note, 0);
    EXPECT_EQ(octave, 2);
    ASSERT_TRUE(RuvexGuidoScoreBrowser::soundingPitch("c", -2, 0, &note, &octave));
    EXPECT_EQ(note, 10);
    EXPECT_EQ(octave, -1);
    ASSERT_TRUE(RuvexGuidoScoreBrowser::soundingPitch("b", 2, -1, &note, &octave));
    EXPECT_EQ(note, 1);
    EXPECT_EQ(octave, 0);
    ASSERT_TRUE(RuvexGuidoScoreBrowser::soundingPitch("a", 0, 1, &note, &octave));
    EXPECT_EQ(note, 9);
    EXPECT_EQ(octave, 1);
    EXPECT_FALSE(RuvexGuidoScoreBrowser::soundingPitch("h", 0, 1, &note, &octave));
}

TEST(NoteBrowser, TiedEqualNotesStartOnce)
{
    QList<ScoreNoteInfo> notes = evenNotes(5, 4);
    RuvexGuidoScoreBrowser browser(&notes);
    browser.tieEvent();
    browser.note("c", 0, 1);
    browser.tieEvent();
    browser.note("c", 0, 1); // continues c
    browser.note("d", 0, 1);
    browser.tieEvent();
    browser.note("e", 0, 1);
    browser.tieEvent();
    browser.note("f", 0, 1); // a tie between different pitches starts both
    QList<int> pitches;
    for (const ScoreNoteInfo& n : notes)
        pitches << n.note;
    EXPECT_EQ(pitches, QList<int>({0, 12, 2, 4, 5}));
    EXPECT_EQ(notes[1].octave, 1);
}

TEST(NoteBrowser, ExtraEventsAndUnknownNamesAreReported)
{
    QList<ScoreNoteInfo> notes = evenNotes(1, 4);
    RuvexGuidoScoreBrowser browser(&notes);
    browser.note("", 0, 1); // empty event: fills nothing
    EXPECT_EQ(browser.filled(), 0);
    AssertRecorder::clear();
    browser.note("h", 0, 1);
    EXPECT_EQ(notes[0].note, 12);
    EXPECT_EQ(AssertRecorder::expressions(), QStringList({"note != Pitch::NONE"}));

    LogCapture::instance().clear();
    browser.note("c", 0, 1);
    browser.rest();
    EXPECT_EQ(browser.filled(), 1);
    EXPECT_EQ(notes.size(), 1);
    EXPECT_EQ(LogCapture::instance().linesContaining("note/octave list exceeds offset list (1 >= 1)").size(), 2);
}
