// The interaction lock, the media and score proxies on the virtual "testcard" device (faster than
// real time; its speaker writes $TEST_SPK_WAV), and the system facade.
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

QmlGlobals* globals()
{
    return QmlGlobals::getInstance();
}

// Waits until the signal has been seen `count` times in all.
bool waitFor(QSignalSpy& spy, int count, int ms = 10000)
{
    QElapsedTimer t;
    t.start();
    while (spy.count() < count && t.elapsed() < ms)
        spy.wait(50);
    return spy.count() >= count;
}

class FacadesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Debugging::setLoggingLevel(QsLogging::TraceLevel); }
    void SetUp() override
    {
        while (globals()->lockDepth() > 0)
            globals()->popLock();
        AssertRecorder::clear();
        LogCapture::instance().clear();
    }
};

// The proxies play on the test card; each test's speaker output is a WAV of its own.
class TestCardFacadesTest : public FacadesTest {
protected:
    static void SetUpTestSuite()
    {
        FacadesTest::SetUpTestSuite();
        if (const char* home = std::getenv("ALSA_HOME"))
            setenv("HOME", home, 1);  // where ALSA finds the card, read at its first initialisation
        Audio::initialize();
        Score::initialize(QString(), false);
        QString soundFont = QStringLiteral(BRISOLA_BINARY_DIR) + "/Resources/VessaGM6mb.sf2";
        if (!QFile::exists(soundFont))
            soundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";
        MidiSynth::instance()->initialize(soundFont);
    }
    void SetUp() override
    {
        if (!std::getenv("ALSA_HOME") || !Audio::outputDeviceList().contains("testcard"))
            GTEST_SKIP() << "needs the test card of scripts/test-env.sh";
        FacadesTest::SetUp();
        ASSERT_TRUE(m_dir.isValid());
        setenv("TEST_SPK_WAV", qPrintable(m_dir.filePath("spk.wav")), 1);
        Audio::setOutputDevice("testcard");
        Audio::setInputDevice("testcard");
        m_tone = m_dir.filePath("tone.ogg");
        ASSERT_TRUE(writeOgg(m_tone, sine(44100, 2, 440.0, 12000), 2, 44100));
    }
    QVector<short> played() const { return readWavSamples(m_dir.filePath("spk.wav")); }

    QTemporaryDir m_dir;
    QString m_tone;
};

TEST_F(FacadesTest, InteractionLockCountsDepthAndSignalsAtTheEdges)
{
    QSignalSpy updated(globals(), &QmlGlobals::interactionEnabledUpdated);
    EXPECT_TRUE(globals()->interactionEnabled());
    struct Step {
        bool push;
        int depth;
        bool enabled;
        int emitted;  // signals so far
    };
    const Step steps[] = {
        {true, 1, false, 1},  {true, 2, false, 1},  {false, 1, false, 1},
        {false, 0, true, 2},  {false, 0, true, 3},  // popping at depth 0 keeps 0 and signals again
    };
    for (const Step& s : steps) {
        s.push ? globals()->pushLock() : globals()->popLock();
        EXPECT_EQ(globals()->lockDepth(), s.depth);
        EXPECT_EQ(globals()->property("interactionEnabled").toBool(), s.enabled);
        EXPECT_EQ(updated.count(), s.emitted);
    }
    EXPECT_TRUE(LogCapture::instance().contains("pushLock(depth=2)"));
    EXPECT_TRUE(LogCapture::instance().contains("popLock(depth=0)"));
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
    // before the shell has registered its application object
    SystemInfoProvider::setInstance(nullptr);
    EXPECT_FALSE(system.property("debugMode").toBool());
    EXPECT_EQ(system.property("qmlPath").toString(), QString());
    system.displayAbout();
    EXPECT_TRUE(LogCapture::instance().contains("no application object"));

    FakeApplication app;
    SystemInfoProvider::setInstance(&app);
    EXPECT_TRUE(system.property("debugMode").toBool());
    EXPECT_EQ(system.property("qmlPath").toString(), ":/qml");
    system.displayAbout();
    system.displayHelp();
    EXPECT_EQ(app.about, 1);
    EXPECT_EQ(app.help, 1);
    SystemInfoProvider::setInstance(nullptr);

    QSignalSpy inputs(&system, &QmlFacadeSystem::inputDeviceListChanged);
    QSignalSpy outputs(&system, &QmlFacadeSystem::outputDeviceListChanged);
    system.update();
    EXPECT_EQ(inputs.count(), 1);
    EXPECT_EQ(outputs.count(), 1);
    EXPECT_EQ(system.property("outputDeviceList").toStringList(), Audio::outputDeviceList());
    EXPECT_EQ(system.property("inputDeviceName").toString(), Audio::inputDeviceName());

    system.die(QString());
    EXPECT_EQ(AssertRecorder::count(), 0);
    system.die("the course is broken");
    EXPECT_EQ(AssertRecorder::expressions(), QStringList{"0"});
}

