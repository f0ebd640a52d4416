// Spectral peak picking, peak tracking across frames and the peak-based onset functions.
#include "SignalFactory.h"
#include "pitch/onset/MQPeaks.h"
#include "pitch/onset/PeakAmpDifferenceODF.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

class MQ : public ::testing::Test {
protected:
    void SetUp() override
    {
        params.frame_size = 2048;
        params.max_peaks = 20;
        params.num_bins = 1025;
        params.peak_threshold = 0.1;
        params.fundamental = 44100.0 / 2048;
        params.matching_interval = 200.0;
        init_mq(&params);
    }
    void TearDown() override { destroy_mq(&params); }

    std::vector<double> sines(const std::vector<double>& frequencies, const std::vector<double>& amplitudes)
    {
        std::vector<double> frame(2048, 0.0);
        for (size_t k = 0; k < frequencies.size(); ++k) {
            for (int i = 0; i < 2048; ++i)
                frame[i] += amplitudes[k] * std::sin(2 * M_PI * frequencies[k] * i / 44100.0);
        }
        return frame;
    }
    static std::vector<Peak*> peaksOf(PeakList* list)
    {
        std::vector<Peak*> out;
        for (PeakList* node = list; node && node->peak; node = node->next)
            out.push_back(node->peak);
        return out;
    }

    MQParameters params{};
};

// The first and last bins never give peaks, the one before the last does. Magnitudes are the
// unscaled windowed spectrum the fixed threshold of 0.1 is set for: a tone of amplitude a on a bin
// centre reads a x (sum of the Hann weights) / 2 = a x 1023.5 / 2, so the threshold sits near
// -74 dBFS. Of more peaks than the maximum (20), the largest are kept. Peaks come in ascending frequency.
TEST_F(MQ, PeaksOfTheUnscaledWindowedSpectrum)
{
    struct Row {
        const char* name;
        std::vector<double> frame;
        int peaks;         // -1: any number
        int strongestBin;  // of the peaks found, -1: none found
        double amplitude;  // of the strongest
    };
    std::vector<double> dcAndNyquist(2048);
    for (int i = 0; i < 2048; ++i)
        dcAndNyquist[i] = 0.5 + ((i % 2) ? -0.4 : 0.4);
    const double binCentre = 100 * params.fundamental;
    std::vector<double> frequencies;
    std::vector<double> amplitudes;
    for (int k = 0; k < 25; ++k) {
        frequencies.push_back((4 + 8 * k) * params.fundamental); // bin centres, well apart
        amplitudes.push_back(0.01 * (k + 1));
    }
    const Row rows[] = {
        {"silence", std::vector<double>(2048, 0.0), 0, -1, 0.0},
        {"DC and Nyquist", dcAndNyquist, 0, -1, 0.0},
        {"next to the last bin", sines({1023 * params.fundamental}, {0.5}), -1, 1023, 0.5 * 1023.5 / 2},
        {"bin centre", sines({binCentre}, {0.5}), -1, 100, 0.5 * 1023.5 / 2},
        {"-60 dBFS", sines({binCentre}, {1e-3}), 1, 100, 1e-3 * 1023.5 / 2},
        {"-80 dBFS", sines({binCentre}, {1e-4}), 0, -1, 0.0},
        {"25 tones", sines(frequencies, amplitudes), 20, 196, 0.25 * 1023.5 / 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PeakList* list = find_peaks(2048, const_cast<double*>(row.frame.data()), &params);
        const std::vector<Peak*> peaks = peaksOf(list);
        if (row.peaks >= 0) {
            EXPECT_EQ(peaks.size(), static_cast<size_t>(row.peaks));
        }
        EXPECT_EQ(row.strongestBin >= 0, !peaks.empty());
        for (size_t i = 1; i < peaks.size(); ++i)
            EXPECT_LT(peaks[i - 1]->frequency, peaks[i]->frequency);
        Peak* strongest = peaks.empty() ? nullptr : peaks.front();
        for (Peak* p : peaks)
            strongest = p->amplitude > strongest->amplitude ? p : strongest;
        if (strongest && row.strongestBin >= 0) {
            EXPECT_EQ(strongest->bin, row.strongestBin);
            EXPECT_NEAR(strongest->amplitude, row.amplitude, row.amplitude * 2e-4);
        }
        delete_peak_list(list);
    }
}

TEST(PeakOnsetFunctions, AnotherFrameSizeIsAnnouncedOnceAndThenUsed)
{
    PeakAmpDifferenceODF amp; // 512 by default
    std::vector<double> tone = SignalFactory::sine(44100.0 / 1024 * 40, 4096 / 44100.0);
    testing::internal::CaptureStdout();
    const double first = amp.process_frame(1024, tone.data());
    amp.process_frame(1024, tone.data() + 1024);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "Warning: size of signal passed to process_frame (1024) does not match frame_size (512), "
                       "updating frame size.\n");
    EXPECT_GT(first, 10.0); // analysed at the new size, as a first frame
}

} // namespace
