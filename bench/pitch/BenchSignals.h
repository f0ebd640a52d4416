#pragma once

#include <QString>

#include <fluidsynth.h>

#include <memory>
#include <vector>

// The benchmark's test set: one melody from C3 to C5 rendered as sines, harmonic tones and
// through FluidSynth on several General MIDI patches, clean or with white noise.
class BenchSignals {
public:
    struct Note {
        int midi;
        double start;
        double duration;
    };
    struct Take {
        QString name;      // e.g. "flute-n45"
        QString source;    // "sine", "harmonic" or a patch name
        double noiseDbfs;  // 0 for clean
        std::vector<double> samples;
    };

    static constexpr int kRate = 44100;

    static std::vector<Note> melody(unsigned seed);
    static std::vector<double> renderSynthetic(const std::vector<Note>& notes, bool harmonic, double seconds);
    // A synthesiser at the bench's rate without reverb or chorus, the SoundFont loaded (its id in
    // font); null when the SoundFont cannot be loaded.
    static std::shared_ptr<fluid_synth_t> synth(const QString& soundFont, int* font);
    // Empty when the SoundFont cannot be loaded.
    static std::vector<double> renderPatch(const std::vector<Note>& notes, int program, double seconds,
                                           const QString& soundFont);
    static void addNoise(std::vector<double>& samples, double dbfs, unsigned seed);
    // Room noise of a colour at an RMS level: white (as addNoise), pink (3 dB less per octave) or
    // brown (6 dB less per octave above 20 Hz: rumble).
    enum Colour { White, Pink, Brown };
    static const char* colourName(Colour colour);
    static void addNoise(std::vector<double>& samples, double dbfs, Colour colour, unsigned seed);
    static void normalise(std::vector<double>& samples, double peak);
    // Scales samples to an RMS level (none stays none).
    static void scaleToRms(std::vector<double>& samples, double dbfs);
    static bool writeWav(const QString& path, const std::vector<double>& samples);
};
