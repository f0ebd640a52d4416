#include "ScoreFixture.h"

#include "audio/Audio.h"

#include <QSignalSpy>
#include <QTest>

#include <cstdlib>

// Own playback, on the test card (faster than real time) and, where markers must arrive while the
// score plays, on the private PulseAudio in real time. Runs in its own process so that the audio
// layer starts with the test card's configuration.

namespace {

class PlaybackTest : public SequenceTest {
protected:
    static void SetUpTestSuite()
    {
        if (const char* alsaHome = std::getenv("ALSA_HOME"))
            setenv("HOME", alsaHome, 1);
        SequenceTest::SetUpTestSuite();
        Audio::initialize();
    }
    void SetUp() override
    {
        if (!std::getenv("ALSA_HOME"))
            GTEST_SKIP() << "needs the test card of scripts/test-env.sh";
        Audio::setOutputDevice("testcard");
        Audio::setInputDevice("testcard");
        LogCapture::instance().clear();
    }
};

// The test card consumes a whole timeline at once, so its markers reach the score only after the
// end; following the notes needs a device that plays in real time.
class RealTimePlaybackTest : public PlaybackTest {
protected:
    void SetUp() override
    {
        if (!std::getenv("PULSE_SERVER") || !Audio::outputDeviceList().contains("default"))
            GTEST_SKIP() << "needs the private PulseAudio of scripts/test-env.sh";
        Audio::setOutputDevice("default");
        Audio::setInputDevice("default");
    }
};

AudioSequencer& sequencerOf(Score& score) { return const_cast<AudioSequencer&>(score.ownSequencer()); }

}  // namespace

TEST_F(RealTimePlaybackTest, PlaysFollowingTheNotesThenCleansUp)
{
    QList<int> indices;  // declared before the score, so that it outlives every signal the score sends
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ \\bpm<240> c d e f ]"));
    QObject::connect(&score, &Score::currentNoteIndexChanged, [&] { indices << score.currentNoteIndex(); });
    QSignalSpy playing(&score, &Score::playingChanged);
    ASSERT_TRUE(score.play());
    EXPECT_TRUE(score.playing());
    EXPECT_FALSE(score.play());  // already playing
    EXPECT_FALSE(score.prepare());
    for (int i = 0; i < 2 && playing.count() < 2; ++i)
        playing.wait(10000);
    ASSERT_EQ(playing.count(), 2);
    EXPECT_EQ(indices, QList<int>({0, 1, 2, 3, -1}));
    EXPECT_DOUBLE_EQ(score.ownSequencer().duration(), 0.0);
}

TEST_F(PlaybackTest, StopTrackingAndAStreamTheHostEnds)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"4/4\"> \\countIn \\bpm<30> c/4 _ e f ]"));
    score.setCurrentNoteByTimeOffset(9.0);
    EXPECT_EQ(score.currentNoteIndex(), -1);  // not playing
    QSignalSpy playing(&score, &Score::playingChanged);
    ASSERT_TRUE(score.play());
    const double offset = score.playbackOffset();
    EXPECT_NEAR(offset, 8.0, 1e-9);
    QList<int> indices;
    for (double at : {2.01, 6.5, 8.5}) {  // after the end: unchanged
        score.setCurrentNoteByTimeOffset(offset + at);
        indices << score.currentNoteIndex();
    }
    EXPECT_EQ(indices, QList<int>({1, 3, 3}));
    score.stop();
    EXPECT_EQ(QVariantList({score.playing(), score.currentNoteIndex(), playing.count()}), QVariantList({false, -1, 2}));
    QMetaObject::invokeMethod(&sequencerOf(score), "finished");  // a late finished() changes nothing
    score.stop();
    EXPECT_EQ(playing.count(), 2);

}

// A stream the host ended (a poll error, a lost server) once the notes sound goes on with the notes;
// one the host ends every time finishes the playback, which can start again. Real time: on the test
// card the notes are over before anyone can look.
TEST_F(RealTimePlaybackTest, AStreamTheHostEndsGoesOnUntilItEndsTooOften)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ \\bpm<60> c d e f ]"));
    QSignalSpy playing(&score, &Score::playingChanged);
    QSignalSpy indices(&score, &Score::currentNoteIndexChanged);
    ASSERT_TRUE(score.play());
    for (int i = 0; i < 20 && score.currentNoteIndex() < 0; ++i)
        indices.wait(250);
    const int at = score.currentNoteIndex();
    ASSERT_GE(at, 0);
    ASSERT_EQ(playing.count(), 1);
    AudioSequencer& sequencer = sequencerOf(score);
    sequencer.hostStreamFinished();
    sequencer.dispatchCallbackEvents();
    for (int i = 0; i < 20 && score.currentNoteIndex() <= at; ++i)
        indices.wait(250);
    EXPECT_GT(score.currentNoteIndex(), at);
    EXPECT_EQ(playing.count(), 1);
    for (int k = 0; k < AudioSequencer::kStartRetries; ++k) {
        sequencer.hostStreamFinished();
        sequencer.dispatchCallbackEvents();
    }
    for (int i = 0; i < 20 && playing.count() < 2; ++i)
        playing.wait(250);
    EXPECT_EQ(QVariantList({score.playing(), score.currentNoteIndex(), playing.count()}), QVariantList({false, -1, 2}));
    EXPECT_TRUE(score.play());
    score.stop();
}

TEST_F(PlaybackTest, AScoreGoingAwayInMidPlaybackSignalsNobody)
{
    // markers the sequencer reached before it stopped are dropped, not delivered
    auto* score = new Score;
    ASSERT_TRUE(score->setGMNCode("[ \\bpm<480> c d e f ]"));
    const QString prefix = QString("[%1] newMarker").arg(score->instanceNumber());
    ASSERT_TRUE(score->play());
    QTest::qWait(50);
    EXPECT_TRUE(LogCapture::instance().contains(prefix));  // markers arrive while it lives
    delete score;
    LogCapture::instance().clear();
    QTest::qWait(300);
    EXPECT_FALSE(LogCapture::instance().contains(prefix));

    // a listener may be gone before the score (a local declared after it): the destructor must not
    // announce the end of its playback, also when the host's end is not yet dispatched
    for (const bool hostEnded : {false, true}) {
        score = new Score;
        ASSERT_TRUE(score->setGMNCode("[ \\bpm<30> c d e f g a b c2 ]"));
        int announced = 0;
        QObject::connect(score, &Score::playingChanged, [&] { ++announced; });
        QObject::connect(score, &Score::currentNoteIndexChanged, [&] { ++announced; });
        ASSERT_TRUE(score->play());
        if (hostEnded)
            sequencerOf(*score).hostStreamFinished();
        announced = 0;
        delete score;
        EXPECT_EQ(announced, 0) << "host ended: " << hostEnded;
    }
}
