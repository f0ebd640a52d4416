// The dynamic wavelet tracker: helpers, raw estimates on sines and sung tones, the dynamic step,
// and how the wavelet strategy cuts a block into pieces.
#include "SignalFactory.h"
#include "pitch/DyWaPitchTracker.h"
#include "pitch/PitchDetector.h"
#include "pitch/WaveletStrategy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

double cents(double estimate, double truth)
{
    return 1200.0 * std::log2(estimate / truth);
}

TEST(WaveletTracker, PowerOfTwoHelpers)
{
    EXPECT_EQ(_floor_power2(1024), 1024);
    EXPECT_EQ(_floor_power2(1025), 1024);
    EXPECT_EQ(_floor_power2(1023), 512);
    EXPECT_EQ(_ceil_power2(1), 2);
    EXPECT_EQ(_ceil_power2(1000), 1024);
    EXPECT_EQ(_power2p(1), 0);
    EXPECT_EQ(_power2p(0), 1);
    EXPECT_EQ(_power2p(96), 0);
    EXPECT_EQ(_bitcount(5), 3);
    EXPECT_EQ(_2power(0), 1);
    EXPECT_EQ(_2power(-3), 1);
    EXPECT_EQ(_2power(5), 32);
    EXPECT_EQ(_iabs(-7), 7);
    EXPECT_EQ(dywapitch_neededsamplecount(50), 4096);
    // Negative values end instead of recursing without end.
    EXPECT_EQ(_bitcount(-5), 0);
    EXPECT_EQ(_ceil_power2(-4), 1);
    EXPECT_EQ(_floor_power2(-4), 0);
    EXPECT_EQ(dywapitch_neededsamplecount(-50), 0);
}

TEST(WaveletTracker, SilenceTinyAndEmptyPiecesHaveNoPitch)
{
    std::vector<double> flat(1024, 0.25);
    EXPECT_EQ(_dywapitch_computeWaveletPitch(flat.data(), 0, 1024), 0.0);
    std::vector<double> tone = SignalFactory::sine(440.0, 0.05);
    EXPECT_EQ(_dywapitch_computeWaveletPitch(tone.data(), 0, 0), 0.0);
    EXPECT_EQ(_dywapitch_computeWaveletPitch(tone.data(), 0, 1), 0.0);
    EXPECT_EQ(_dywapitch_computeWaveletPitch(tone.data(), 0, -5), 0.0);
}

TEST(WaveletTracker, SinesFromC3ToC6WithinTwentyCentsAndSungTonesMostlyRight)
{
    double worst = 0.0;
    int sungRight = 0;
    for (int midi = 48; midi <= 84; ++midi) {
        const double f = SignalFactory::midiToFrequency(midi);
        const std::vector<double> sine = SignalFactory::sine(f, 0.1);
        const double raw = _dywapitch_computeWaveletPitch(const_cast<double*>(sine.data()), 0, 1024);
        ASSERT_GT(raw, 0.0) << midi;
        worst = std::max(worst, std::fabs(cents(raw, f)));
        const std::vector<double> sung = SignalFactory::sungTone(f, 0.1, 0.5, 0.0);
        const double rawSung = _dywapitch_computeWaveletPitch(const_cast<double*>(sung.data()), 1024, 1024);
        if (rawSung > 0.0 && std::fabs(cents(rawSung, f)) < 50.0)
            ++sungRight;
        else
            printf("sung midi %d: raw %.1f Hz\n", midi, rawSung);
    }
    EXPECT_LT(worst, 20.0);
    EXPECT_GE(sungRight, 33); // of 37 single raw estimates; the dynamic step smooths the rest
}

