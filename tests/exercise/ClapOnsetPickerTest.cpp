// The attacks a clapped answer is made of: where they are found, what makes none.
#include "exercise/ClapOnsetPicker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr double kRate = 44100.0;

double fromDb(double db)
{
    return std::pow(10.0, db / 20.0);
}

// A clap: white noise with a 0.5 ms rise and an exponential decay, its peak at peakDbfs.
void addClap(std::vector<double>& s, double at, double peakDbfs, double decayMs, std::mt19937& rng)
{
    std::uniform_real_distribution<double> white(-1.0, 1.0);
    const size_t a = size_t(at * kRate);
    const size_t n = size_t(6.0 * decayMs * kRate / 1000.0);
    for (size_t k = 0; k < n && a + k < s.size(); ++k) {
        const double env = k < 22 ? k / 22.0 : std::exp(-double(k - 22) / (decayMs * kRate / 1000.0));
        s[a + k] += fromDb(peakDbfs) * white(rng) * env;
    }
}

// A held vowel: glottal pulses at f0 through a 700 Hz resonance, rising over 60 ms from `at` and
// held for `seconds`.
void addVowel(std::vector<double>& s, double at, double seconds, double peakDbfs, double f0)
{
    const size_t a = size_t(at * kRate);
    for (size_t k = 0; k < size_t(seconds * kRate) && a + k < s.size(); ++k) {
        const double t = k / kRate;
        const double sincePulse = std::fmod(t, 1.0 / f0);
        const double pulse = std::sin(2.0 * M_PI * 700.0 * sincePulse) * std::exp(-sincePulse / 0.002);
        s[a + k] += fromDb(peakDbfs) * std::min(1.0, t / 0.06) * pulse;
    }
}

void addNoise(std::vector<double>& s, double rmsDbfs, std::mt19937& rng)
{
    std::normal_distribution<double> gauss(0.0, 1.0);
    double low = 0.0;
    for (double& x : s) {
        const double w = gauss(rng);
        low = 0.985 * low + 0.015 * w;
        // rumble and hiss of about the same power
        x += fromDb(rmsDbfs) * (low / 0.087 + w) / std::sqrt(2.0);
    }
}

std::vector<double> attacks(const std::vector<double>& s, int block = 2048)
{
    std::vector<double> found;
    ClapOnsetPicker picker([&](double t) { found.push_back(t); });
    for (size_t i = 0; i < s.size(); i += size_t(block)) {
        const int n = int(std::min(s.size() - i, size_t(block)));
        picker.process(s.data() + i, n, double(i) / kRate);
    }
    return found;
}

struct Case {
    const char* name;
    std::vector<double> expected;  // attack times, s
    double tolerance;
    void (*build)(std::vector<double>&, std::mt19937&);
};

