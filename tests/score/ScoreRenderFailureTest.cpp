#include "ScoreFixture.h"

// Runs in its own process: the synthesizer is never given a SoundFont here, so rendering fails.

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
