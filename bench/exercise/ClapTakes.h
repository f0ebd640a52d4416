// Clapped answers with their ground truth: claps, desk taps, tongue clicks and a spoken "ta" placed
// on the notes of a rhythm, after the capture's 2 s lead-in, in room noise.
#pragma once

#include <QString>

#include <random>
#include <vector>

class ClapTakes {
public:
    static constexpr double kRate = 44100.0;
    static constexpr double kLead = 2.0;

    enum Kind { Clap, DeskTap, TongueClick, SpokenTa };

    // One sound, its attack at sample 0.
    static std::vector<double> clap(std::mt19937& rng, double peakDbfs, double decayMs);
    static std::vector<double> deskTap(std::mt19937& rng, double peakDbfs);
    static std::vector<double> tongueClick(std::mt19937& rng, double peakDbfs);
    // espeak-ng's "ta" in the given voice, from the first sample above 5 % of its peak, cut to the
    // 150 ms of a syllable said in time; empty when espeak-ng cannot be run.
    static std::vector<double> spokenTa(const QString& voice, double peakDbfs);
    // What the question's own playback leaking into the microphone sounds like: a decaying
    // harmonic tone on every note and a click on every beat.
    static std::vector<double> playbackLeak(const std::vector<double>& starts, double beat, double seconds,
                                            double peakDbfs);

    // Room noise (a low rumble, a mid band and a little white) at the given RMS; nothing below
    // -120 dBFS.
    static std::vector<double> roomNoise(size_t n, double rmsDbfs, std::mt19937& rng);

    // A rhythm: durations in quarter notes, the GMN of its answer and its note starts in seconds.
    struct Rhythm {
        const char* name;
        std::vector<double> quarters;
    };
    static QString gmn(const Rhythm& rhythm);
    static std::vector<double> starts(const Rhythm& rhythm, int tempo);
    static double length(const Rhythm& rhythm, int tempo);

    // The take: noise of `seconds` after the lead-in, each sound added at kLead + start.
    static std::vector<short> take(const std::vector<double>& noise, const std::vector<std::vector<double>>& sounds,
                                   const std::vector<double>& starts);
};