// A strong formant on the 8th harmonic puts two maxima in each period. The mode's window then also
// took the short spacing between them and read D4 56 cents sharp, as D#4.
TEST(WaveletTracker, TwoMaximaPerPeriodDoNotShortenThePeriod)
{
    const double f = 294.0;
    for (int start : {0, 100, 333, 1000}) {
        std::vector<double> x(1024);
        for (int i = 0; i < 1024; ++i) {
            const double phase = 2 * M_PI * f * (i + start) / 44100.0;
            x[i] = 0.5 * (std::sin(phase) + 0.9 * std::sin(8 * phase));
        }
        EXPECT_LT(std::fabs(cents(_dywapitch_computeWaveletPitch(x.data(), 0, 1024), f)), 10.0) << start;
    }
}

TEST(WaveletTracker, DynamicStepBuildsAndLosesConfidence)
{
    _dywapitchtracker tracker;
    dywapitch_inittracking(&tracker);
    EXPECT_EQ(_dywapitch_dynamicprocess(&tracker, 220.0), 220.0);
    EXPECT_EQ(tracker.pitchConfidence, 1);
    EXPECT_EQ(_dywapitch_dynamicprocess(&tracker, 223.0), 223.0);
    EXPECT_EQ(tracker.pitchConfidence, 2);
    EXPECT_EQ(_dywapitch_dynamicprocess(&tracker, 0.0), 223.0);
    EXPECT_EQ(tracker.pitchConfidence, 1);
    EXPECT_EQ(_dywapitch_dynamicprocess(&tracker, 0.0), 0.0);
    EXPECT_EQ(tracker.pitchConfidence, 0);
    EXPECT_EQ(tracker.prevPitch, 223.0);
    EXPECT_EQ(_dywapitch_dynamicprocess(&tracker, 0.0), 0.0);
    EXPECT_EQ(tracker.prevPitch, -1.0);
}

TEST(WaveletTracker, OctaveErrorsAreCorrectedOnlyWhenConfident)
{
    _dywapitchtracker confident{440.0, 3};
    EXPECT_EQ(_dywapitch_dynamicprocess(&confident, 221.0), 442.0);
    EXPECT_EQ(confident.pitchConfidence, 3);
    _dywapitchtracker unsure{440.0, 2};
    EXPECT_EQ(_dywapitch_dynamicprocess(&unsure, 221.0), 440.0);
    EXPECT_EQ(unsure.pitchConfidence, 1);
    // A difference below 1 Hz truncates to 0: a continuation.
    _dywapitchtracker close{440.0, 1};
    EXPECT_EQ(_dywapitch_dynamicprocess(&close, 440.9), 440.9);
}

TEST(WaveletTracker, AConfidentTrackerFollowsALeapOnceItsConfidenceIsSpent)
{
    // A fifth up is neither a continuation nor an octave error: the previous pitch stands while
    // confidence drains, then the new pitch is taken.
    _dywapitchtracker leap{440.0, 5};
    const double expected[] = {440.0, 440.0, 440.0, 440.0, 0.0, 660.0, 660.0};
    for (double result : expected)
        EXPECT_EQ(_dywapitch_dynamicprocess(&leap, 660.0), result);
    EXPECT_EQ(leap.pitchConfidence, 2);
}

