// The real-time peak picker and the default onset strategy's framing.
#include "SignalFactory.h"
#include "pitch/PitchDetector.h"
#include "pitch/onset/DefaultOnsetDetectionStrategy.h"
#include "pitch/onset/RTOnsetDetection.h"

#include <gtest/gtest.h>

#include <cmath>

#include <vector>

namespace {

TEST(RTOnsetDetection, MedianAndMean)
{
    double values[10] = {10, 9, 8, 7, 6, 5, 4, 3, 2, 1};
    EXPECT_EQ(median(values, 10), 5.0);
    double middles[10] = {1, 2, 3, 4, 4, 4, 7, 8, 9, 10};
    EXPECT_EQ(median(middles, 10), 4.0);
    double single[1] = {3.5};
    EXPECT_EQ(median(single, 1), 3.5);
    double m[4] = {1, 2, 3, 6};
    EXPECT_EQ(mean(m, 4), 3.0);
    EXPECT_EQ(mean(m, 0), 0.0);
}

TEST(RTOnsetDetection, PeakIsReportedOnTheValueAfterIt)
{
    RTOnsetDetection picker;
    EXPECT_DOUBLE_EQ(picker.threshold(), static_cast<double>(0.1f));
    EXPECT_FALSE(picker.is_onset(0.05));
    EXPECT_FALSE(picker.is_onset(5.0));
    EXPECT_TRUE(picker.is_onset(1.0));
    EXPECT_EQ(picker.largestPeak(), 5.0);
    EXPECT_FALSE(picker.is_onset(0.5));
}

TEST(RTOnsetDetection, SilencePlateausAndZeroFollowersAreNoOnsets)
{
    RTOnsetDetection silence;
    for (int i = 0; i < 50; ++i)
        EXPECT_FALSE(silence.is_onset(0.0));

    RTOnsetDetection plateau;
    plateau.is_onset(0.01);
    EXPECT_FALSE(plateau.is_onset(4.0));
    EXPECT_FALSE(plateau.is_onset(4.0));
    EXPECT_FALSE(plateau.is_onset(1.0));

    RTOnsetDetection zeroAfter; // the follower must be above the floor 0.0
    zeroAfter.is_onset(0.01);
    zeroAfter.is_onset(4.0);
    EXPECT_FALSE(zeroAfter.is_onset(0.0));
}

TEST(RTOnsetDetection, LargestPeakRaisesLaterThresholds)
{
    RTOnsetDetection picker;
    picker.is_onset(0.0);
    picker.is_onset(100.0);
    EXPECT_TRUE(picker.is_onset(0.001));
    // Ten quiet values flush the history; the threshold keeps 0.05 x 100.
    for (int i = 0; i < 10; ++i)
        picker.is_onset(0.001);
    EXPECT_GE(picker.threshold(), 5.0);
    picker.is_onset(4.0);
    EXPECT_FALSE(picker.is_onset(0.001)); // 4 < 5: no onset
}

std::vector<unsigned long> runStrategy(DefaultOnsetDetectionStrategy& strategy, PitchDetector& detector,
                                       const std::vector<double>& signal, int blockSize)
{
    detector.m_onsets.clear();
    for (size_t start = 0; start < signal.size(); start += blockSize) {
        QVector<double> block;
        for (size_t i = start; i < start + blockSize && i < signal.size(); ++i)
            block.append(signal[i]);
        strategy.process(block, &detector);
    }
    std::vector<unsigned long> positions;
    for (const PitchDetector::OnsetInfo& onset : detector.m_onsets)
        positions.push_back(static_cast<unsigned long>(onset.time * 44100.0 + 0.5));
    return positions;
}

// Each clap gives an onset one hop after the frame that first holds it, and only one.
TEST(DefaultOnsetStrategy, FindsEveryClapAtTheFollowingFrame)
{
    PitchDetector detector;
    DefaultOnsetDetectionStrategy strategy(2048, 512, 44100);
    const std::vector<double> times = {0.5, 1.0, 1.6, 2.1};
    const std::vector<double> signal = SignalFactory::claps(times, 2.6);
    const std::vector<unsigned long> positions = runStrategy(strategy, detector, signal, 2048);
    for (unsigned long position : positions)
        EXPECT_EQ(position % 512, 0u);
    for (double clap : times) {
        int near = 0;
        for (unsigned long position : positions) {
            const double t = position / 44100.0;
            if (t > clap - 2048 / 44100.0 && t < clap + 2 * 512 / 44100.0)
                ++near;
        }
        EXPECT_EQ(near, 1) << clap;
    }
    EXPECT_EQ(positions.size(), times.size());
}

// Onsets come from attacks and legato steps: a held note's vibrato or tremolo and the room's noise
// give none. A note already sounding when listening begins has no attack to hear; its onset is at
// the start, while noise from the start, however loud, gives none.
TEST(DefaultOnsetStrategy, OnlyAttacksAreOnsets)
{
    struct Row {
        const char* name;
        std::vector<double> signal;
        std::vector<double> onsets; // seconds
    };
    std::vector<double> held(static_cast<size_t>(0.3 * 44100), 0.0);
    const std::vector<double> vibrato = SignalFactory::sungTone(392.0, 2.5, 0.5, 60.0);
    held.insert(held.end(), vibrato.begin(), vibrato.end());
    std::vector<double> tremolo(held.size() - vibrato.size(), 0.0);
    const std::vector<double> steady = SignalFactory::sungTone(262.0, 2.5, 0.5, 0.0);
    for (size_t i = 0; i < steady.size(); ++i)
        tremolo.push_back(steady[i] * (1.0 + 0.3 * std::sin(2 * M_PI * 5.0 * i / 44100.0))); // +-2.3 dB
    std::vector<double> roomThenNote = SignalFactory::whiteNoise(2.5, -42.0);
    const std::vector<double> note = SignalFactory::sungTone(330.0, 0.6, 0.5, 30.0);
    for (size_t i = 0; i < note.size() && static_cast<size_t>(1.5 * 44100) + i < roomThenNote.size(); ++i)
        roomThenNote[static_cast<size_t>(1.5 * 44100) + i] += note[i];
    // Legato: E4 to F#4 at 1.1 s without a break or a change of level.
    std::vector<double> legato(held.size() - vibrato.size(), 0.0);
    double phase = 0.0;
    for (int i = 0; i < static_cast<int>(1.6 * 44100); ++i) {
        phase += 2 * M_PI * (i < 0.8 * 44100 ? 329.6 : 370.0) / 44100.0;
        legato.push_back(0.3 * (std::sin(phase) + 0.5 * std::sin(2 * phase) + 0.3 * std::sin(3 * phase)) *
                         std::min(1.0, i / (0.03 * 44100)));
    }
    const std::vector<double> sung = SignalFactory::sungTone(294.0, 1.5, 0.5, 30.0);
    const std::vector<double> cutInto(sung.begin() + static_cast<long>(0.3 * 44100), sung.end());
    const Row rows[] = {{"vibrato", held, {0.3}},
                        {"tremolo", tremolo, {0.3}},
                        {"room", roomThenNote, {1.5}},
                        {"legato", legato, {0.3, 1.1}},
                        {"sine from the start", SignalFactory::sine(440.0, 1.0, 12000 / 32767.0), {0.0}},
                        {"sung, cut into", cutInto, {0.0}},
                        {"loud room from the start", SignalFactory::whiteNoise(1.0, -20.0), {}}};
    for (const Row& row : rows) {
        PitchDetector detector;
        DefaultOnsetDetectionStrategy strategy(2048, 512, 44100);
        const std::vector<unsigned long> positions = runStrategy(strategy, detector, row.signal, 2048);
        ASSERT_EQ(positions.size(), row.onsets.size()) << row.name;
        for (size_t i = 0; i < positions.size(); ++i)
            EXPECT_NEAR(positions[i] / 44100.0, row.onsets[i], 0.05) << row.name;
    }
}

TEST(DefaultOnsetStrategy, SilenceAndShortBlocksAndResetStartOver)
{
    PitchDetector detector;
    DefaultOnsetDetectionStrategy strategy(2048, 512, 44100);
    EXPECT_TRUE(runStrategy(strategy, detector, std::vector<double>(44100, 0.0), 2048).empty());
    // Odd block lengths: frames straddle blocks and the result is the same.
    const std::vector<double> signal = SignalFactory::claps({0.3, 0.9}, 1.3);
    strategy.reset();
    const std::vector<unsigned long> whole = runStrategy(strategy, detector, signal, 2048);
    strategy.reset();
    const std::vector<unsigned long> pieces = runStrategy(strategy, detector, signal, 333);
    EXPECT_GE(whole.size(), 2u);
    EXPECT_EQ(whole, pieces);
    QVector<double> empty;
    const int onsetsBefore = detector.m_onsets.size();
    strategy.process(empty, &detector);
    EXPECT_EQ(detector.m_onsets.size(), onsetsBefore);
}

TEST(DefaultOnsetStrategy, NonPositiveHopDoesNotLoopForever)
{
    PitchDetector detector;
    DefaultOnsetDetectionStrategy zeroHop(2048, 0, 44100);
    DefaultOnsetDetectionStrategy oddFrame(2047, 512, 44100);
    const std::vector<double> signal = SignalFactory::claps({0.3}, 0.6);
    // Both keep their defaults (hop 256, frame 512) and still find the clap.
    EXPECT_FALSE(runStrategy(zeroHop, detector, signal, 2048).empty());
    EXPECT_FALSE(runStrategy(oddFrame, detector, signal, 2048).empty());
}

} // namespace
