#include "SignalFactory.h"

#include <cmath>
#include <random>

double SignalFactory::midiToFrequency(int midi)
{
    return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

std::vector<double> SignalFactory::sine(double frequency, double seconds, double amplitude)
{
    const int n = static_cast<int>(seconds * kRate);
    std::vector<double> out(n);
    for (int i = 0; i < n; ++i)
        out[i] = amplitude * std::sin(2.0 * M_PI * frequency * i / kRate);
    return out;
}

std::vector<double> SignalFactory::twoNotes(double lead, double seconds, const Curve& hzA, const Curve& levelA,
                                            const Curve& hzB, const Curve& levelB)
{
    std::vector<double> out(static_cast<size_t>(lead * kRate), 0.0);
    double a = 0.0;
    double b = 0.0;
    for (int i = 0; i < static_cast<int>(seconds * kRate); ++i) {
        const double t = i / kRate;
        a += 2 * M_PI * hzA(t) / kRate;
        b += 2 * M_PI * hzB(t) / kRate;
        out.push_back(levelA(t) * (std::sin(a) + 0.5 * std::sin(2 * a) + 0.3 * std::sin(3 * a)) +
                      levelB(t) * (std::sin(b) + 0.5 * std::sin(2 * b) + 0.3 * std::sin(3 * b)));
    }
    return out;
}

std::vector<double> SignalFactory::sungTone(double frequency, double seconds, double amplitude, double vibratoCents)
{
    const int n = static_cast<int>(seconds * kRate);
    std::vector<double> out(n);
    const double harmonics[6] = {1.0, 0.6, 0.35, 0.2, 0.12, 0.07};
    double norm = 0.0;
    for (double h : harmonics)
        norm += h;
    double phase = 0.0;
    const int attack = static_cast<int>(0.03 * kRate);
    const int release = static_cast<int>(0.04 * kRate);
    for (int i = 0; i < n; ++i) {
        const double t = i / kRate;
        const double f = frequency * std::pow(2.0, vibratoCents / 1200.0 * std::sin(2.0 * M_PI * 5.5 * t));
        phase += 2.0 * M_PI * f / kRate;
        double v = 0.0;
        for (int h = 0; h < 6; ++h)
            v += harmonics[h] * std::sin((h + 1) * phase);
        double envelope = 1.0;
        if (i < attack)
            envelope = static_cast<double>(i) / attack;
        else if (i > n - release)
            envelope = static_cast<double>(n - i) / release;
        out[i] = amplitude * envelope * v / norm;
    }
    return out;
}

std::vector<double> SignalFactory::whiteNoise(double seconds, double dbfs, unsigned seed)
{
    const int n = static_cast<int>(seconds * kRate);
    std::vector<double> out(n);
    std::mt19937 generator(seed);
    // Uniform noise with the requested RMS level.
    const double rms = std::pow(10.0, dbfs / 20.0);
    std::uniform_real_distribution<double> uniform(-std::sqrt(3.0) * rms, std::sqrt(3.0) * rms);
    for (int i = 0; i < n; ++i)
        out[i] = uniform(generator);
    return out;
}

std::vector<double> SignalFactory::melody(const std::vector<Note>& notes, double totalSeconds, double noiseDbfs,
                                          unsigned seed)
{
    std::vector<double> out(static_cast<size_t>(totalSeconds * kRate), 0.0);
    for (const Note& note : notes) {
        if (note.midi <= 0)
            continue;
        const std::vector<double> tone = sungTone(midiToFrequency(note.midi), note.duration);
        const size_t start = static_cast<size_t>(note.start * kRate);
        for (size_t i = 0; i < tone.size() && start + i < out.size(); ++i)
            out[start + i] += tone[i];
    }
    if (noiseDbfs != 0.0) {
        const std::vector<double> noise = whiteNoise(totalSeconds, noiseDbfs, seed);
        for (size_t i = 0; i < out.size() && i < noise.size(); ++i)
            out[i] += noise[i];
    }
    return out;
}

std::vector<double> SignalFactory::voice(const std::vector<Note>& notes, double totalSeconds, double vibratoCents,
                                         double vibratoHz)
{
    std::vector<double> out(static_cast<size_t>(totalSeconds * kRate), 0.0);
    const double harmonics[6] = {1.0, 0.6, 0.35, 0.2, 0.12, 0.07};
    double phase = 0.0;
    for (const Note& note : notes) {
        const size_t start = static_cast<size_t>(note.start * kRate);
        for (size_t i = 0; i < static_cast<size_t>(note.duration * kRate) && start + i < out.size(); ++i) {
            const double t = i / kRate;
            const double fade = std::min(1.0, std::max(0.0, (t - 0.15) / 0.2));
            const double cents = -60.0 * std::exp(-t / 0.035) + vibratoCents * fade * std::sin(2.0 * M_PI * vibratoHz * t);
            phase += 2.0 * M_PI * midiToFrequency(note.midi) * std::pow(2.0, cents / 1200.0) / kRate;
            double v = 0.0;
            for (int h = 0; h < 6; ++h)
                v += harmonics[h] * std::sin((h + 1) * phase);
            const double envelope = std::min(1.0, t / 0.04) * std::min(1.0, std::max(0.0, (note.duration - t) / 0.06));
            out[start + i] += 0.2 * envelope * v;
        }
    }
    return out;
}

std::vector<double> SignalFactory::brownNoise(double seconds, double dbfs, unsigned seed)
{
    std::vector<double> out(static_cast<size_t>(seconds * kRate));
    std::mt19937 generator(seed);
    std::normal_distribution<double> white(0.0, 1.0);
    double level = 0.0, drift = 0.0, sum = 0.0;
    for (double& v : out) {
        level = 0.997 * level + white(generator);
        drift = 0.9995 * drift + 0.0005 * level;
        v = level - drift;
        sum += v * v;
    }
    const double scale = out.empty() ? 0.0 : std::pow(10.0, dbfs / 20.0) / std::sqrt(sum / out.size());
    for (double& v : out)
        v *= scale;
    return out;
}

std::vector<double> SignalFactory::claps(const std::vector<double>& times, double totalSeconds)
{
    std::vector<double> out(static_cast<size_t>(totalSeconds * kRate), 0.0);
    std::mt19937 generator(7);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (double time : times) {
        const size_t start = static_cast<size_t>(time * kRate);
        for (size_t i = 0; i < static_cast<size_t>(0.08 * kRate) && start + i < out.size(); ++i)
            out[start + i] += 0.6 * uniform(generator) * std::exp(-static_cast<double>(i) / (0.012 * kRate));
    }
    return out;
}
