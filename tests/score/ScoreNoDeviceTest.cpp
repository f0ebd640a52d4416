#include "ScoreFixture.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <cstdlib>

// Runs in its own process with no sound device at all, and a synthesizer never given a SoundFont.

TEST_F(ScoreTest, PlayWithoutAStreamFailsAndUnlocks)
{
    static QTemporaryDir home;
    setenv("HOME", qPrintable(home.path()), 1);
    setenv("PULSE_SERVER", "unix:/nonexistent/pulse", 1);
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ c d ]"));
    QSignalSpy playing(&score, &Score::playingChanged);
    EXPECT_FALSE(score.play());
    EXPECT_FALSE(score.playing());
    EXPECT_EQ(playing.count(), 2);  // on, then off again
    EXPECT_TRUE(LogCapture::instance().contains("playback could not start"));
    EXPECT_DOUBLE_EQ(score.ownSequencer().duration(), 0.0);
    EXPECT_FALSE(score.play());  // and can be tried again
    EXPECT_EQ(playing.count(), 4);
}

TEST_F(ScoreTest, FailedRenderKeepsBeatsMarkersAndOffset)
{
    ASSERT_FALSE(MidiSynth::instance()->isInitialized());
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"2/4\"> \\countIn \\countingOverlay c d ]"));
    AudioSequencer sequencer(44100, 2);
    score.sequence(sequencer, 0.0);
    EXPECT_TRUE(LogCapture::instance().contains("failed to render midi file"));
    // only the two count-in beats: no score sound, no syllables
    EXPECT_EQ(timelineOf(sequencer), QStringList({"tock@0", "tock@0.6"}));
    EXPECT_EQ(markersOf(sequencer), QStringList({"0@1.2", "1@1.8", "-1@2.4"}));
}
