#include "SequenceFixtures.h"

#include "support/LogCapture.h"

// Runs in its own process: the synthesizer is never given a SoundFont here, so rendering fails.

TEST_F(ScoreTest, FailedRenderKeepsBeatsMarkersAndOffset)
{
    ASSERT_FALSE(MidiSynth::instance()->isInitialized());
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"2/4\"> \\countIn \\countingOverlay c d ]"));
    AudioSequencer sequencer(44100, 2);
    LogCapture::instance().clear();
    score.sequence(sequencer, 0.0);
    EXPECT_TRUE(LogCapture::instance().contains("failed to render midi file"));
    EXPECT_TRUE(renderedRegions(sequencer).isEmpty());
    // only the two count-in beats: no score sound, no syllables
    EXPECT_EQ(sequencer.outputRegions().size(), 2);
    EXPECT_EQ(markersOf(sequencer).size(), 3);
    EXPECT_NEAR(score.playbackOffset(), 1.2, 1e-9);
    EXPECT_NEAR(markersOf(sequencer).last().second, 1.2 + 1.2, 1e-9);
}
