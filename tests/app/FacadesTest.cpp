// The interaction lock, the system facade, and the media and score proxies on the virtual
// "testcard" device (faster than real time; its speaker writes $TEST_SPK_WAV).
#include "app/facades/MediaProxy.h"
#include "app/facades/QmlFacadeSystem.h"
#include "app/facades/QmlGlobals.h"
#include "app/facades/ScoreProxy.h"
#include "app/facades/SystemInfoProvider.h"
#include "audio/Audio.h"
#include "audio/AudioFixtures.h"
#include "audio/AudioPlayer.h"
#include "audio/midi/MidiSynth.h"
#include "debug/Debugging.h"

#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

namespace {

using namespace AudioFixtures;

int depth()
{
    return QmlGlobals::getInstance()->lockDepth();
}

class FacadesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Debugging::setLoggingLevel(QsLogging::TraceLevel);
        if (const char* home = std::getenv("ALSA_HOME"))
            setenv("HOME", home, 1);  // where ALSA finds the test card, read once
        Audio::initialize();
        Score::initialize(QString(), false);
        MidiSynth::instance()->initialize(QStringLiteral(BRISOLA_BINARY_DIR) + "/Resources/VessaGM6mb.sf2");
    }
    void SetUp() override
    {
        while (depth() > 0)
            QmlGlobals::getInstance()->popLock();
        AssertRecorder::clear();
        LogCapture::instance().clear();
    }
    // The proxies play on the test card, each test's speaker a WAV of its own.
    bool useTestCard()
    {
        if (!std::getenv("ALSA_HOME") || !Audio::outputDeviceList().contains("testcard"))
            return false;
        setenv("TEST_SPK_WAV", qPrintable(m_dir.filePath("spk.wav")), 1);
        Audio::setOutputDevice("testcard");
        Audio::setInputDevice("testcard");
        return writeOgg(m_tone, sine(44100, 2, 440.0, 12000), 2, 44100);
    }

    QTemporaryDir m_dir;
    QString m_tone = m_dir.filePath("tone.ogg");
};

#define NEEDS_TEST_CARD() \
    if (!useTestCard()) \
    GTEST_SKIP() << "needs the test card of scripts/test-env.sh"

TEST_F(FacadesTest, InteractionLockCountsDepthAndSignalsAtTheEdges)
{
    QmlGlobals* globals = QmlGlobals::getInstance();
    QSignalSpy updated(globals, &QmlGlobals::interactionEnabledUpdated);
    // push, push, pop, pop, and a pop at depth 0 that keeps 0 and signals again
    const struct {
        bool push;
        int depth;
        int emitted;
    } steps[] = {{true, 1, 1}, {true, 2, 1}, {false, 1, 1}, {false, 0, 2}, {false, 0, 3}};
    for (const auto& s : steps) {
        s.push ? globals->pushLock() : globals->popLock();
        EXPECT_EQ(depth(), s.depth);
        EXPECT_EQ(globals->property("interactionEnabled").toBool(), s.depth == 0);
        EXPECT_EQ(updated.count(), s.emitted);
    }
    EXPECT_TRUE(LogCapture::instance().contains("pushLock(depth=2)"));
}

class FakeApplication : public SystemInfoProvider {
public:
    bool debugMode() const override { return true; }
    QString qmlPath() const override { return ":/qml"; }
    void displayAbout() override { ++about; }
    void displayHelpUrl() override { ++help; }
    int about = 0;
    int help = 0;
};

TEST_F(FacadesTest, SystemFacadeReadsTheApplicationThroughItsProvider)
{
    QmlFacadeSystem system;
    system.displayAbout();  // before the shell registers its application object
    EXPECT_TRUE(LogCapture::instance().contains("no application object"));
    EXPECT_FALSE(system.property("debugMode").toBool());
    FakeApplication app;
    SystemInfoProvider::setInstance(&app);
    EXPECT_TRUE(system.property("debugMode").toBool());
    EXPECT_EQ(system.property("qmlPath").toString(), ":/qml");
    system.displayAbout();
    system.displayHelp();
    EXPECT_EQ(app.about + 10 * app.help, 11);
    SystemInfoProvider::setInstance(nullptr);
    system.die("the course is broken");
    EXPECT_EQ(AssertRecorder::expressions(), QStringList{"0"});
}

