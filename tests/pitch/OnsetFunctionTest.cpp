// The onset-function base, batch processing, windowing and every onset function on the same frames.
#include "SignalFactory.h"
#include "pitch/onset/ComplexODF.h"
#include "pitch/onset/EnergyODF.h"
#include "pitch/onset/HarmonicSpread.h"
#include "pitch/onset/LPComplexODF.h"
#include "pitch/onset/LPEnergyODF.h"
#include "pitch/onset/LPSpectralDifferenceODF.h"
#include "pitch/onset/ModalException.h"
#include "pitch/onset/PeakAmpDifferenceODF.h"
#include "pitch/onset/SignalMath.h"
#include "pitch/onset/SpectralDifferenceODF.h"
#include "pitch/onset/UnmatchedPeaksODF.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

TEST(SignalMath, HannWindowOfFiveOnes)
{
    double w[5] = {1, 1, 1, 1, 1};
    hann_window(5, w);
    const double expected[5] = {0.0, 0.5, 1.0, 0.5, 0.0};
    for (int i = 0; i < 5; ++i)
        EXPECT_NEAR(w[i], expected[i], 1e-12);
    double one[1] = {1.0};
    hann_window(1, one); // a one-point window must not divide by zero
    EXPECT_FALSE(std::isnan(one[0]));
}

// Every function: nothing on silence, a rise at a tone's first frame, nothing once the same frame
// repeats (the linear-prediction ones once they have learnt it). A release at half the level counts
// except for the peak functions (only rises are onsets); the rise back counts except for unmatched
// peaks (the peaks are still there).
TEST(OnsetFunctions, SilenceToneAndRelease)
{
    struct Row {
        const char* name;
        std::unique_ptr<OnsetDetectionFunction> function;
        int steadyFrom; // tone frames before the value falls to nothing
        bool releaseCounts, riseCounts;
    };
    Row rows[8] = {{"energy", std::make_unique<EnergyODF>(), 1, true, true},
                   {"spectral difference", std::make_unique<SpectralDifferenceODF>(), 1, true, true},
                   {"complex", std::make_unique<ComplexODF>(), 2, true, true},
                   {"LP energy", std::make_unique<LPEnergyODF>(), 5, true, true},
                   {"LP spectral difference", std::make_unique<LPSpectralDifferenceODF>(), 5, true, true},
                   {"LP complex", std::make_unique<LPComplexODF>(), 1, true, true},
                   {"peak amplitude difference", std::make_unique<PeakAmpDifferenceODF>(), 1, false, true},
                   {"unmatched peaks", std::make_unique<UnmatchedPeaksODF>(), 1, false, false}};
    std::vector<double> silence(512, 0.0);
    // 256 samples hold exactly 8 cycles: every hop sees the same frame.
    std::vector<double> tone = SignalFactory::sine(44100.0 / 256 * 8, 512 / SignalFactory::kRate);
    std::vector<double> half = tone;
    for (double& v : half)
        v *= 0.5;
    for (Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(row.function->process_frame(512, silence.data()), 0.0);
        const double first = row.function->process_frame(512, tone.data());
        EXPECT_GT(first, 10.0);
        for (int i = 1; i < 8; ++i) {
            const double value = row.function->process_frame(512, tone.data());
            if (i >= row.steadyFrom) {
                EXPECT_LT(value, first * 1e-6) << i;
            }
        }
        const double release = row.function->process_frame(512, half.data());
        const double rise = row.function->process_frame(512, tone.data());
        EXPECT_EQ(release > first * 0.1, row.releaseCounts);
        EXPECT_EQ(release == 0.0, !row.releaseCounts);
        EXPECT_EQ(rise > first * 0.1, row.riseCounts);
        EXPECT_EQ(rise == 0.0, !row.riseCounts);
    }
}

// Order 0 predicts nothing: every magnitude (or change of bin) counts whole.
TEST(OnsetFunctions, SpectralPredictionsOfOrderZeroAgreeWithThePlainSpectralDifference)
{
    std::vector<double> frame = SignalFactory::sine(1000.0, 512 / SignalFactory::kRate);
    SpectralDifferenceODF plain;
    const double magnitudes = plain.process_frame(512, frame.data());
    LPSpectralDifferenceODF spectral;
    LPComplexODF complex;
    spectral.set_order(0);
    complex.set_order(0);
    EXPECT_NEAR(spectral.process_frame(512, frame.data()), magnitudes, magnitudes * 1e-9);
    EXPECT_NEAR(spectral.process_frame(512, frame.data()), magnitudes, magnitudes * 1e-9);
    EXPECT_NEAR(complex.process_frame(512, frame.data()), magnitudes, magnitudes * 1e-9);
    EXPECT_NEAR(complex.process_frame(512, frame.data()), 0.0, magnitudes * 1e-9);
    // A new frame size starts the histories over.
    std::vector<double> longer = SignalFactory::sine(1000.0, 1024 / SignalFactory::kRate);
    EXPECT_GT(spectral.process_frame(1024, longer.data()), magnitudes);
}

