#include "BenchSignals.h"

#include <fluidsynth.h>

#include <QFile>

#include <algorithm>
#include <cmath>
#include <random>

std::vector<BenchSignals::Note> BenchSignals::melody(unsigned seed)
{
    // A walk of 24 notes within C3..C5, with repeats and leaps, mixed lengths.
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> step(-5, 5);
    std::uniform_int_distribution<int> length(0, 2);
    const double lengths[3] = {0.35, 0.5, 0.7};
    std::vector<Note> notes;
    int midi = 60;
    double t = 0.5;
    for (int i = 0; i < 24; ++i) {
        const double duration = lengths[length(generator)];
        notes.push_back({midi, t, duration});
        t += duration + 0.08;
        midi += step(generator);
        if (midi < 48)
            midi = 48 + (48 - midi);
        if (midi > 72)
            midi = 72 - (midi - 72);
    }
    return notes;
}

std::vector<double> BenchSignals::renderSynthetic(const std::vector<Note>& notes, bool harmonic, double seconds)
{
    std::vector<double> out(static_cast<size_t>(seconds * kRate), 0.0);
    const double weights[6] = {1.0, 0.6, 0.35, 0.2, 0.12, 0.07};
    const int partials = harmonic ? 6 : 1;
    for (const Note& note : notes) {
        const double f0 = 440.0 * std::pow(2.0, (note.midi - 69) / 12.0);
        const size_t start = static_cast<size_t>(note.start * kRate);
        const int n = static_cast<int>(note.duration * kRate);
        const int ramp = static_cast<int>(0.02 * kRate);
        double phase = 0.0;
        for (int i = 0; i < n && start + i < out.size(); ++i) {
            // Harmonic tones sing with a 5.5 Hz vibrato of 25 cents.
            const double f = harmonic ? f0 * std::pow(2.0, 25.0 / 1200 * std::sin(2 * M_PI * 5.5 * i / kRate)) : f0;
            phase += 2 * M_PI * f / kRate;
            double v = 0.0;
            double norm = 0.0;
            for (int h = 0; h < partials; ++h) {
                v += weights[h] * std::sin((h + 1) * phase);
                norm += weights[h];
            }
            double envelope = 1.0;
            if (i < ramp)
                envelope = static_cast<double>(i) / ramp;
            else if (i > n - ramp)
                envelope = static_cast<double>(n - i) / ramp;
            out[start + i] += 0.5 * envelope * v / norm;
        }
    }
    return out;
}

std::shared_ptr<fluid_synth_t> BenchSignals::synth(const QString& soundFont, int* font)
{
    fluid_settings_t* settings = new_fluid_settings();
    fluid_settings_setnum(settings, "synth.sample-rate", kRate);
    fluid_settings_setint(settings, "synth.reverb.active", 0);
    fluid_settings_setint(settings, "synth.chorus.active", 0);
    std::shared_ptr<fluid_synth_t> synth(new_fluid_synth(settings), [settings](fluid_synth_t* s) {
        delete_fluid_synth(s);
        delete_fluid_settings(settings);
    });
    *font = fluid_synth_sfload(synth.get(), soundFont.toLocal8Bit().constData(), 1);
    return *font == FLUID_FAILED ? nullptr : synth;
}

std::vector<double> BenchSignals::renderPatch(const std::vector<Note>& notes, int program, double seconds,
                                              const QString& soundFont)
{
    int font = 0;
    const std::shared_ptr<fluid_synth_t> owner = BenchSignals::synth(soundFont, &font);
    std::vector<double> out;
    if (!owner)
        return out;
    fluid_synth_t* synth = owner.get();
    fluid_synth_program_change(synth, 0, program);
    struct Event {
        size_t sample;
        bool on;
        int midi;
    };
    std::vector<Event> events;
    for (const Note& note : notes) {
        events.push_back({static_cast<size_t>(note.start * kRate), true, note.midi});
        events.push_back({static_cast<size_t>((note.start + note.duration) * kRate), false, note.midi});
    }
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return a.sample < b.sample || (a.sample == b.sample && !a.on && b.on);
    });
    const size_t total = static_cast<size_t>(seconds * kRate);
    out.assign(total, 0.0);
    std::vector<float> left(64), right(64);
    size_t next = 0;
    for (size_t pos = 0; pos < total; pos += 64) {
        while (next < events.size() && events[next].sample < pos + 64) {
            if (events[next].on)
                fluid_synth_noteon(synth, 0, events[next].midi, 100);
            else
                fluid_synth_noteoff(synth, 0, events[next].midi);
            ++next;
        }
        fluid_synth_write_float(synth, 64, left.data(), 0, 1, right.data(), 0, 1);
        for (size_t i = 0; i < 64 && pos + i < total; ++i)
            out[pos + i] = 0.5 * (left[i] + right[i]);
    }
    return out;
}

