// The device layer, duplex playback, capture and the player on the virtual "testcard" device, whose
// microphone reads $TEST_MIC_RAW and whose speaker writes $TEST_SPK_WAV (faster than real time).
#include "AudioFixtures.h"
#include "audio/Audio.h"
#include "audio/AudioBuffer.h"
#include "audio/AudioOutput.h"
#include "audio/AudioPlayer.h"
#include "audio/AudioSequencer.h"
#include "audio/MicFileCapture.h"
#include "audio/MicInput.h"
#include "debug/Debugging.h"
#include "debug/Logger.h"
#include "support/LogCapture.h"
#include "support/Watchdog.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <cstdlib>
#include <thread>

namespace {

using namespace AudioFixtures;

const int kMicSeconds = 20;

// Lines logged off the main thread, that is from an audio callback. Installed once per process.
class OffMainThreadLog : public QsLogging::Destination {
public:
    void write(const QString& message) override
    {
        QMutexLocker lock(&mutex);
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            lines << message;
    }
    QMutex mutex;
    QStringList lines;
};

class TestCard : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* home = std::getenv("ALSA_HOME");
        if (!home || !*home)
            GTEST_SKIP() << "the ALSA test card is not set up (ALSA_HOME unset); run through scripts/run-tests.sh";
        // PortAudio finds the card only in this HOME; ALSA reads it at the first initialisation.
        setenv("HOME", home, 1);
        ASSERT_TRUE(m_dir.isValid());
        const QVector<short> mic = signatureRun(0, kMicSeconds * 44100);
        const QByteArray raw(reinterpret_cast<const char*>(mic.data()), mic.size() * 2);  // little-endian 16-bit
        ASSERT_TRUE(writeBytes(m_dir.filePath("mic.raw"), raw));
        setenv("TEST_MIC_RAW", qPrintable(m_dir.filePath("mic.raw")), 1);
        setenv("TEST_SPK_WAV", qPrintable(spk()), 1);
        ASSERT_TRUE(Audio::initialize());
        if (!Audio::inputDeviceList().contains(QStringLiteral("testcard")))
            GTEST_SKIP() << "PortAudio does not see the ALSA device \"testcard\" in " << home;
        selectTestCard();
        LogCapture::instance().clear();
    }
    void TearDown() override { Debugging::setLoggingLevel(QsLogging::InfoLevel); }

    static void selectTestCard()
    {
        Audio::setInputDevice(QStringLiteral("testcard"));
        Audio::setOutputDevice(QStringLiteral("testcard"));
    }
    static OffMainThreadLog& callbackLog()
    {
        static OffMainThreadLog* const log = [] {
            auto* l = new OffMainThreadLog;
            QsLogging::Logger::instance().addDestination(l);
            return l;
        }();
        return *log;
    }
    // Records what audio callbacks log, at every level, until expectNoCallbackLog() checks it is nothing.
    static void traceCallbacks()
    {
        callbackLog();
        Debugging::setLoggingLevel(QsLogging::TraceLevel);
    }
    static void expectNoCallbackLog()
    {
        Debugging::setLoggingLevel(QsLogging::InfoLevel);
        QMutexLocker lock(&callbackLog().mutex);
        EXPECT_TRUE(callbackLog().lines.isEmpty()) << qPrintable(callbackLog().lines.join('\n'));
    }
    QString spk() const { return m_dir.filePath("spk.wav"); }
    QTemporaryDir m_dir;
};

TEST_F(TestCard, DuplexPlaybackDeliversMarkersInputAndOutputExactlyOnce)
{
    AudioSequencer seq(44100, 2);
    MarkerRecorder markers;
    InputRecorder input(100000);
    const int outputFrames = 22050;
    seq.addOutput(signatureBuffer(outputFrames, 100000), 0.1, true, true);
    seq.addInput(&input, 0.3, 0.2, true);
    seq.addMarker(&markers, 10, 0.0, true);
    seq.addMarker(&markers, 12, 0.25, true);
    seq.addMarker(&markers, 11, 0.25, true);
    seq.addMarker(&markers, 13, 0.6, true);
    ASSERT_EQ(seq.prepare(), 0);
    QSignalSpy started(&seq, &AudioSequencer::started);
    QSignalSpy finished(&seq, &AudioSequencer::finished);

    traceCallbacks();
    ASSERT_EQ(seq.play(), 0);
    EXPECT_EQ(Audio::activeAudioHandleCount(), 1);
    ASSERT_TRUE(finished.wait(20000));
    QTest::qWait(200);
    expectNoCallbackLog();  // the callback logs only errors
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(started.count(), 1);
    EXPECT_FALSE(seq.isPlaying());
    EXPECT_EQ(Audio::activeAudioHandleCount(), 0);  // the completed stream was closed
    EXPECT_EQ(markers.ids, (QList<int>{10, 12, 11, 13}));

    ASSERT_EQ(input.samples.size(), size_t(0.3 * 44100));
    // What the microphone gave, in one unbroken run.
    int at = 0;
    while (at < kMicSeconds * 44100 && signature(at) != input.samples.front())
        ++at;
    EXPECT_EQ(signatureMismatch(input.samples.data(), qint64(input.samples.size()), at), -1);

    // The output region was played whole, after something (the warm-up), and once only.
    const QVector<short> played = readWavSamples(spk());
    const QVector<short> region = signatureRun(100000, outputFrames);
    const auto first = std::search(played.begin(), played.end(), region.begin(), region.end());
    ASSERT_NE(first, played.end());
    EXPECT_GT(first, played.begin());
    EXPECT_EQ(std::search(first + 1, played.end(), region.begin(), region.end()), played.end());
}

