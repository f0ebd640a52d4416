#include "BenchSampledVoice.h"

#include "BenchSignals.h"

#include <QFileInfo>

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace {
constexpr int kRate = BenchSignals::kRate;
constexpr int kBlock = 64;     // samples between pitch-bend updates (1.5 ms)
constexpr double kBendCents = 200.0; // the wheel's range each way

constexpr double kSettle = 0.035; // seconds: the start's deviation falls to a twentieth in about 0.1 s

// How the voice sings one note.
struct Voicing {
    int velocity;
    double startCents; // > 0: starts sharp; < 0: a scoop from below; decays with kSettle
    double vibratoHz;
};

template <typename T>
T pick(std::mt19937& rng, std::initializer_list<T> values)
{
    std::uniform_int_distribution<size_t> d(0, values.size() - 1);
    return *(values.begin() + d(rng));
}

double uniform(std::mt19937& rng, double a, double b)
{
    return std::uniform_real_distribution<double>(a, b)(rng);
}

// The program's preset in bank 0 of the synthesiser's SoundFont; null when there is none.
fluid_preset_t* preset(fluid_synth_t* synth, int font, int program)
{
    return synth ? fluid_sfont_get_preset(fluid_synth_get_sfont_by_id(synth, font), 0, program) : nullptr;
}
} // namespace

QString BenchSampledVoice::name(const QString& soundFont, int program)
{
    int font = 0;
    const std::shared_ptr<fluid_synth_t> owner = BenchSignals::synth(soundFont, &font);
    fluid_preset_t* found = preset(owner.get(), font, program);
    return QString("%1 program %2 \"%3\"").arg(QFileInfo(soundFont).completeBaseName()).arg(program).arg(found ? fluid_preset_get_name(found) : "missing");
}

bool BenchSampledVoice::sing(const QString& soundFont, int program, std::vector<BenchVoiceTakes::Take>& takes, unsigned seed)
{
    int font = 0;
    const std::shared_ptr<fluid_synth_t> owner = BenchSignals::synth(soundFont, &font);
    fluid_synth_t* synth = owner.get();
    if (!preset(synth, font, program)) {
        fprintf(stderr, "no preset %d in the SoundFont %s\n", program, qPrintable(soundFont));
        return false;
    }
    std::mt19937 rng(seed * 7919u + 17u);
    for (BenchVoiceTakes::Take& take : takes) {
        std::vector<BenchVoiceTakes::Note>& notes = take.sung;
        std::vector<Voicing> voicings;
        for (BenchVoiceTakes::Note& note : notes) {
            const double startCents = uniform(rng, 0.0, 1.0) < 0.5 ? uniform(rng, 40.0, 100.0) : -60.0;
            voicings.push_back({std::uniform_int_distribution<int>(80, 110)(rng), startCents, uniform(rng, 4.8, 6.2)});
            note.startCents = static_cast<int>(std::lround(startCents));
        }
        const int vibratoCents = pick(rng, {0, 20, 35, 50});
        const double ownNoise = pick(rng, {-75.0, -60.0, -50.0});

        fluid_synth_system_reset(synth);
        for (int channel = 0; channel < 2; ++channel) {
            fluid_synth_program_change(synth, channel, program);
            fluid_synth_pitch_wheel_sens(synth, channel, static_cast<int>(kBendCents / 100));
        }
        const size_t length = static_cast<size_t>((std::max(notes.back().end, take.notes.back().end) + 1.0) * kRate);
        std::vector<double> out(length, 0.0);
        std::vector<float> left(kBlock), right(kBlock);
        std::vector<int> sounding(2, -1); // the note each channel bends
        size_t next = 0;
        for (size_t pos = 0; pos < length; pos += kBlock) {
            const double now = static_cast<double>(pos) / kRate;
            for (int channel = 0; channel < 2; ++channel) {
                const int i = sounding[channel];
                if (i >= 0 && now >= notes[i].end) {
                    fluid_synth_noteoff(synth, channel, notes[i].midi);
                    sounding[channel] = -1; // the release keeps the bend it had
                }
            }
            while (next < notes.size() && notes[next].start <= now) {
                const int channel = static_cast<int>(next % 2);
                sounding[channel] = static_cast<int>(next);
                fluid_synth_pitch_bend(synth, channel, 8192 + static_cast<int>(voicings[next].startCents / kBendCents * 8192));
                fluid_synth_noteon(synth, channel, notes[next].midi, voicings[next].velocity);
                ++next;
            }
            for (int channel = 0; channel < 2; ++channel) {
                const int i = sounding[channel];
                if (i < 0)
                    continue;
                const double t = now - notes[i].start;
                const double fade = std::min(1.0, std::max(0.0, (t - 0.15) / 0.2));
                const double cents = voicings[i].startCents * std::exp(-t / kSettle)
                                     + vibratoCents * fade * std::sin(2 * M_PI * voicings[i].vibratoHz * t);
                const int bend = 8192 + static_cast<int>(std::lround(cents / kBendCents * 8192));
                fluid_synth_pitch_bend(synth, channel, std::max(0, std::min(16383, bend)));
            }
            fluid_synth_write_float(synth, kBlock, left.data(), 0, 1, right.data(), 0, 1);
            for (size_t i = 0; i < static_cast<size_t>(kBlock) && pos + i < length; ++i)
                out[pos + i] = 0.5 * (left[i] + right[i]);
        }
        BenchSignals::normalise(out, 0.5);
        BenchSignals::addNoise(out, ownNoise, rng());

        take.name = QString("%1_v%2_n%3").arg(take.name).arg(vibratoCents).arg(-ownNoise);
        take.vowel = "oo";
        take.vibratoCents = vibratoCents;
        take.pcm.clear();
        for (double v : out)
            take.pcm.push_back(static_cast<short>(std::lround(std::max(-1.0, std::min(1.0, v)) * 32767)));
    }
    return true;
}
