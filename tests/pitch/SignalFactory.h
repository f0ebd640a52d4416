#pragma once

#include <QVector>

#include <functional>
#include <vector>

// Synthetic test signals at 44100 Hz, as doubles in -1..1.
class SignalFactory {
public:
    struct Note {
        int midi;        // 0 for a rest
        double start;    // seconds
        double duration; // seconds
    };

    static constexpr double kRate = 44100.0;

    static std::vector<double> sine(double frequency, double seconds, double amplitude = 0.5);
    // A sung-like tone: six harmonics, vibrato, soft attack and release.
    static std::vector<double> sungTone(double frequency, double seconds, double amplitude = 0.5,
                                        double vibratoCents = 25.0);
    // Notes placed on a silent timeline of the given length, with white noise at noiseDbfs
    // (no noise when noiseDbfs is 0).
    static std::vector<double> melody(const std::vector<Note>& notes, double totalSeconds, double noiseDbfs = 0.0,
                                      unsigned seed = 1);
    // A singer's notes: each with its own 40 ms rise and 60 ms fall (notes back to back dip between),
    // a 60-cent scoop into the note and vibrato of +-vibratoCents fading in from 0.15 to 0.35 s.
    static std::vector<double> voice(const std::vector<Note>& notes, double totalSeconds, double vibratoCents,
                                     double vibratoHz = 5.0);
    // Two notes of three harmonics (1, 0.5, 0.3) sounding together after `lead` seconds of silence, as
    // a new note struck over the last one's release: each follows its own pitch in Hz and level, both
    // functions of the time since the lead ended.
    using Curve = std::function<double(double)>;
    static std::vector<double> twoNotes(double lead, double seconds, const Curve& hzA, const Curve& levelA,
                                        const Curve& hzB, const Curve& levelB);
    static std::vector<double> whiteNoise(double seconds, double dbfs, unsigned seed = 1);
    // Rumble: noise falling 6 dB per octave above about 20 Hz, at an RMS level.
    static std::vector<double> brownNoise(double seconds, double dbfs, unsigned seed = 1);
    // Short noise bursts with fast decay at the given times.
    static std::vector<double> claps(const std::vector<double>& times, double totalSeconds);
    static double midiToFrequency(int midi);
};