TEST_F(TestCard, StreamsAreStoppedBeforeReplaysClosedOnceWhenCompleteAndTerminatedWithTheirOwners)
{
    AudioSequencer seq(44100, 2);
    seq.addInput(nullptr, 600.0, 0.0, true);
    seq.prepare();
    QSignalSpy finished(&seq, &AudioSequencer::finished);
    ASSERT_EQ(seq.play(), 0);
    ASSERT_EQ(seq.play(), 0);  // stops the running stream first
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(Audio::activeAudioHandleCount(), 1);
    EXPECT_EQ(seq.prepare(), 2);  // refused while playing
    EXPECT_EQ(seq.stop(false), 0);
    EXPECT_EQ(seq.stop(false), 0);  // already stopped: announced once
    EXPECT_EQ(finished.count(), 2);
    EXPECT_EQ(Audio::activeAudioHandleCount(), 0);

    // terminating the layer tells the sequencer and the microphone that their streams are gone
    MicInput mic;
    MicFileCapture capture(&mic);
    ASSERT_EQ(seq.play(), 0);
    ASSERT_EQ(capture.start(m_dir.filePath("capture.wav")), 0);
    EXPECT_EQ(Audio::activeAudioHandleCount(), 2);
    QThread::msleep(200);  // past the warm-up: the callbacks run the timeline as the layer goes
    Watchdog watchdog(20000, "terminating the layer while its callbacks run");
    Audio::terminate();
    EXPECT_FALSE(seq.isPlaying());
    EXPECT_FALSE(mic.isRunning());
    EXPECT_EQ(Audio::activeAudioHandleCount(), 0);
    QTest::qWait(50);
    EXPECT_EQ(finished.count(), 3);
    EXPECT_EQ(mic.stop(), 2);
    EXPECT_EQ(seq.stop(false), 0);
    EXPECT_EQ(finished.count(), 3);

    // a stream that completes is closed by the control thread before its queued finish is delivered
    ASSERT_TRUE(Audio::initialize());
    selectTestCard();
    seq.reset();
    seq.addSilence(0.05, 0.0, true);
    seq.prepare();
    ASSERT_EQ(seq.play(), 0);
    QThread::msleep(500);  // the stream completes; no event loop has run yet
    EXPECT_EQ(Audio::activeAudioHandleCount(), 1);
    EXPECT_EQ(seq.prepare(), 0);
    EXPECT_FALSE(seq.isPlaying());
    EXPECT_EQ(Audio::activeAudioHandleCount(), 0);
    QTest::qWait(100);
    EXPECT_EQ(finished.count(), 4);
}

TEST_F(TestCard, RecoveryReopensOnTheSelectedDevices)
{
    // A recovery enumerates the devices again: a sound server busy with other programs may drop out of
    // the list and shift the ids, so the devices are compared by name.
    const QString input = Audio::inputDeviceName();
    const QString output = Audio::outputDeviceName();
    const QString before =
        QStringLiteral("(inputDevice=%1 outputDevice=%2)").arg(Audio::inputDeviceId()).arg(Audio::outputDeviceId());
    // The microphone's file appears only once the first open has failed for want of it.
    const QString later = m_dir.filePath("later.raw");
    setenv("TEST_MIC_RAW", qPrintable(later), 1);
    std::thread unblock([this, &later] {
        QElapsedTimer timer;
        timer.start();
        while (!LogCapture::instance().contains(QStringLiteral("failed to open stream")) && timer.elapsed() < 10000)
            QThread::msleep(5);
        QFile::copy(m_dir.filePath("mic.raw"), later);
    });
    AudioSequencer seq(44100, 2);
    seq.addSilence(0.1, 0.0, true);
    seq.prepare();
    Debugging::setLoggingLevel(QsLogging::DebugLevel);
    const int rc = seq.play();
    unblock.join();
    ASSERT_EQ(rc, 0);
    const QStringList opened = LogCapture::instance().linesContaining(QStringLiteral("opening stream on"));
    ASSERT_GE(opened.size(), 2) << "no recovery took place";
    EXPECT_TRUE(opened.first().contains(before)) << qPrintable(opened.first());
    const QString after =
        QStringLiteral("(inputDevice=%1 outputDevice=%2)").arg(Audio::inputDeviceId()).arg(Audio::outputDeviceId());
    EXPECT_TRUE(opened.last().contains(after)) << qPrintable(opened.last());
    EXPECT_EQ(Audio::inputDeviceName(), input);
    EXPECT_EQ(Audio::outputDeviceName(), output);
    QSignalSpy finished(&seq, &AudioSequencer::finished);
    EXPECT_TRUE(finished.wait(10000));
}

