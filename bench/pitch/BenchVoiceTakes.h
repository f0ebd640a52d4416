#pragma once

#include <QString>

#include <vector>

// Sung takes made by the generators beside this file: sung-melodies.py (melodies sung as written)
// and sung-deviations.py (the same voice singing what the melody does not ask, with controls). A
// take is read back with the melody it was asked, what was sung and, unless written with the
// notes only, the generator's own voice (a singer other than BenchSinging's: scoops into every
// note, vibrato fading in late, legato and short gaps).
class BenchVoiceTakes {
public:
    struct Note {
        int midi;
        double start; // seconds from the start of the take
        double end;
        int startCents = 0; // a start this sharp that settles within 0.1 s (the recorded voices')
    };
    struct Take {
        QString name;
        QString vowel;        // ah, oo, ee, eh
        int vibratoCents = 0; // extent of the vibrato once it has faded in
        std::vector<short> pcm;
        std::vector<Note> notes;  // the melody as written
        std::vector<Note> sung;   // what was sung: the melody itself unless a deviation
        QString deviation;        // sung-deviations.py's case (hold, wrong+1, ...); empty when sung as written
        int at = -1;              // the melody's note the deviation is at
        int tempo = 0;            // quarter notes a minute
        std::vector<int> eighths; // each written note's length in eighth notes
    };

    struct Run {
        QString dir;
        unsigned seed;
    };
    // Runs a generator for each run at once (count takes, or count a case, from its seed into its
    // folder) unless the folder already holds them; with notesOnly the melodies are written but not
    // sung. False when one cannot be run.
    static bool generate(const QString& script, const std::vector<Run>& runs, int count, bool notesOnly);
    // Every take in dir, in name order, with its audio when it has some; a take that cannot be
    // read is left out with a line on standard error.
    static std::vector<Take> load(const QString& dir);
};
