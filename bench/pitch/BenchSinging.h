#pragma once

#include <QString>

#include <vector>

// Voice-like sung melodies and clapped rhythms with their ground truth. A glottal-like harmonic
// source shaped by vowel formants, with vibrato and tremolo, scoops into notes, legato
// transitions, re-articulated repeats, deliberately wrong notes, breaths and room noise.
class BenchSinging {
public:
    // Ranges: bass G2..D4, male C3..G4, female G3..D5, soprano F4..G5.
    enum Voice { Male, Female, Bass, Soprano };
    // Vowels by formants: a, e ("eh"), i ("ee"), o, u ("oo"), ih, uh.
    static constexpr int kVowelCount = 7;
    static const char* vowelName(int vowel);

    struct Note {
        int expected;    // MIDI note the exercise expects
        int sung;        // MIDI note actually sung (differs on deliberately wrong notes)
        double start;    // seconds from the start of the take (the onset of the attack)
        double duration; // seconds
        int vowel;
    };

    struct Options {
        Voice voice = Male;
        bool legato = false;
        double vibratoCents = 30.0; // extent (+-) of the vibrato
        double vibratoHz = 5.5;
        double roomDbfs = -60.0;    // room noise, present from the first sample
        double breathDbfs = -55.0;  // inhalation noise between phrases
        double leadIn = 2.0;        // room noise only, before the first note (the engine's capture lead-in)
        int vowel = -1;             // 0..4 a e i o u for every note, or -1: the vowels in turn
        std::vector<int> vowels;    // when not empty, these vowels in turn (overrides vowel)
        double gapMin = 0.06;       // detached notes: silence before the next note, seconds
        double gapMax = 0.15;
        double joinShare = 1.0;     // legato: share of steps sung without a break; the others leave gapMin..gapMax
        double tempo = 90.0;        // quarter notes a minute
        bool shortNotes = false;    // mostly eighths and quarters instead of eighth to half notes
        double repeatShare = 0.15;  // share of notes that repeat the one before
        bool silent = false;        // the room alone, no voice
        double wrongShare = 0.15;   // share of notes sung wrong on purpose
        unsigned seed = 1;
    };

    struct Take {
        std::vector<double> samples;
        std::vector<Note> notes;
        double tempoBeat = 0.5; // seconds per quarter note of the score the melody is written in
        std::vector<int> eighths; // each note's length in eighth notes, for the score
    };

    struct Clap {
        std::vector<double> samples;
        std::vector<double> times;
    };

    static constexpr int kRate = 44100;

    static Take sing(const Options& options);
    // One steady vowel without vibrato, 20 ms ramps, peak 0.5.
    static std::vector<double> vowelTone(double frequency, Voice voice, int vowel, double seconds);
    static Clap clap(unsigned seed, double roomDbfs);
};