TEST_F(TestCardFacadesTest, MediaProxyPlaysAnOggFileHoldingTheLock)
{
    MediaProxy proxy;
    QSignalSpy playing(&proxy, &MediaProxy::playingChanged);
    proxy.playFile(m_tone);
    EXPECT_TRUE(proxy.playing());
    EXPECT_EQ(globals()->lockDepth(), 1);
    ASSERT_TRUE(waitFor(playing, 2));
    EXPECT_FALSE(proxy.playing());
    EXPECT_EQ(globals()->lockDepth(), 0);
    EXPECT_EQ(proxy.property("duration").toInt(), 0);

    const QVector<short> out = played();
    ASSERT_GE(out.size(), 44100);
    EXPECT_NEAR(dominantFrequency(out.mid(4410, 22050), 44100, 200, 1000), 440.0, 2.0);
    EXPECT_GT(rms(out.constData() + 4410, 22050), 4000.0);

    // the finished playback no longer reaches it
    AudioPlayer::getInstance()->finished();
    EXPECT_EQ(playing.count(), 2);
    EXPECT_EQ(globals()->lockDepth(), 0);
}

TEST_F(TestCardFacadesTest, MediaProxyFailsCleanlyOnAFileItCannotRead)
{
    const QString notOgg = m_dir.filePath("tone.wav");
    ASSERT_TRUE(writeWav(notOgg, sine(4410, 1, 440.0, 12000), 1, 44100));
    for (const QString& path : {m_dir.filePath("missing.ogg"), notOgg}) {
        MediaProxy proxy;
        QSignalSpy playing(&proxy, &MediaProxy::playingChanged);
        proxy.playFile(path, 0.5, 1.0);
        EXPECT_EQ(playing.count(), 2) << qPrintable(path);
        EXPECT_FALSE(proxy.playing());
        EXPECT_EQ(globals()->lockDepth(), 0);
        EXPECT_TRUE(LogCapture::instance().contains("failed to play " + path));
        EXPECT_FALSE(AudioPlayer::getInstance()->sequencer().isPlaying());
    }
}

TEST_F(TestCardFacadesTest, NewFileEndsTheOtherProxysPlaybackAndItsLock)
{
    MediaProxy first;
    MediaProxy second;
    QSignalSpy firstPlaying(&first, &MediaProxy::playingChanged);
    first.playFile(m_tone);
    ASSERT_TRUE(first.playing());
    second.playFile(m_tone);
    EXPECT_FALSE(first.playing());
    EXPECT_EQ(firstPlaying.count(), 2);
    EXPECT_TRUE(second.playing());
    EXPECT_EQ(globals()->lockDepth(), 1);
    second.stop();
    EXPECT_FALSE(second.playing());
    EXPECT_EQ(globals()->lockDepth(), 0);
}

TEST_F(TestCardFacadesTest, ProxiesDestroyedWhilePlayingGiveTheLockBack)
{
    auto media = std::make_unique<MediaProxy>();
    media->playFile(m_tone);
    ASSERT_TRUE(media->playing());
    EXPECT_EQ(globals()->lockDepth(), 1);
    media.reset();
    EXPECT_EQ(globals()->lockDepth(), 0);
    EXPECT_FALSE(AudioPlayer::getInstance()->sequencer().isPlaying());

    auto score = std::make_unique<ScoreProxy>();
    ASSERT_TRUE(score->setGMNCode("[ \\bpm<60> c d e f g a b c2 ]"));
    ASSERT_TRUE(score->play());
    EXPECT_EQ(globals()->lockDepth(), 1);
    score.reset();
    EXPECT_EQ(globals()->lockDepth(), 0);
}

TEST_F(TestCardFacadesTest, ScoreProxyHoldsTheLockWhilePlaying)
{
    ScoreProxy score;
    ASSERT_TRUE(score.setGMNCode("[ \\bpm<240> c d e f ]"));
    QSignalSpy playing(&score, &Score::playingChanged);
    ASSERT_TRUE(score.play());
    EXPECT_EQ(globals()->lockDepth(), 1);
    EXPECT_FALSE(score.play());  // already playing: no second level
    EXPECT_EQ(globals()->lockDepth(), 1);
    ASSERT_TRUE(waitFor(playing, 2));
    EXPECT_EQ(globals()->lockDepth(), 0);
    EXPECT_TRUE(LogCapture::instance().contains("playback stopped"));

    // stopped by hand: one release
    ASSERT_TRUE(score.play());
    score.stop();
    EXPECT_EQ(globals()->lockDepth(), 0);
    score.stop();
    EXPECT_EQ(globals()->lockDepth(), 0);

    // a score that cannot start gives its level back
    ScoreProxy empty;
    EXPECT_FALSE(empty.play());
    EXPECT_EQ(globals()->lockDepth(), 0);
    EXPECT_TRUE(LogCapture::instance().contains("failed to play score"));
}

} // namespace
