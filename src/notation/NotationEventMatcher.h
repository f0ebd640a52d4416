#pragma once

#include "notation/GmnEvent.h"
#include "notation/NotationMapEntry.h"

#include <QList>

// Pairs the events of a voice, as the reader gives them, with the entries of the engine's voice map,
// which list the notes of one chord in an order of their own (not the written one, and not the same
// in every layout) and leave out some chord notes (the heads set beside the stem in a second).
// Notes of one onset are paired by where they sit on the staff, so a note gets its own rectangle.
class NotationEventMatcher {
public:
    // One record of the note list: the voice-map entry that gives its time and rectangle, and the
    // index in the events it takes its pitch from (-1 when no event has a place there).
    struct Source {
        int entry = -1;
        int event = -1;
    };

    struct Result {
        // One per voice-map entry; the notes of one onset in the order of the events.
        QList<Source> records;
        // Notes and rests of the events that no entry takes (beyond page 1, left out by the engine).
        int unplaced = 0;
        // Entries no event fills.
        int unfilled = 0;
    };

    // events: the whole voice, empty events included (they have no entry and are skipped).
    static Result match(const QList<GmnEvent>& events, const NotationMap& map);

    // Diatonic steps from c of GMN octave 0: how high a note sits on the staff.
    static int staffStep(const GmnEvent& event);
};