void BenchSignals::normalise(std::vector<double>& samples, double peak)
{
    double largest = 0.0;
    for (double v : samples)
        largest = std::max(largest, std::fabs(v));
    if (largest <= 0.0)
        return;
    for (double& v : samples)
        v *= peak / largest;
}

void BenchSignals::addNoise(std::vector<double>& samples, double dbfs, unsigned seed)
{
    std::mt19937 generator(seed);
    const double rms = std::pow(10.0, dbfs / 20.0);
    std::uniform_real_distribution<double> uniform(-std::sqrt(3.0) * rms, std::sqrt(3.0) * rms);
    for (double& v : samples)
        v += uniform(generator);
}

const char* BenchSignals::colourName(Colour colour)
{
    return colour == Pink ? "pink" : colour == Brown ? "brown" : "white";
}

void BenchSignals::addNoise(std::vector<double>& samples, double dbfs, Colour colour, unsigned seed)
{
    if (colour == White) {
        addNoise(samples, dbfs, seed);
        return;
    }
    std::mt19937 generator(seed);
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::vector<double> noise(samples.size());
    double b[7] = {};
    double level = 0.0, dc = 0.0;
    for (double& v : noise) {
        const double w = gauss(generator);
        if (colour == Pink) {
            // Sum of first-order filters, within 0.5 dB of -3 dB per octave over the audio band.
            b[0] = 0.99886 * b[0] + w * 0.0555179;
            b[1] = 0.99332 * b[1] + w * 0.0750759;
            b[2] = 0.96900 * b[2] + w * 0.1538520;
            b[3] = 0.86650 * b[3] + w * 0.3104856;
            b[4] = 0.55000 * b[4] + w * 0.5329522;
            b[5] = -0.7616 * b[5] - w * 0.0168980;
            v = b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + w * 0.5362;
            b[6] = w * 0.115926;
        } else {
            // Leaky integration (a pole near 20 Hz), its slow drift taken out.
            level = 0.997 * level + w;
            dc = 0.9995 * dc + 0.0005 * level;
            v = level - dc;
        }
    }
    scaleToRms(noise, dbfs);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] += noise[i];
}

void BenchSignals::scaleToRms(std::vector<double>& samples, double dbfs)
{
    double sum = 0.0;
    for (double v : samples)
        sum += v * v;
    const double rms = std::sqrt(sum / std::max<size_t>(1, samples.size()));
    if (rms <= 0.0)
        return;
    const double k = std::pow(10.0, dbfs / 20.0) / rms;
    for (double& v : samples)
        v *= k;
}

bool BenchSignals::writeWav(const QString& path, const std::vector<double>& samples)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    auto u32 = [&file](quint32 v) { file.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&file](quint16 v) { file.write(reinterpret_cast<const char*>(&v), 2); };
    const quint32 dataBytes = static_cast<quint32>(samples.size() * 2);
    file.write("RIFF");
    u32(36 + dataBytes);
    file.write("WAVEfmt ");
    u32(16);
    u16(1);
    u16(1);
    u32(kRate);
    u32(kRate * 2);
    u16(2);
    u16(16);
    file.write("data");
    u32(dataBytes);
    std::vector<qint16> pcm(samples.size());
    for (size_t i = 0; i < samples.size(); ++i)
        pcm[i] = static_cast<qint16>(std::lround(std::max(-1.0, std::min(1.0, samples[i])) * 32767.0));
    file.write(reinterpret_cast<const char*>(pcm.data()), static_cast<qint64>(pcm.size() * 2));
    return true;
}
