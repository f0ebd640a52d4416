// The dynamic wavelet tracker: helpers, raw estimates on sines and sung tones, the dynamic step,
// and how the wavelet strategy cuts a block into pieces.
#include "SignalFactory.h"
#include "pitch/DyWaPitchTracker.h"
#include "pitch/PitchDetector.h"
#include "pitch/WaveletStrategy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

double cents(double estimate, double truth)
{
    return 1200.0 * std::log2(estimate / truth);
}

TEST(WaveletTracker, PowerOfTwoHelpers)
{
    EXPECT_EQ(_floor_power2(1023), 512);
    EXPECT_EQ(_ceil_power2(1000), 1024);
    EXPECT_EQ(_power2p(96), 0);
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
    for (int count : {0, 1, -5})
        EXPECT_EQ(_dywapitch_computeWaveletPitch(tone.data(), 0, count), 0.0) << count;
}

TEST(WaveletTracker, SinesFromC3ToC6WithinTwentyCentsAndSungTonesMostlyRight)
{
    double worst = 0.0;
    int sungRight = 0;
    for (int midi = 48; midi <= 84; ++midi) {
        const double f = SignalFactory::midiToFrequency(midi);
        std::vector<double> sine = SignalFactory::sine(f, 0.1);
        const double raw = _dywapitch_computeWaveletPitch(sine.data(), 0, 1024);
        ASSERT_GT(raw, 0.0) << midi;
        worst = std::max(worst, std::fabs(cents(raw, f)));
        std::vector<double> sung = SignalFactory::sungTone(f, 0.1, 0.5, 0.0);
        const double rawSung = _dywapitch_computeWaveletPitch(sung.data(), 1024, 1024);
        sungRight += rawSung > 0.0 && std::fabs(cents(rawSung, f)) < 50.0 ? 1 : 0;
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

// Each row starts a tracker from a pitch and confidence, feeds raw estimates and reads the results.
TEST(WaveletTracker, DynamicStep)
{
    struct Row {
        const char* name;
        _dywapitchtracker start;
        std::vector<double> raw, results;
        double prevPitch;
        int confidence;
    };
    const Row rows[] = {
        {"builds and loses confidence", {-1.0, 0}, {220, 223, 0, 0, 0}, {220, 223, 223, 0, 0}, -1.0, 0},
        {"octave error corrected when confident", {440.0, 3}, {221}, {442}, 442.0, 3},
        {"octave off while unsure is taken as read", {440.0, 2}, {221}, {221}, 221.0, 2},
        {"without confidence a reading is taken as it is", {440.0, 0}, {221}, {221}, 221.0, 1},
        // a high "oo" flipping to its subharmonic and back as it starts: none of its results is lost
        {"alternating subharmonic", {-1.0, 0}, {554, 277, 554, 277, 554}, {554, 277, 554, 277, 554}, 554.0, 1},
        {"a wrong octave first gives way", {-1.0, 0}, {880, 440, 441, 442, 880}, {880, 440, 441, 442, 440}, 440.0, 3},
        {"under 1 Hz apart continues", {440.0, 1}, {440.9}, {440.9}, 440.9, 2},
        // a fifth up: one reading is held off, the second in a row is a new note
        {"leap", {440.0, 5}, {660, 660, 660, 660, 660}, {440, 660, 660, 660, 660}, 660.0, 5},
        {"a lone reading elsewhere is held off", {440.0, 5}, {660, 440, 441}, {440, 440, 441}, 441.0, 5},
        {"two readings that disagree are held off", {440.0, 5}, {700, 560, 560}, {440, 440, 560}, 560.0, 2},
        // a choir's beating reads pitches a semitone apart from piece to piece: not a new note
        {"two readings a semitone apart are held off", {440.0, 5}, {600, 640, 640}, {440, 440, 640}, 640.0, 2},
        // a short note sung after a breath: its first reading follows pieces without pitch and is
        // taken, or the last note's pitch would fill half its results
        {"a new reading after a breath is taken", {440.0, 5}, {0, 0, 330, 331}, {440, 440, 330, 331}, 331.0, 2},
        {"one piece without pitch is no breath", {440.0, 5}, {0, 660, 440}, {440, 440, 440}, 440.0, 4},
        // a lone jump inside the band is taken, but the pitch before it is not held off
        {"lone jump", {135.0, 5}, {166, 132, 132}, {166, 132, 132}, 132.0, 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        _dywapitchtracker tracker = row.start;
        std::vector<double> results;
        for (double raw : row.raw)
            results.push_back(_dywapitch_dynamicprocess(&tracker, raw));
        EXPECT_EQ(results, row.results);
        EXPECT_EQ(tracker.prevPitch, row.prevPitch);
        EXPECT_EQ(tracker.pitchConfidence, row.confidence);
    }
}

// A formant on the fourth harmonic of a high note (an "ee" at F5) gives every period a second peak
// nearly as tall as the first; the two spacings split the wavelet's count at every level, no level
// agreed and the note had no pitch. The period is then found by the normalised difference; white
// noise has no period and still gives none.
TEST(WaveletTracker, ASecondPeakInEveryPeriodStillGivesThePitchAndNoiseNone)
{
    const double f = 698.5;
    struct Row {
        const char* name;
        double fourth, shift; // the fourth harmonic's amplitude and phase; 0: noise
    };
    const Row rows[] = {{"fourth 0.9", 0.9, 1.6}, {"fourth 1.1", 1.1, 0.8}, {"fourth 0.5", 0.5, 0.8}, {"white noise", 0.0, 0.0}};
    for (const Row& row : rows) {
        for (int start : {0, 100, 333, 1000}) {
            SCOPED_TRACE(testing::Message() << row.name << " from " << start);
            std::mt19937 generator(static_cast<unsigned>(start + 1));
            std::normal_distribution<double> noise(0.0, 0.1);
            std::vector<double> x(1024);
            for (int i = 0; i < 1024; ++i) {
                const double phase = 2 * M_PI * f * (i + start) / 44100.0;
                x[i] = row.fourth > 0.0 ? 0.4 * (std::sin(phase) + 0.5 * std::sin(2 * phase) + row.fourth * std::sin(4 * phase + row.shift))
                                        : noise(generator);
            }
            const double raw = _dywapitch_computeWaveletPitch(x.data(), 0, 1024);
            if (row.fourth > 0.0)
                EXPECT_LT(std::fabs(cents(raw, f)), 10.0) << raw;
            else
                EXPECT_EQ(raw, 0.0);
        }
    }
}

// A detector with the wavelet strategy, fed whole blocks on the test's thread.
class WaveletPieces : public ::testing::Test {
protected:
    void SetUp() override
    {
        detector.mp_pitchDetectionStrategy = &strategy;
        detector.m_blockSize = 2048;
        detector.m_subBlockCount = 2;
        detector.start();
    }
    void feed(const std::vector<double>& signal)
    {
        for (size_t b = 0; b + 2048 <= signal.size(); b += 2048) {
            QVector<double> block(signal.begin() + b, signal.begin() + b + 2048);
            detector.process(block);
        }
    }
    WaveletStrategy strategy;
    PitchDetector detector;
};

// Rows: a tone, then the room alone; or a tone under the calibrated floor. The pieces of the room
// after a tone, and a tone under the floor, have no pitch (the dynamic step would hold the tone's
// pitch for five more pieces, and noise reads a pitch of its own).
TEST_F(WaveletPieces, PiecesBelowTheNoiseFloorHaveNoPitch)
{
    struct Row {
        double toneAmplitude, calibratedFloor;
        int pitchedPieces; // of the first 20: the tone's
    };
    for (const Row& row : {Row{0.5, 1e-5, 20}, Row{0.004, 0.01, 0}}) {
        SCOPED_TRACE(row.toneAmplitude);
        detector.m_noiseFloor = row.calibratedFloor;
        detector.start();
        std::vector<double> signal = SignalFactory::sine(330.0, 10 * 2048 / 44100.0, row.toneAmplitude);
        const std::vector<double> room = SignalFactory::whiteNoise(10 * 2048 / 44100.0, -45.0);
        signal.insert(signal.end(), room.begin(), room.end());
        feed(signal);
        ASSERT_EQ(detector.m_notes.size(), 40);
        int pitched = 0;
        for (int i = 0; i < 40; ++i) {
            if (i >= 20)
                EXPECT_LE(detector.m_notes[i].frequency, 0.0) << "piece " << i;
            else if (detector.m_notes[i].frequency > 0.0)
                ++pitched;
        }
        EXPECT_EQ(pitched, row.pitchedPieces);
    }
}

TEST_F(WaveletPieces, TwoPiecesPerBlockWithTheirOffsets)
{
    feed(SignalFactory::sine(330.0, 4 * 2048 / 44100.0 + 0.01));
    ASSERT_EQ(detector.m_notes.size(), 8);
    const double B = 2048 / 44100.0;
    EXPECT_NEAR(detector.m_notes[6].offset, 3 * B, 1e-12);
    EXPECT_NEAR(detector.m_notes[7].offset, 3.5 * B, 1e-12);
    for (const PitchDetector::NoteInfo& note : detector.m_notes)
        EXPECT_EQ(std::make_pair(note.note, note.octave), std::make_pair(Pitch::E, 4));
    // A short last block, a zero piece count and a negative one from a settings row still submit
    // one result per piece.
    detector.start();
    QVector<double> shortBlock(600, 0.1);
    for (unsigned int count : {2u, 0u, static_cast<unsigned int>(-2)}) {
        const int before = detector.m_notes.size();
        detector.m_subBlockCount = count;
        detector.process(shortBlock);
        EXPECT_EQ(detector.m_notes.size() - before, count == 2u ? 2 : 1) << count;
    }
}

// The second piece of a 2048 block holds 1023 samples; the tracker reads a power of two, and the
// piece reads the 1024 that end the block rather than the 512 that begin it. Rows: a tone only in
// the last 511 samples is heard by piece 1; a G2 or a C3 (under three periods in 1024 samples,
// about one in 512) is pitched in both pieces of every block once it has begun.
TEST_F(WaveletPieces, TheSecondPieceReadsTheSpanThatEndsTheBlock)
{
    struct Row {
        const char* name;
        std::vector<double> signal;
        Pitch::Note note;
        int octave;
        int fromPiece; // every piece from here on names the note
    };
    std::vector<double> lateTone(2048, 0.0);
    const std::vector<double> tone = SignalFactory::sine(440.0, 0.05);
    std::copy(tone.begin(), tone.begin() + 511, lateTone.begin() + 1537);
    const Row rows[] = {{"tone in the last 511 samples", lateTone, Pitch::A, 4, 1},
                        {"G2", SignalFactory::sine(SignalFactory::midiToFrequency(43), 8 * 2048 / 44100.0), Pitch::G, 2, 2},
                        {"C3 sung", SignalFactory::sungTone(SignalFactory::midiToFrequency(48), 8 * 2048 / 44100.0, 0.5, 0.0),
                         Pitch::C, 3, 2}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        detector.start();
        feed(row.signal);
        ASSERT_EQ(static_cast<size_t>(detector.m_notes.size()), row.signal.size() / 2048 * 2);
        for (int i = row.fromPiece; i < detector.m_notes.size(); ++i) {
            EXPECT_EQ(std::make_pair(detector.m_notes[i].note, detector.m_notes[i].octave), std::make_pair(row.note, row.octave))
                << "piece " << i;
        }
    }
}

} // namespace
