#include "BenchSinging.h"

#include "BenchSignals.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace {

// Raised-cosine ramp from 0 to 1 over x in 0..1.
double ramp(double x)
{
    if (x <= 0.0)
        return 0.0;
    if (x >= 1.0)
        return 1.0;
    return 0.5 - 0.5 * std::cos(M_PI * x);
}

struct Formants {
    double f[4];
    double b[4];
};

// Adult male vowels a, e, i, o, u ("oo"), ih, uh; a bass lowers them by 5 %, a female voice raises
// them by 17 %, a soprano by 22 %.
const Formants kVowels[BenchSinging::kVowelCount] = {
    {{730, 1090, 2440, 3400}, {90, 110, 170, 250}},
    {{530, 1840, 2480, 3500}, {70, 100, 160, 250}},
    {{270, 2290, 3010, 3700}, {60, 100, 170, 250}},
    {{570, 840, 2410, 3400}, {70, 90, 160, 250}},
    {{300, 870, 2240, 3300}, {60, 90, 150, 250}},
    {{390, 1990, 2550, 3600}, {60, 100, 160, 250}},
    {{640, 1190, 2390, 3400}, {80, 100, 160, 250}},
};

double formantScale(BenchSinging::Voice voice)
{
    switch (voice) {
    case BenchSinging::Bass:
        return 0.95;
    case BenchSinging::Female:
        return 1.17;
    case BenchSinging::Soprano:
        return 1.22;
    default:
        return 1.0;
    }
}

// Magnitude of a cascade of second-order resonances, 1 at 0 Hz.
double formantGain(const Formants& v, double f)
{
    double g = 1.0;
    for (int k = 0; k < 4; ++k) {
        const double fk = v.f[k];
        const double d = (fk * fk - f * f);
        g *= fk * fk / std::sqrt(d * d + (v.b[k] * f) * (v.b[k] * f));
    }
    return g;
}

double dbToLinear(double db)
{
    return std::pow(10.0, db / 20.0);
}

// Room noise: mostly low-frequency rumble and a little hiss, like a quiet room through a cheap
// microphone.
std::vector<double> roomNoise(size_t n, double dbfs, std::mt19937& rng)
{
    std::normal_distribution<double> white(0.0, 1.0);
    std::vector<double> out(n);
    double low = 0.0, mid = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double w = white(rng);
        low = 0.985 * low + 0.015 * w;
        mid = 0.8 * mid + 0.2 * w;
        out[i] = 6.0 * low + 0.8 * mid + 0.15 * w;
    }
    BenchSignals::scaleToRms(out, dbfs);
    return out;
}

} // namespace

const char* BenchSinging::vowelName(int vowel)
{
    static const char* const names[kVowelCount] = {"a", "eh", "ee", "o", "oo", "ih", "uh"};
    return vowel >= 0 && vowel < kVowelCount ? names[vowel] : "?";
}

