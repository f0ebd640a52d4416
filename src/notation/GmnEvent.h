#pragma once

#include "notation/NotationDate.h"

#include <QString>
#include <QStringList>

// One event of a voice as the engine times it: a note, a rest, or an empty (silent, invisible) event.
// A written note that the engine draws as several tied notes (across a bar line, or a value no single
// note head can show) appears as one event per drawn piece, the later ones marked split.
struct GmnEvent {
    enum Kind { Note, Rest, Empty };

    Kind kind = Note;
    QString writtenName;  // as written ("cis", "h", "sol", "_", "empty")
    QString name;         // note letter "c".."b" (h is b); empty for rests and empty events
    int accidentals = 0;  // sharps positive, flats negative, from #, & and the "is" forms
    int octave = 1;       // GMN octave: octave 1 holds the A of 440 Hz
    int dots = 0;
    NotationDate duration;  // this event's length (a piece's own length when split)
    NotationDate start;
    NotationDate end;
    int chord = -1;        // events of one chord share a number; -1 outside chords
    int tieRange = 0;      // 0 outside ties; events of one tie range share a number from 1
    bool tieStart = false; // first event of its tie range
    bool split = false;    // a later piece of a written note the engine cut up
    int sourceOffset = -1; // character offset of the written event in the code
    int voice = 1;         // voice of the score, from 1
    bool grace = false;    // a grace note: drawn at the next event's time, taking none of its own
    QStringList rangeTags; // names of the range tags around the event, outermost first

    bool isNote() const { return kind == Note; }
    // Semitone 0 (C) to 11 (B) with the accidentals applied; -1 for rests and empty events.
    int pitchClass() const;
    // MIDI note number (c1 is 60); -1 for rests and empty events.
    int midiPitch() const;
};
