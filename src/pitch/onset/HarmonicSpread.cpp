#include "pitch/onset/HarmonicSpread.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr int kHarmonics = 8;
constexpr double kHighest = 5000.0;    // Hz: a sung vowel's harmonics over this are too weak to read
constexpr double kLowest = 100.0;
constexpr double kSearch = 0.8;        // semitones either side of each multiple
// A harmonic counts if it reaches this share of the strongest one ...
constexpr double kShareOfStrongest = 0.05;
// ... and stands this far over the spectrum's median magnitude (the room's noise): in noise a weak
// harmonic's peak wanders by itself.
constexpr double kOverNoise = 5.0;
} // namespace

HarmonicSpread::HarmonicSpread(int frameSize, int samplingRate)
    : m_size(frameSize), m_rate(samplingRate), m_fft(frameSize)
{
    for (int i = 0; i < m_size; ++i)
        m_fft.window()[i] = 0.5 - 0.5 * std::cos(2.0 * M_PI * i / m_size);
    m_noise.reserve(static_cast<size_t>(kHighest * m_size / m_rate) + 1);
}

double HarmonicSpread::spread(const double* frame, double semitones)
{
    if (!(semitones > 0.0))
        return -1.0;
    const double* window = m_fft.window();
    double* windowed = m_fft.input();
    for (int i = 0; i < m_size; ++i)
        windowed[i] = frame[i] * window[i];
    m_fft.transform();
    const std::complex<double>* spectrum = m_fft.output();
    const int bins = m_size / 2;
    m_noise.clear();
    for (int b = static_cast<int>(kLowest * m_size / m_rate); b < std::min(bins, static_cast<int>(kHighest * m_size / m_rate)); ++b)
        m_noise.push_back(std::abs(spectrum[b]));
    if (m_noise.empty())
        return -1.0;
    std::nth_element(m_noise.begin(), m_noise.begin() + m_noise.size() / 2, m_noise.end());
    const double noise = m_noise[m_noise.size() / 2];

    const double f0 = 440.0 * std::pow(2.0, (semitones - 69.0) / 12.0);
    const double below = std::pow(2.0, -kSearch / 12.0), above = std::pow(2.0, kSearch / 12.0);
    double cents[kHarmonics], amplitude[kHarmonics];
    int number[kHarmonics];
    int found = 0;
    double strongest = 0.0;
    for (int k = 1; k <= kHarmonics && k * f0 < kHighest; ++k) {
        const double fk = k * f0;
        const int lo = std::max(1, static_cast<int>(fk * below * m_size / m_rate));
        const int hi = std::min(bins - 1, static_cast<int>(fk * above * m_size / m_rate) + 1);
        int best = -1;
        double top = 0.0;
        for (int b = lo; b <= hi; ++b) {
            const double m = std::abs(spectrum[b]);
            if (m > top) {
                top = m;
                best = b;
            }
        }
        // A true peak inside the window, not the skirt of a harmonic outside it (a held pitch read
        // an octave low puts every other window between two harmonics).
        if (best < 1 || best >= bins || !(top > std::abs(spectrum[best - 1])) || !(top > std::abs(spectrum[best + 1])))
            continue;
        // The peak's frequency between bins, from the parabola through the log magnitudes.
        const double l = std::log(std::abs(spectrum[best - 1]) + 1e-12);
        const double c = std::log(top);
        const double r = std::log(std::abs(spectrum[best + 1]) + 1e-12);
        const double curve = l - 2.0 * c + r;
        const double offset = curve < 0.0 ? 0.5 * (l - r) / curve : 0.0;
        number[found] = k;
        cents[found] = 1200.0 * std::log2((best + offset) * m_rate / m_size / fk);
        amplitude[found] = top;
        strongest = std::max(strongest, top);
        ++found;
    }
    // The held pitch's own harmonic is the loudest peak of the spectrum above it, as in an "oo": a
    // pitch the tracker heard an octave low (a high closed vowel often is) has a weak or no harmonic
    // there.
    if (found == 0 || number[0] != 1)
        return -1.0;
    const int above1 = static_cast<int>(f0 * above * m_size / m_rate) + 1;
    for (int b = above1; b < std::min(bins, static_cast<int>(kHighest * m_size / m_rate)); ++b) {
        if (std::abs(spectrum[b]) > amplitude[0])
            return -1.0;
    }
    double weights = 0.0, sum = 0.0, squares = 0.0;
    int used = 0;
    for (int i = 0; i < found; ++i) {
        if (amplitude[i] < kShareOfStrongest * strongest || amplitude[i] < kOverNoise * noise)
            continue;
        weights += amplitude[i];
        sum += amplitude[i] * cents[i];
        squares += amplitude[i] * cents[i] * cents[i];
        ++used;
    }
    if (used < 2)
        return -1.0;
    const double mean = sum / weights;
    return std::sqrt(std::max(0.0, squares / weights - mean * mean));
}