// Rows: a tone, then the room alone; or a tone under the calibrated floor. The pieces of the room
// after a tone, and a tone under the floor, have no pitch (the dynamic step would hold the tone's
// pitch for five more pieces, and noise reads a pitch of its own).
TEST(WaveletStrategy, PiecesBelowTheNoiseFloorHaveNoPitch)
{
    struct Row {
        double toneAmplitude, calibratedFloor;
        int pitchedPieces; // of the first 20: the tone's
    };
    for (const Row& row : {Row{0.5, 1e-5, 20}, Row{0.004, 0.01, 0}}) {
        WaveletStrategy strategy;
        PitchDetector detector;
        detector.mp_pitchDetectionStrategy = &strategy;
        detector.m_blockSize = 2048;
        detector.m_subBlockCount = 2;
        detector.m_noiseFloor = row.calibratedFloor;
        detector.start();
        std::vector<double> signal = SignalFactory::sine(330.0, 10 * 2048 / 44100.0, row.toneAmplitude);
        const std::vector<double> room = SignalFactory::whiteNoise(10 * 2048 / 44100.0, -45.0);
        signal.insert(signal.end(), room.begin(), room.end());
        for (size_t b = 0; b + 2048 <= signal.size(); b += 2048) {
            QVector<double> block(signal.begin() + b, signal.begin() + b + 2048);
            detector.process(block);
        }
        ASSERT_EQ(detector.m_notes.size(), 40);
        int pitched = 0;
        for (int i = 0; i < 40; ++i) {
            if (i >= 20)
                EXPECT_LE(detector.m_notes[i].frequency, 0.0) << row.toneAmplitude << " piece " << i;
            else if (detector.m_notes[i].frequency > 0.0)
                ++pitched;
        }
        EXPECT_EQ(pitched, row.pitchedPieces) << row.toneAmplitude;
    }
}

TEST(WaveletStrategy, TwoPiecesPerBlockWithTheirOffsets)
{
    WaveletStrategy strategy;
    PitchDetector detector;
    detector.mp_pitchDetectionStrategy = &strategy;
    detector.m_blockSize = 2048;
    detector.m_subBlockCount = 2;
    detector.start();
    const std::vector<double> tone = SignalFactory::sine(330.0, 4 * 2048 / 44100.0 + 0.01);
    for (int b = 0; b < 4; ++b) {
        QVector<double> block;
        for (int i = 0; i < 2048; ++i)
            block.append(tone[b * 2048 + i]);
        detector.process(block);
    }
    ASSERT_EQ(detector.m_notes.size(), 8);
    const double B = 2048 / 44100.0;
    EXPECT_NEAR(detector.m_notes[6].offset, 3 * B, 1e-12);
    EXPECT_NEAR(detector.m_notes[7].offset, 3.5 * B, 1e-12);
    for (const PitchDetector::NoteInfo& note : detector.m_notes) {
        EXPECT_EQ(note.note, Pitch::E);
        EXPECT_EQ(note.octave, 4);
    }
    // A short last block and a zero piece count do not crash and still submit one per piece.
    detector.start();
    QVector<double> shortBlock(600, 0.1);
    detector.process(shortBlock);
    EXPECT_EQ(detector.m_notes.size(), 2);
    detector.m_subBlockCount = 0;
    detector.process(shortBlock);
    EXPECT_EQ(detector.m_notes.size(), 3);
    detector.m_subBlockCount = static_cast<unsigned int>(-2); // a negative count from a settings row
    detector.process(shortBlock);
    EXPECT_EQ(detector.m_notes.size(), 4);
}

TEST(WaveletStrategy, TheSecondPieceStartsOneSampleLateAndUsesHalfItsLength)
{
    // Silence, then a tone in the last 511 samples: piece 1 starts at 1025 and its 1023 samples
    // floor to 512 (1025..1536), so it never reaches the tone.
    QVector<double> block(2048, 0.0);
    const std::vector<double> tone = SignalFactory::sine(440.0, 0.05);
    for (int i = 1537; i < 2048; ++i)
        block[i] = tone[i - 1537];
    ASSERT_GT(_dywapitch_computeWaveletPitch(block.data(), 1024, 1024), 0.0); // a plain half would hear it

    WaveletStrategy strategy;
    PitchDetector detector;
    detector.mp_pitchDetectionStrategy = &strategy;
    detector.m_blockSize = 2048;
    detector.m_subBlockCount = 2;
    detector.start();
    detector.process(block);
    ASSERT_EQ(detector.m_notes.size(), 2);
    EXPECT_EQ(detector.m_notes[0].note, Pitch::NONE);
    EXPECT_EQ(detector.m_notes[1].note, Pitch::NONE);
}

} // namespace
