#pragma once

#include <QtGlobal>

// A point of the notation engine's musical time, in whole notes (num / denom).
struct ScoreDate {
    int num = 0;
    int denom = 1;
    double toDouble() const { return denom ? double(num) / double(denom) : 0.0; }
};

// Start and end of an event in whole-note fractions.
struct ScoreTimeSegment {
    ScoreDate first;
    ScoreDate second;
};

// One note or rest of a score's first voice. Known as Score::NoteInfo.
struct ScoreNoteInfo {
    // 0 C .. 11 B; 12 for a rest and for the tied continuation of a note.
    int note = 12;
    // GMN octave (octave 1 holds the A of 440 Hz); 0 for a rest.
    int octave = 0;
    // Start and end in seconds at the score's tempo.
    struct {
        double first = 0.0;
        double second = 0.0;
    } timeSegment;
    ScoreTimeSegment guidoTimeSegment;

    double start() const { return timeSegment.first; }
    double end() const { return timeSegment.second; }
};