TEST_F(FacadesTest, MediaProxyHoldsOneLockLevelWhilePlayingAndFailsCleanly)
{
    NEEDS_TEST_CARD();
    MediaProxy proxy;
    QSignalSpy playing(&proxy, &MediaProxy::playingChanged);
    proxy.playFile(m_tone);
    EXPECT_TRUE(proxy.playing());
    EXPECT_EQ(depth(), 1);
    ASSERT_TRUE(playing.wait(10000) || playing.count() == 2);
    EXPECT_EQ(playing.count(), 2);
    EXPECT_EQ(depth(), 0);
    const QVector<short> out = readWavSamples(m_dir.filePath("spk.wav"));
    ASSERT_GE(out.size(), 44100);
    EXPECT_NEAR(dominantFrequency(out.mid(4410, 22050), 44100, 200, 1000), 440.0, 2.0);
    AudioPlayer::getInstance()->finished();  // a later end no longer reaches it
    EXPECT_EQ(depth(), 0);

    // another proxy's file ends this one's; that proxy destroyed mid-sound stops it and gives its level back
    auto second = std::make_unique<MediaProxy>();
    proxy.playFile(m_tone);
    second->playFile(m_tone);
    EXPECT_FALSE(proxy.playing());
    EXPECT_EQ(depth(), 1);
    second.reset();
    EXPECT_EQ(depth(), 0);
    EXPECT_FALSE(AudioPlayer::getInstance()->sequencer().isPlaying());

    // missing, or not Ogg: playing goes true then false, the lock untouched
    const QString wav = m_dir.filePath("tone.wav");
    ASSERT_TRUE(writeWav(wav, sine(4410, 1, 440.0, 12000), 1, 44100));
    for (const QString& path : {m_dir.filePath("missing.ogg"), wav}) {
        playing.clear();
        proxy.playFile(path, 0.5, 1.0);
        EXPECT_EQ(playing.count(), 2);
        EXPECT_EQ(depth(), 0);
        EXPECT_TRUE(LogCapture::instance().contains("failed to play " + path));
    }
}

TEST_F(FacadesTest, ScoreProxyHoldsOneLockLevelWhilePlaying)
{
    NEEDS_TEST_CARD();
    auto score = std::make_unique<ScoreProxy>();
    ASSERT_TRUE(score->setGMNCode("[ \\bpm<240> c d e f ]"));
    QSignalSpy playing(score.get(), &Score::playingChanged);
    ASSERT_TRUE(score->play());
    EXPECT_FALSE(score->play());  // already playing: no second level
    EXPECT_EQ(depth(), 1);
    ASSERT_TRUE(playing.wait(10000) || playing.count() == 2);
    EXPECT_EQ(depth(), 0);
    ASSERT_TRUE(score->play());
    score->stop();
    score->stop();
    EXPECT_EQ(depth(), 0);
    ASSERT_TRUE(score->play());
    score.reset();  // a page unloaded mid-score
    EXPECT_EQ(depth(), 0);
    ScoreProxy empty;  // cannot start: gives its level back
    EXPECT_FALSE(empty.play());
    EXPECT_EQ(depth(), 0);
}

// A page follows the engine's playback of a question by the time since its first note.
TEST_F(FacadesTest, ScoreProxyFindsTheNoteSoundingAtATime)
{
    struct Case {
        const char* code;
        int tempo;
        double seconds;
        int expected;
    };
    const Case cases[] = {
        {"[ c/4 d/2 e/4 ]", 60, 0.0, 0},    // the first note's start belongs to it
        {"[ c/4 d/2 e/4 ]", 60, 0.99, 0},
        {"[ c/4 d/2 e/4 ]", 60, 1.0, 1},    // the next note's start is no longer the last one's
        {"[ c/4 d/2 e/4 ]", 60, 2.9, 1},    // a half note lasts two beats
        {"[ c/4 d/2 e/4 ]", 60, 3.5, 2},
        {"[ c/4 d/2 e/4 ]", 120, 1.75, 2},  // at twice the tempo, in half the time
        {"[ c/4 d/2 e/4 ]", 60, 4.0, -1},   // past the end
        {"[ c/4 d/2 e/4 ]", 60, -0.1, -1},  // before the start (a count-in)
        {"[ c/4 _/4 e/4 ]", 60, 1.5, 1},    // a rest is a note of its own
    };
    for (const Case& c : cases) {
        ScoreProxy score;
        ASSERT_TRUE(score.setGMNCode(c.code)) << c.code;
        score.setTempo(c.tempo);
        EXPECT_EQ(score.noteIndexAtTime(c.seconds), c.expected) << c.code << " at " << c.tempo << " bpm, " << c.seconds << " s";
    }
    EXPECT_EQ(ScoreProxy().noteIndexAtTime(0.0), -1);  // an empty score has no note
}

} // namespace
