#pragma once

#include <QString>

#include <vector>

// Sung takes made by sung-melodies.py beside this file (a singer other than BenchSinging's:
// scoops into every note, vibrato fading in late, repeats after a dip, legato and short gaps),
// read back with their notes and written as the answer score the exercise engine would load.
class BenchVoiceTakes {
public:
    struct Note {
        int midi;
        double start; // seconds from the start of the take
        double end;
        int startCents = 0; // a start this sharp that settles within 0.1 s (the sampled voice's)
    };
    struct Take {
        QString name;
        QString vowel;        // ah, oo, ee, eh
        int vibratoCents = 0; // extent of the vibrato once it has faded in
        std::vector<short> pcm;
        std::vector<Note> notes;
        int tempo = 0;           // quarter notes a minute
        std::vector<int> eighths; // each note's length in eighth notes
    };

    // Runs the generator into dir (count takes from seed, white room noise at noiseDbfs or none when
    // 0) unless dir already holds them; false when the generator cannot be run.
    static bool generate(const QString& dir, int count, unsigned seed, double noiseDbfs);
    // Every take in dir, in name order; a take whose timing fits no tempo of the generator is left
    // out with a line on standard error.
    static std::vector<Take> load(const QString& dir);
    // The answer score's GMN, one token per note.
    static QString gmn(const Take& take);

private:
    static bool fitTempo(Take& take);
};
