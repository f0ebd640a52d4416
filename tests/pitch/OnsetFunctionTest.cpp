// The onset-function base, batch processing, windowing, Burg's method and the energy, spectral
// and linear-prediction functions.
#include "SignalFactory.h"
#include "pitch/onset/ComplexODF.h"
#include "pitch/onset/EnergyODF.h"
#include "pitch/onset/LPComplexODF.h"
#include "pitch/onset/LPEnergyODF.h"
#include "pitch/onset/LPSpectralDifferenceODF.h"
#include "pitch/onset/ModalException.h"
#include "pitch/onset/SignalMath.h"
#include "pitch/onset/SpectralDifferenceODF.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cmath>
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

TEST(SignalMath, BurgPredictsACosineAndOrderZeroGivesZeros)
{
    double c3[3] = {9, 9, 9};
    const double samples[3] = {1.0, 0.5, 0.25};
    burg(3, samples, 0, 3, c3);
    EXPECT_EQ(c3[0], 0.0);
    EXPECT_EQ(c3[1], 0.0);
    EXPECT_EQ(c3[2], 0.0);
    // A sampled cosine obeys x[n] = 2cos(w) x[n-1] - x[n-2]: order 2 recovers it.
    const double w = 0.3;
    double cosine[5];
    for (int i = 0; i < 5; ++i)
        cosine[i] = std::cos(w * i);
    double c2[5] = {};
    burg(5, cosine, 5, 5, c2);
    double predicted[1];
    linear_prediction(5, cosine, 5, c2, 1, predicted);
    EXPECT_NEAR(predicted[0], std::cos(w * 5), 0.05);
}

TEST(OnsetFunctions, EnergyOfTwoIdenticalFramesDiffersByNothing)
{
    EnergyODF odf;
    std::vector<double> frame = SignalFactory::sine(440.0, 512 / SignalFactory::kRate);
    const double first = odf.process_frame(512, frame.data());
    double energy = 0.0;
    for (double v : frame)
        energy += v * v;
    EXPECT_NEAR(first, energy, 1e-9);
    EXPECT_EQ(odf.process_frame(512, frame.data()), 0.0);
}

TEST(OnsetFunctions, SpectralDifferenceFirstFrameIsTheSumOfMagnitudesThenNearZero)
{
    SpectralDifferenceODF odf;
    std::vector<double> frame = SignalFactory::sine(1000.0, 512 / SignalFactory::kRate);
    const double first = odf.process_frame(512, frame.data());
    EXPECT_GT(first, 10.0);
    EXPECT_LT(odf.process_frame(512, frame.data()), first * 1e-5);
}

TEST(OnsetFunctions, ComplexRisesAtANoteStartAndStaysLowOnASteadyTone)
{
    ComplexODF odf;
    std::vector<double> silence(512, 0.0);
    EXPECT_EQ(odf.process_frame(512, silence.data()), 0.0);
    // A tone whose frequency is a whole number of cycles per hop keeps its phase advance.
    std::vector<double> tone = SignalFactory::sine(44100.0 / 256 * 8, 3.0 * 512 / SignalFactory::kRate);
    const double onset = odf.process_frame(512, tone.data());
    odf.process_frame(512, tone.data() + 256);
    const double steady = odf.process_frame(512, tone.data() + 512);
    EXPECT_GT(onset, 10.0);
    EXPECT_LT(steady, onset * 0.05);
}

TEST(OnsetFunctions, LinearPredictionFunctionsReactToAChangeAndNotToSilence)
{
    LPEnergyODF energy;
    LPSpectralDifferenceODF spectral;
    LPComplexODF complex;
    EXPECT_EQ(energy.get_order(), 5);
    std::vector<double> silence(512, 0.0);
    std::vector<double> tone = SignalFactory::sine(700.0, 512 / SignalFactory::kRate);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(energy.process_frame(512, silence.data()), 0.0);
        EXPECT_EQ(spectral.process_frame(512, silence.data()), 0.0);
        EXPECT_EQ(complex.process_frame(512, silence.data()), 0.0);
    }
    EXPECT_GT(energy.process_frame(512, tone.data()), 1.0);
    EXPECT_GT(spectral.process_frame(512, tone.data()), 1.0);
    EXPECT_GT(complex.process_frame(512, tone.data()), 1.0);
    complex.set_order(3);
    EXPECT_EQ(complex.get_order(), 3);
    EXPECT_EQ(complex.process_frame(512, silence.data()), 0.0);
}

TEST(OnsetFunctions, SpectralPredictionsAgreeWithThePlainSpectralDifference)
{
    std::vector<double> frame = SignalFactory::sine(1000.0, 512 / SignalFactory::kRate);
    SpectralDifferenceODF plain;
    const double magnitudes = plain.process_frame(512, frame.data());
    ASSERT_GT(magnitudes, 10.0);

    // Order 0 predicts nothing: every magnitude (or change of bin) counts whole.
    LPSpectralDifferenceODF spectral;
    LPComplexODF complex;
    spectral.set_order(0);
    complex.set_order(0);
    EXPECT_NEAR(spectral.process_frame(512, frame.data()), magnitudes, magnitudes * 1e-9);
    EXPECT_NEAR(spectral.process_frame(512, frame.data()), magnitudes, magnitudes * 1e-9);
    EXPECT_NEAR(complex.process_frame(512, frame.data()), magnitudes, magnitudes * 1e-9);
    EXPECT_NEAR(complex.process_frame(512, frame.data()), 0.0, magnitudes * 1e-9);

    // Order 2 learns a steady magnitude from two frames and then predicts it.
    LPSpectralDifferenceODF steady;
    steady.set_order(2);
    EXPECT_NEAR(steady.process_frame(512, frame.data()), magnitudes, magnitudes * 1e-9);
    EXPECT_NEAR(steady.process_frame(512, frame.data()), magnitudes, magnitudes * 1e-9);
    EXPECT_NEAR(steady.process_frame(512, frame.data()), 0.0, magnitudes * 1e-6);
    // A new frame size starts the histories over.
    std::vector<double> longer = SignalFactory::sine(1000.0, 1024 / SignalFactory::kRate);
    EXPECT_GT(steady.process_frame(1024, longer.data()), magnitudes);
}

TEST(OnsetFunctions, BatchComputesEveryFrameNormalisesAndThrowsOnShortOutput)
{
    SpectralDifferenceODF odf;
    std::vector<double> signal = SignalFactory::sine(500.0, 512 / SignalFactory::kRate);
    double one[1] = {0.0};
    EXPECT_GT(odf.process(512, signal.data(), 1, one), 0.0);
    EXPECT_DOUBLE_EQ(one[0], 1.0);

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
    EXPECT_GT(odf.process_frame(1024, frame.data()), -1.0);

    odf.set_hop_size(0);
    odf.set_hop_size(-3);
    EXPECT_EQ(odf.get_hop_size(), 256);
    EXPECT_TRUE(LogCapture::instance().contains("hop size 0 is not positive"));
}

} // namespace