TEST_F(TestCard, MicrophoneCapturedToAFileInOrder)
{
    MicInput mic;
    MicFileCapture capture(&mic);
    const QString file = m_dir.filePath("capture.wav");
    ASSERT_EQ(capture.start(file), 0);
    EXPECT_EQ(mic.start(), 0);  // already running: no second stream
    EXPECT_EQ(Audio::activeAudioHandleCount(), 1);
    QTest::qWait(300);
    EXPECT_EQ(capture.stop(), 0);
    EXPECT_FALSE(mic.isRunning());
    EXPECT_EQ(Audio::activeAudioHandleCount(), 0);
    int channels = 0;
    const QVector<short> written = readWavSamples(file, &channels);
    EXPECT_EQ(channels, 1);
    ASSERT_GE(written.size(), 512);
    EXPECT_EQ(written.size() % 512, 0);  // whole 512-frame buffers
    EXPECT_EQ(QFile(file).size(), 44 + written.size() * 2);
    EXPECT_EQ(signatureMismatch(written.constData(), written.size(), 0), -1);
}

TEST_F(TestCard, PlayerPlaysTheExcerptAskedForAndReportsTheEnd)
{
    AudioPlayer* player = AudioPlayer::getInstance();
    QSignalSpy done(player, &AudioPlayer::playFinished);
    const QString ogg = m_dir.filePath("five.ogg");
    ASSERT_TRUE(writeOgg(ogg, sine(5 * 44100, 2, 440, 8000), 2, 44100));
    ASSERT_EQ(player->playFile(ogg, 1.0, 2.0), 0);
    ASSERT_TRUE(done.wait(20000));
    // Two seconds of the tone were played, not the whole file.
    const QVector<short> played = readWavSamples(spk());
    const auto loud = [](short x) { return std::abs(x) > 2000; };
    const auto first = std::find_if(played.begin(), played.end(), loud);
    ASSERT_NE(first, played.end());
    const auto last = std::find_if(played.rbegin(), played.rend(), loud).base() - 1;
    EXPECT_NEAR(last - first, 2 * 44100, 200);
}

TEST_F(TestCard, OutputQueuePlaysItsChunksPaddedToTheirDurations)
{
    traceCallbacks();
    AudioOutput queue;
    QSignalSpy ticks(&queue, &AudioOutput::tick);
    QSignalSpy done(&queue, &AudioOutput::playFinished);
    ASSERT_EQ(queue.prepare(5), 0);
    const short head[] = {1, 2, 3, 4};
    // 1 ms is 176 bytes: the two given frames, then 42 silent ones.
    ASSERT_EQ(queue.addData(reinterpret_cast<const unsigned char*>(head), sizeof head, 1), 0);
    const QVector<short> body = signatureRun(0, 2 * 8820);
    ASSERT_EQ(queue.addData(reinterpret_cast<const unsigned char*>(body.constData()), uint(body.size() * 2), 0), 0);
    EXPECT_EQ(queue.start(0), 0);  // returns when the queue has played
    expectNoCallbackLog();
    // The end of the queue is reported once the stream has ended.
    EXPECT_EQ(LogCapture::instance().linesContaining(QStringLiteral("last buffer finished (offset=")).size(), 1);
    EXPECT_EQ(done.count(), 1);
    EXPECT_GE(ticks.count(), 1);
    EXPECT_EQ(Audio::activeAudioHandleCount(), 0);
    EXPECT_EQ(queue.stop(), 1);  // already stopped

    int channels = 0;
    const QVector<short> played = readWavSamples(spk(), &channels);
    EXPECT_EQ(channels, 2);
    const auto at = std::search(played.begin(), played.end(), head, head + 4);
    const QVector<short> heard = played.mid(int(at - played.begin()));  // empty when the head is missing
    ASSERT_GE(heard.size(), 88 + body.size());
    EXPECT_EQ(heard.mid(4, 84), QVector<short>(84, 0));
    EXPECT_EQ(signatureMismatch(heard.constData() + 88, body.size(), 0), -1);
}

}  // namespace