BenchSinging::Take BenchSinging::sing(const Options& o)
{
    std::mt19937 rng(o.seed * 7919u + (o.legato ? 1u : 0u) + (o.voice == Female ? 2u : 0u) + (o.voice == Bass ? 4u : 0u) +
                     (o.voice == Soprano ? 8u : 0u));
    auto uniform = [&rng](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
    auto chance = [&](double p) { return uniform(0.0, 1.0) < p; };

    Take take;
    take.tempoBeat = 60.0 / o.tempo;
    const double eighth = take.tempoBeat / 2.0;

    // The melody as written: 20 notes, steps up to a fourth, some repeats.
    // Wrong notes stay in the range too.
    const int lows[] = {48, 55, 43, 65};
    const int highs[] = {67, 74, 62, 79};
    const int low = lows[o.voice];
    const int high = highs[o.voice];
    const int count = 20;
    std::vector<int> expected;
    int midi = (low + high) / 2;
    for (int i = 0; i < count; ++i) {
        expected.push_back(midi);
        int step = chance(o.repeatShare) ? 0 : std::uniform_int_distribution<int>(1, 5)(rng) * (chance(0.5) ? 1 : -1);
        if (midi + step < low || midi + step > high)
            step = -step;
        midi += step;
    }
    const int longer[] = {1, 2, 2, 2, 3, 4};
    const int shorter[] = {1, 1, 1, 2, 2, 3};
    const int* lengths = o.shortNotes ? shorter : longer;
    std::vector<int> sung = expected;
    for (int i = 0; i < count; ++i)
        take.eighths.push_back(lengths[std::uniform_int_distribution<int>(0, 5)(rng)]);

    // Deliberate wrong notes: never the first, never inside a repeat, and never the pitch class of a
    // neighbour (that would be a repeat the melody does not ask for).
    const int wrongSteps[] = {-5, -4, -3, -2, -1, 1, 2, 3, 4, 5};
    for (int i = 1; i < count - 1; ++i) {
        if (!chance(o.wrongShare) || expected[i] == expected[i - 1] || expected[i] == expected[i + 1])
            continue;
        for (int attempt = 0; attempt < 10; ++attempt) {
            const int candidate = expected[i] + wrongSteps[std::uniform_int_distribution<int>(0, 9)(rng)];
            if (candidate >= low && candidate <= high && candidate % 12 != sung[i - 1] % 12 && candidate % 12 != sung[i + 1] % 12 &&
                candidate % 12 != expected[i] % 12) {
                sung[i] = candidate;
                break;
            }
        }
    }

    // Timing: each note fills its written length when legato; detached notes leave 60-150 ms; a phrase
    // of 4-6 notes ends with a breath; repeats are re-articulated with a short break.
    struct Plan {
        double start, end;
        bool joined;  // legato from the previous note
        double scoopCents, scoopSeconds, glideSeconds, attack, release, level, vibratoPhase;
        int vowel;
    };
    std::vector<Plan> plan(count);
    std::vector<bool> breathAfter(count, false);
    int phraseLeft = std::uniform_int_distribution<int>(4, 6)(rng);
    double t = o.leadIn;
    bool joinNext = true;
    for (int i = 0; i < count; ++i) {
        Plan& p = plan[i];
        const double slot = take.eighths[i] * eighth;
        p.start = t;
        p.joined = o.legato && i > 0 && !breathAfter[i - 1] && sung[i] != sung[i - 1] && expected[i] != expected[i - 1];
        p.joined = p.joined && joinNext;
        const bool repeatNext = i + 1 < count && (expected[i + 1] == expected[i] || sung[i + 1] == sung[i]);
        if (--phraseLeft <= 0 && i + 1 < count && take.eighths[i] >= 2) {
            breathAfter[i] = true;
            phraseLeft = std::uniform_int_distribution<int>(4, 6)(rng);
        }
        // A legato note before one not joined to it leaves a short break.
        double gap = 0.0;
        joinNext = true;
        if (breathAfter[i])
            gap = 0.25;
        else if (!o.legato)
            gap = uniform(o.gapMin, std::max(o.gapMin, std::min(o.gapMax, slot - 0.25)));
        else if (repeatNext)
            gap = uniform(0.04, 0.07);
        else if (o.joinShare < 1.0 && !(joinNext = chance(o.joinShare)))
            gap = uniform(o.gapMin, o.gapMax);
        p.end = t + slot - gap;
        p.scoopCents = chance(0.35) ? uniform(50.0, 150.0) : 0.0;
        p.scoopSeconds = uniform(0.06, 0.12);
        p.glideSeconds = uniform(0.04, 0.07);
        p.attack = o.legato ? uniform(0.04, 0.08) : uniform(0.02, 0.06);
        p.release = uniform(0.03, 0.06);
        p.level = dbToLinear(uniform(-4.0, 0.0));
        p.vibratoPhase = uniform(0.0, 2 * M_PI);
        p.vowel = !o.vowels.empty() ? o.vowels[i % o.vowels.size()] : o.vowel >= 0 ? o.vowel : (i % 5);
        take.notes.push_back({expected[i], sung[i], p.start, p.end - p.start, p.vowel});
        t += slot;
    }
    const size_t total = static_cast<size_t>((t + 1.0) * kRate);

    // Pitch (cents), amplitude and vowel per sample.
    std::vector<double> cents(total, 0.0), amp(total, 0.0);
    std::vector<int> vowelA(total, 0), vowelB(total, 0);
    std::vector<double> vowelMix(total, 1.0);
    std::normal_distribution<double> gauss(0.0, 1.0);
    double jitter = 0.0;
    const double vibratoDepth = o.vibratoCents;
    const double tremolo = vibratoDepth > 0.0 ? uniform(0.05, 0.18) : 0.0;
    for (int i = 0; i < count; ++i) {
        const Plan& p = plan[i];
        const size_t a = static_cast<size_t>(p.start * kRate);
        const size_t b = std::min(total, static_cast<size_t>(p.end * kRate));
        const double depth = vibratoDepth * uniform(0.8, 1.0);
        const double rate = o.vibratoHz * uniform(0.95, 1.05);
        const double previousLevel = i > 0 ? plan[i - 1].level : p.level;
        // A legato note runs into the next without a release; the voice dips 0-3 dB at the change.
        const bool joinedNext = i + 1 < count && plan[i + 1].joined;
        const double dip = 1.0 - dbToLinear(-uniform(0.0, 3.0));
        for (size_t s = a; s < b; ++s) {
            const double tau = (s - a) / static_cast<double>(kRate);
            const double left = (b - s) / static_cast<double>(kRate);
            const double target = sung[i] * 100.0;
            double c = target;
            double glide = 1.0;
            if (p.joined) {
                glide = ramp(tau / p.glideSeconds);
                c = sung[i - 1] * 100.0 + (target - sung[i - 1] * 100.0) * glide;
            }
            c -= p.scoopCents * (1.0 - ramp(tau / p.scoopSeconds)) * glide;
            // Vibrato sets in after 150-400 ms; in legato its phase runs on across notes.
            const double phase = o.legato ? 2 * M_PI * rate * s / kRate : 2 * M_PI * rate * tau + p.vibratoPhase;
            const double vibrato = std::sin(phase) * ramp((tau - 0.15) / 0.25);
            jitter = 0.995 * jitter + 0.1 * gauss(rng);
            c += depth * vibrato + jitter;
            cents[s] = c;

            double envelope;
            if (p.joined)
                envelope = previousLevel + (p.level - previousLevel) * ramp(tau / p.glideSeconds);
            else
                envelope = p.level * ramp(tau / p.attack);
            if (p.joined)
                envelope *= 1.0 - dip * std::sin(M_PI * std::min(1.0, tau / p.glideSeconds));
            if (!joinedNext)
                envelope *= ramp(left / p.release);
            envelope *= 1.0 + tremolo * vibrato;
            amp[s] = envelope;
            vowelB[s] = p.vowel;
            vowelA[s] = p.joined ? plan[i - 1].vowel : p.vowel;
            vowelMix[s] = p.joined ? ramp(tau / 0.08) : 1.0;
        }
    }

    // Glottal-like source: harmonics falling 12 dB per octave, less 6 dB of lip radiation, through
    // the formants; gains refreshed every 32 samples.
    std::vector<double> voice(total, 0.0);
    double phase = 0.0;
    const double scale = formantScale(o.voice);
    std::vector<double> gains(80, 0.0);
    for (size_t s = 0; s < total; ++s) {
        if (amp[s] <= 0.0) {
            phase = 0.0;
            continue;
        }
        const double f0 = 440.0 * std::pow(2.0, (cents[s] / 100.0 - 69.0) / 12.0);
        const int harmonics = std::min(79, static_cast<int>(5500.0 / f0));
        if (s % 32 == 0 || amp[s - 1] <= 0.0) {
            Formants va = kVowels[vowelA[s]], vb = kVowels[vowelB[s]], v;
            for (int k = 0; k < 4; ++k) {
                v.f[k] = scale * (va.f[k] + (vb.f[k] - va.f[k]) * vowelMix[s]);
                v.b[k] = va.b[k] + (vb.b[k] - va.b[k]) * vowelMix[s];
            }
            // Singers keep their loudness across vowels and pitches: every note has the same power.
            double power = 0.0;
            for (int h = 1; h <= harmonics; ++h) {
                gains[h] = formantGain(v, h * f0) / h;
                power += gains[h] * gains[h];
            }
            for (int h = 1; h <= harmonics; ++h)
                gains[h] /= std::sqrt(power);
        }
        phase += 2 * M_PI * f0 / kRate;
        if (phase > 2 * M_PI)
            phase -= 2 * M_PI;
        // sin(h x) by the Chebyshev recurrence.
        const double c2 = 2.0 * std::cos(phase);
        double s0 = 0.0, s1 = std::sin(phase), sum = 0.0;
        for (int h = 1; h <= harmonics; ++h) {
            sum += gains[h] * s1;
            const double next = c2 * s1 - s0;
            s0 = s1;
            s1 = next;
        }
        voice[s] = amp[s] * sum;
    }
    // Aspiration noise rides on the voice, 30 dB under it.
    {
        double largest = 0.0;
        for (double v : voice)
            largest = std::max(largest, std::fabs(v));
        const double peak = dbToLinear(uniform(-12.0, -6.0));
        double hp = 0.0, previous = 0.0;
        for (size_t s = 0; s < total; ++s) {
            voice[s] *= largest > 0.0 ? peak / largest : 0.0;
            const double w = gauss(rng);
            hp = 0.9 * (hp + w - previous);
            previous = w;
            voice[s] += amp[s] * peak * 0.03 * 0.3 * hp;
        }
    }
    // Breaths between phrases and room noise throughout.
    std::vector<double> room = roomNoise(total, o.roomDbfs, rng);
    for (int i = 0; i < count; ++i) {
        if (!breathAfter[i])
            continue;
        const size_t a = static_cast<size_t>((plan[i].end + 0.03) * kRate);
        const size_t n = static_cast<size_t>(0.18 * kRate);
        std::vector<double> breath(n);
        double lp = 0.0;
        for (size_t k = 0; k < n; ++k) {
            lp = 0.7 * lp + 0.3 * gauss(rng);
            breath[k] = (gauss(rng) * 0.5 + lp) * std::sin(M_PI * k / n);
        }
        BenchSignals::scaleToRms(breath, o.breathDbfs);
        for (size_t k = 0; k < n && a + k < total; ++k)
            voice[a + k] += breath[k];
    }
    take.samples.resize(total);
    for (size_t s = 0; s < total; ++s)
        take.samples[s] = (o.silent ? 0.0 : voice[s]) + room[s];
    return take;
}

std::vector<double> BenchSinging::vowelTone(double frequency, Voice voice, int vowel, double seconds)
{
    Formants v = kVowels[vowel];
    for (double& f : v.f)
        f *= formantScale(voice);
    const size_t n = static_cast<size_t>(seconds * kRate);
    std::vector<double> out(n);
    double largest = 0.0;
    const int harmonics = std::min(79, static_cast<int>(5500.0 / frequency));
    for (size_t s = 0; s < n; ++s) {
        const double phase = 2 * M_PI * frequency * s / kRate;
        double sum = 0.0;
        for (int h = 1; h <= harmonics; ++h)
            sum += formantGain(v, h * frequency) / h * std::sin(h * phase);
        const double time = s / static_cast<double>(kRate);
        out[s] = sum * ramp(time / 0.02) * ramp((seconds - time) / 0.02);
        largest = std::max(largest, std::fabs(out[s]));
    }
    for (double& x : out)
        x *= 0.5 / largest;
    return out;
}

BenchSinging::Clap BenchSinging::clap(unsigned seed, double roomDbfs)
{
    std::mt19937 rng(seed * 104729u + 3u);
    auto uniform = [&rng](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
    std::normal_distribution<double> gauss(0.0, 1.0);
    Clap clap;
    double t = 2.0;
    for (int i = 0; i < 24; ++i) {
        clap.times.push_back(t);
        t += std::uniform_int_distribution<int>(1, 4)(rng) * 0.2;
    }
    const size_t total = static_cast<size_t>((t + 1.0) * kRate);
    clap.samples = roomNoise(total, roomDbfs, rng);
    for (double at : clap.times) {
        // Each clap its own colour: a one-pole low-pass mixed with its high-pass remainder.
        const double pole = uniform(0.05, 0.85);
        const double brightness = uniform(0.0, 1.0);
        const double decay = uniform(0.004, 0.015);
        const double peak = dbToLinear(uniform(-18.0, -6.0));
        const size_t a = static_cast<size_t>(at * kRate);
        const size_t n = static_cast<size_t>(0.08 * kRate);
        double lp = 0.0;
        std::vector<double> burst(n);
        double largest = 0.0;
        for (size_t k = 0; k < n; ++k) {
            const double w = gauss(rng);
            lp = pole * lp + (1.0 - pole) * w;
            const double coloured = (1.0 - brightness) * lp + brightness * (w - lp);
            const double time = k / static_cast<double>(kRate);
            burst[k] = coloured * std::min(1.0, time / 0.0008) * std::exp(-time / decay);
            largest = std::max(largest, std::fabs(burst[k]));
        }
        for (size_t k = 0; k < n && a + k < total; ++k)
            clap.samples[a + k] += burst[k] * peak / largest;
    }
    return clap;
}