TEST(OnsetFunctions, BatchComputesEveryFrameNormalisesAndThrowsOnShortOutput)
{
    SpectralDifferenceODF batch;
    std::vector<double> longer = SignalFactory::sine(500.0, 2048 / SignalFactory::kRate);
    const int frames = (2048 - 512) / 256 + 1;
    std::vector<double> odfValues(frames - 1, 0.0);
    EXPECT_THROW(batch.process(2048, longer.data(), frames - 1, odfValues.data()), modal::Exception);
    odfValues.assign(frames, -1.0);
    batch.process(2048, longer.data(), frames, odfValues.data());
    EXPECT_DOUBLE_EQ(odfValues[0], 1.0);
    for (double v : odfValues) {
        EXPECT_GE(v, 0.0);
        EXPECT_LE(v, 1.0);
    }
    // Shorter than a frame: nothing computed, output untouched.
    double untouched[2] = {7.0, 7.0};
    EXPECT_EQ(batch.process(100, longer.data(), 2, untouched), 0.0);
    EXPECT_EQ(untouched[0], 7.0);
}

TEST(OnsetFunctions, SizeMismatchIsAdoptedAndUnusableSizesAreRefused)
{
    SpectralDifferenceODF odf;
    std::vector<double> frame = SignalFactory::sine(500.0, 1024 / SignalFactory::kRate);
    EXPECT_GT(odf.process_frame(1024, frame.data()), 0.0);
    EXPECT_EQ(odf.get_frame_size(), 1024);

    LogCapture::instance().clear();
    EXPECT_EQ(odf.process_frame(1023, frame.data()), 0.0);
    EXPECT_EQ(odf.process_frame(2, frame.data()), 0.0);
    EXPECT_EQ(odf.get_frame_size(), 1024);
    EXPECT_TRUE(LogCapture::instance().contains("cannot be analysed"));

    odf.set_hop_size(0);
    odf.set_hop_size(-3);
    EXPECT_EQ(odf.get_hop_size(), 256);
    EXPECT_TRUE(LogCapture::instance().contains("hop size 0 is not positive"));
}

// One voice moves every harmonic by the same cents, within the frame too (a vibrato's swing). The
// note struck again beside its own release, 60 cents off, leads some harmonics while the release
// still leads others (the new strike's sound is rounder), and they disagree by about the bend. A
// pitch heard an octave low, a fundamental weaker than a higher harmonic, and noise alone give
// nothing to read (-1).
TEST(HarmonicSpread, OneVoiceAgreesASecondVoicePullsApart)
{
    // Harmonics of A3 from 220 Hz up, the first voice with a vibrato of `swing` cents, the second
    // `bend` cents off.
    auto frame = [](double swing, const std::vector<double>& first, double bend, const std::vector<double>& second) {
        std::vector<double> out(2048);
        double phase = 0.0;
        for (size_t i = 0; i < out.size(); ++i) {
            const double t = i / 44100.0;
            phase += 2 * M_PI * 220.0 * std::pow(2.0, swing * std::sin(2 * M_PI * 5.5 * t) / 1200.0) / 44100.0;
            const double other = 2 * M_PI * 220.0 * std::pow(2.0, bend / 1200.0) * t;
            for (size_t k = 0; k < first.size() || k < second.size(); ++k) {
                const double n = static_cast<double>(k + 1);
                out[i] += 0.2 * ((k < first.size() ? first[k] * std::sin(n * phase) : 0.0) +
                                 (k < second.size() ? second[k] * std::sin(n * other + n) : 0.0));
            }
        }
        return out;
    };
    const std::vector<double> oo = {1.0, 0.3, 0.2, 0.1, 0.05};
    const std::vector<double> release = {0.4, 0.3, 0.2, 0.1};
    const std::vector<double> strike = {1.0, 0.05, 0.03};
    const std::vector<double> ah = {0.3, 0.5, 1.0, 0.6, 0.3};
    HarmonicSpread spread(2048, 44100);
    EXPECT_LT(spread.spread(frame(0.0, oo, 0.0, {}).data(), 57.0), 3.0) << "a steady voice";
    EXPECT_LT(spread.spread(frame(50.0, oo, 0.0, {}).data(), 57.0), 5.0) << "a voice with vibrato";
    EXPECT_GT(spread.spread(frame(35.0, release, 60.0, strike).data(), 57.0), 13.0) << "struck again 60 cents sharp";
    EXPECT_GT(spread.spread(frame(35.0, release, -60.0, strike).data(), 57.0), 13.0) << "struck again 60 cents flat";
    EXPECT_EQ(spread.spread(frame(35.0, release, 60.0, strike).data(), 45.0), -1.0) << "the pitch heard an octave low";
    EXPECT_EQ(spread.spread(frame(0.0, ah, 50.0, {0.2, 0.0, 0.3}).data(), 57.0), -1.0) << "a fundamental weaker than a harmonic";
    EXPECT_EQ(spread.spread(SignalFactory::whiteNoise(0.05, -30.0).data(), 57.0), -1.0) << "noise";
    EXPECT_EQ(spread.spread(frame(0.0, oo, 0.0, {}).data(), 0.0), -1.0) << "no pitch";
}

} // namespace
