#include "ScoreFixture.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <cstdlib>

// Runs in its own process with no sound device at all. (A failed render keeps beats, markers and
// offset: the sequencing rows.)

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
