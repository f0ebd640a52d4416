// Real-time playback through the private PulseAudio of scripts/test-env.sh: sink "spk" is the speaker,
// the monitor of sink "mic" the microphone.
#include "AudioFixtures.h"
#include "audio/Audio.h"
#include "audio/AudioBuffer.h"
#include "audio/AudioSequencer.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <iostream>

namespace {

using namespace AudioFixtures;

TEST(RealTime, OneSecondTimelinePlaysInRealTimeAndHearsTheFedTone)
{
    if (!std::getenv("PULSE_SERVER"))
        GTEST_SKIP() << "no private PulseAudio (PULSE_SERVER unset); run through scripts/run-tests.sh";
    QTemporaryDir dir;
    const QString tone = dir.filePath("tone.wav");
    ASSERT_TRUE(writeWav(tone, sine(5 * 44100, 1, 440.0, 12000), 1, 44100));

    ASSERT_TRUE(Audio::initialize());
    if (!Audio::inputDeviceList().contains(QStringLiteral("default")))
        GTEST_SKIP() << "PortAudio sees no PulseAudio device";
    Audio::setInputDevice(QStringLiteral("default"));
    Audio::setOutputDevice(QStringLiteral("default"));

    QProcess feeder;
    feeder.start(QStringLiteral("paplay"), {QStringLiteral("-d"), QStringLiteral("mic"), tone});
    ASSERT_TRUE(feeder.waitForStarted(5000));
    QTest::qWait(400);  // let the tone reach the microphone

    AudioSequencer seq(44100, 2);
    InputRecorder input;
    seq.addOutput(bufferOf(sine(44100, 2, 660.0, 8000)), 0.0, true, true);
    seq.addInput(&input, 0.5, 0.3, true);
    seq.prepare();
    QSignalSpy finished(&seq, &AudioSequencer::finished);
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(seq.play(), 0);
    ASSERT_TRUE(finished.wait(10000));
    const double elapsed = clock.elapsed() / 1000.0;
    feeder.kill();
    feeder.waitForFinished(2000);

    std::cout << "1.1 s timeline played in " << elapsed << " s wall time\n";
    // 1.1 s of timeline plus the warm-up and the latencies; never faster than the timeline.
    EXPECT_GE(elapsed, 1.1);
    EXPECT_LE(elapsed, 2.5);
    EXPECT_EQ(finished.count(), 1);
    ASSERT_EQ(input.samples.size(), size_t(0.5 * 44100));
    EXPECT_TRUE(std::is_sorted(input.times.begin(), input.times.end()));
    const QVector<short> heard(input.samples.begin(), input.samples.end());
    EXPECT_GT(rms(heard.constData(), heard.size()), 1000.0);
    EXPECT_NEAR(dominantFrequency(heard, 44100, 100, 2000), 440.0, 3.0);
}

TEST(RealTime, AStreamTheHostEndsStartsOverOrGoesOn)
{
    // The host ends the stream (as PortAudio's ALSA host does on an xrun it cannot recover) right
    // after the start, in the warm-up, a few times in a row, or once the output is heard: a timeline
    // nothing of which was heard starts over, one under way goes on; too many ends fail it.
    if (!std::getenv("PULSE_SERVER"))
        GTEST_SKIP() << "no private PulseAudio (PULSE_SERVER unset); run through scripts/run-tests.sh";
    ASSERT_TRUE(Audio::initialize());
    if (!Audio::inputDeviceList().contains(QStringLiteral("default")))
        GTEST_SKIP() << "PortAudio sees no PulseAudio device";
    Audio::setInputDevice(QStringLiteral("default"));
    Audio::setOutputDevice(QStringLiteral("default"));

    const int kRetries = AudioSequencer::kStartRetries;
    const struct { const char* what; int earlyEnds; int heardEnds; bool fails; } rows[] = {
        {"ended at the start: played again, whole", 1, 0, false},
        {"ended at every start: given up after the retries", kRetries + 1, 0, true},
        {"ended once the output is heard: goes on", 0, 1, false},
        {"ended at the start, then once heard", 1, 1, false},
        {"ended under way every time: given up after the retries", 0, kRetries + 1, true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        LogCapture::instance().clear();
        AudioSequencer seq(44100, 2);
        InputRecorder input;
        MarkerRecorder markers;
        seq.addOutput(bufferOf(sine(int(1.2 * 44100), 2, 660.0, 8000)), 0.0, true, true);
        seq.addInput(&input, 0.3, 0.1, true);
        seq.addMarker(&markers, 7, 0.05, true);
        seq.prepare();
        QSignalSpy started(&seq, &AudioSequencer::started);
        QSignalSpy finished(&seq, &AudioSequencer::finished);
        ASSERT_EQ(seq.play(), 0);
        // On a busy machine the sound system may also end a stream by itself: every end counts,
        // the test's own and its.
        const auto hostEnds = [] {
            return int(LogCapture::instance().linesContaining("the sound system ended the stream by itself").size());
        };
        int ends = 0;
        for (int i = 0; i < r.earlyEnds && seq.isPlaying(); ++i, ++ends) {
            // the warm-up of a real-time stream lasts far longer than this
            ASSERT_TRUE(seq.nothingPlayedYet()) << i;
            seq.hostStreamFinished();
            seq.dispatchCallbackEvents();
            EXPECT_EQ(seq.isPlaying(), hostEnds() <= kRetries) << i;
        }
        for (int i = 0; i < r.heardEnds && seq.isPlaying(); ++i, ++ends) {
            const double at = 0.15 + 0.1 * i;
            for (int k = 0; k < 400 && seq.playbackPosition() < at; ++k)
                QTest::qWait(5);
            ASSERT_GE(seq.playbackPosition(), at);
            seq.hostStreamFinished();
            seq.dispatchCallbackEvents();
            EXPECT_EQ(seq.isPlaying(), hostEnds() <= kRetries) << i;
        }
        if (finished.isEmpty()) {
            ASSERT_TRUE(finished.wait(5000));
        }
        QTest::qWait(50);  // nothing more arrives
        const bool failed = hostEnds() > kRetries;
        EXPECT_EQ(failed, r.fails) << hostEnds() - ends << " ends by the sound system itself";
        EXPECT_EQ(finished.count(), 1);
        EXPECT_FALSE(seq.isPlaying());
        EXPECT_EQ(seq.lastError(), failed ? QString("playback ended on a stream error") : QString());
        if (hostEnds() == ends) {  // which retry said what, where only the test ended streams
            EXPECT_EQ(LogCapture::instance().contains("starting it again (1 of 3)"), r.earlyEnds > 0);
            EXPECT_EQ(LogCapture::instance().contains(QString("on a new stream (%1 of 3)").arg(r.earlyEnds + 1)),
                      r.heardEnds > 0);
        }
        if (failed)
            continue;
        // every microphone sample of the window once, in order; started() and the marker once
        EXPECT_EQ(input.samples.size(), size_t(0.3 * 44100));
        EXPECT_TRUE(std::is_sorted(input.times.begin(), input.times.end()));
        EXPECT_EQ(started.count(), 1);
        EXPECT_EQ(markers.ids, QList<int>({7}));
    }
}

}  // namespace
