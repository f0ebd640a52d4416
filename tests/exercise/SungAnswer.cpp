#include "SungAnswer.h"

#include <cmath>
#include <random>

namespace SungAnswer {

namespace {
const double kRate = 44100.0;
const double kTwoPi = 6.283185307179586;

// The gain of a resonance at f with its centre and bandwidth.
double formant(double f, double centre, double bandwidth)
{
    const double x = (f - centre) / bandwidth;
    return 1.0 / (1.0 + x * x);
}
}  // namespace

QVector<short> voice(const QList<Note>& notes, double seconds, unsigned seed)
{
    std::mt19937 random(seed);
    std::normal_distribution<double> breath(0.0, 1.0);
    QVector<double> mix(int(seconds * kRate), 0.0);
    for (const Note& note : notes) {
        const int first = int(note.start * kRate);
        const int count = int(note.duration * kRate);
        double phase = 0.0;
        for (int i = 0; i < count && first + i < mix.size(); ++i) {
            const double t = i / kRate;
            // light vibrato (5.5 Hz, 20 cents) after the attack
            const double cents = t > 0.15 ? 20.0 * std::sin(kTwoPi * 5.5 * (t - 0.15)) : 0.0;
            const double f = note.frequency * std::pow(2.0, cents / 1200.0);
            phase += kTwoPi * f / kRate;
            double v = 0.0;
            for (int k = 1; k * f < 5000.0; ++k) {
                const double shape = formant(k * f, 700.0, 150.0) + 0.5 * formant(k * f, 1200.0, 200.0) + 0.05;
                v += shape / k * std::sin(k * phase);
            }
            const double attack = std::min(1.0, t / 0.04);
            const double release = std::min(1.0, (note.duration - t) / 0.05);
            mix[first + i] += v * attack * release;
        }
    }
    double peak = 1e-9;
    for (double v : mix)
        peak = std::max(peak, std::fabs(v));
    QVector<short> out(mix.size());
    for (int i = 0; i < mix.size(); ++i)
        out[i] = short(std::lround(mix[i] / peak * 0.5 * 32767.0 + breath(random) * 3.0));
    return out;
}

QList<double> onsets(const QVector<short>& samples, double minGap)
{
    QList<double> out;
    const int gap = int(minGap * kRate);
    int quiet = gap;
    for (int i = 0; i < samples.size(); ++i) {
        if (std::abs(samples[i]) > 1000) {
            if (quiet >= gap)
                out << i / kRate;
            quiet = 0;
        } else {
            ++quiet;
        }
    }
    return out;
}

}  // namespace SungAnswer
