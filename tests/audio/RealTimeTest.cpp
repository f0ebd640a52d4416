// Real-time playback through the private PulseAudio of scripts/test-env.sh: sink "spk" is the speaker,
// the monitor of sink "mic" the microphone.
#include "AudioFixtures.h"
#include "audio/Audio.h"
#include "audio/AudioBuffer.h"
#include "audio/AudioSequencer.h"

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

}  // namespace