TEST(ClapOnsetPicker, AttacksOfClapsAndSyllablesAndNoneOfNoiseOrFaintSounds)
{
    const Case cases[] = {
        {"claps of three levels in silence", {0.5, 1.0, 1.25, 1.75}, 0.004,
         [](std::vector<double>& s, std::mt19937& r) {
             addClap(s, 0.5, -6, 12, r);
             addClap(s, 1.0, -16, 45, r);
             addClap(s, 1.25, -24, 12, r);
             addClap(s, 1.75, -24, 45, r);
         }},
        {"claps an eighth apart at 160 in room noise at -45 dBFS", {0.5, 0.6875, 0.875}, 0.004,
         [](std::vector<double>& s, std::mt19937& r) {
             addNoise(s, -45, r);
             for (double t : {0.5, 0.6875, 0.875})
                 addClap(s, t, -16, 45, r);
         }},
        {"room noise alone", {}, 0.0, [](std::vector<double>& s, std::mt19937& r) { addNoise(s, -45, r); }},
        // samples the stream lost come as digital silence: the room heard again is no attack
        {"room noise broken by 0.3 s of digital silence, then a clap", {1.5}, 0.004,
         [](std::vector<double>& s, std::mt19937& r) {
             addNoise(s, -36, r);
             std::fill(s.begin() + long(0.6 * kRate), s.begin() + long(0.9 * kRate), 0.0);
             addClap(s, 1.5, -10, 45, r);
         }},
        // a gated or muted microphone gives the room as digital silence: a "ta" (a t's burst, then
        // its vowel) rises out of it, also 37 ms after the vowel before (eighths at 160)
        {"spoken syllables with digital silence between", {0.3, 0.4875, 0.675, 0.8625}, 0.004,
         [](std::vector<double>& s, std::mt19937& r) {
             for (double t : {0.3, 0.4875, 0.675, 0.8625}) {
                 addClap(s, t, -24, 3, r);
                 addVowel(s, t + 0.01, 0.14, -12, 220);
             }
         }},
        {"a clap fainter than the floor", {}, 0.0,
         [](std::vector<double>& s, std::mt19937& r) { addClap(s, 0.8, -56, 12, r); }},
        {"a clap buried in loud noise", {}, 0.0,
         [](std::vector<double>& s, std::mt19937& r) {
             addNoise(s, -30, r);
             addClap(s, 0.8, -30, 12, r);
         }},
        // a held vowel's pulses are no attacks; its rise (over 60 ms) is one (a softer swell, rising
        // less than the rise a hop, is none)
        {"a sung vowel held for a second", {0.4}, 0.015,
         [](std::vector<double>& s, std::mt19937&) { addVowel(s, 0.4, 1.0, -12, 110); }},
        // the second of two sounds 30 ms apart is the same attack
        {"a clap and its echo 30 ms later", {0.6}, 0.004,
         [](std::vector<double>& s, std::mt19937& r) {
             addClap(s, 0.6, -10, 12, r);
             addClap(s, 0.63, -10, 12, r);
         }},
        {"a clap over a held vowel", {0.3, 0.9}, 0.015,
         [](std::vector<double>& s, std::mt19937& r) {
             addVowel(s, 0.3, 1.2, -14, 220);
             addClap(s, 0.9, -4, 12, r);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::mt19937 rng(7);
        std::vector<double> s(size_t(2.0 * kRate), 0.0);
        c.build(s, rng);
        const std::vector<double> found = attacks(s);
        ASSERT_EQ(found.size(), c.expected.size()) << (found.empty() ? -1.0 : found[0]);
        for (size_t i = 0; i < found.size(); ++i)
            EXPECT_NEAR(found[i], c.expected[i], c.tolerance) << i;
        // hops and blocks need not line up: any block size gives the same attacks
        const std::vector<double> again = attacks(s, 100);
        ASSERT_EQ(again.size(), found.size());
        for (size_t i = 0; i < found.size(); ++i)
            EXPECT_NEAR(again[i], found[i], 1e-9) << i;
    }
}

// Times come from the blocks' own dates; reset forgets the room, the envelope and the last attack.
TEST(ClapOnsetPicker, DatesByTheBlocksAndResetStartsAfresh)
{
    std::mt19937 rng(3);
    std::vector<double> s(size_t(0.5 * kRate), 0.0);
    addClap(s, 0.2, -10, 45, rng);
    std::vector<double> found;
    ClapOnsetPicker picker([&](double t) { found.push_back(t); });
    picker.process(s.data(), int(s.size()), 3.0);  // a detector started three seconds earlier
    ASSERT_EQ(found.size(), 1u);
    EXPECT_NEAR(found[0], 3.2, 0.004);

    // a later block dated after a gap (samples the detector never got) keeps its own date
    picker.process(s.data() + size_t(0.15 * kRate), int(0.1 * kRate), 4.0);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_NEAR(found[1], 4.05, 0.004);
    picker.reset();
    picker.process(s.data(), int(s.size()), 0.0);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_NEAR(found[2], 0.2, 0.004);
}

}  // namespace
