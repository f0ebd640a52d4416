#pragma once

#include "notation/NotationTimeSegment.h"

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
    // The notation engine's start and end dates.
    NotationTimeSegment guidoTimeSegment;

    double start() const { return timeSegment.first; }
    double end() const { return timeSegment.second; }
};
