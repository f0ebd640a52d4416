#pragma once

#include "score/ScoreNoteInfo.h"

#include <QList>
#include <QString>

// Fills pitch and octave of a note list whose times come from the engine's voice map, from the
// walk over the first voice's events in score order. A note tied to an equal note before it
// starts nothing and gets 12.
class RuvexGuidoScoreBrowser {
public:
    explicit RuvexGuidoScoreBrowser(QList<ScoreNoteInfo>* notes);

    // The next note lies in a tie; startsRange when it is the first note of a new tie, so that it
    // is not taken for the continuation of an earlier tie of the same pitch.
    void tieEvent(bool startsRange = false);
    void rest();
    // A record no event fills: it keeps what it holds.
    void skip();
    // name: "c" .. "b" (or a sharp name of the table); accidentals: sharps positive, flats negative.
    // An empty name is an empty event and fills nothing.
    void note(const QString& name, int accidentals, int octave);

    int filled() const { return m_index; }

    // Pitch class and GMN octave of what sounds: "c&1" is b of octave 0, "b#1" c of octave 2.
    // False for a name outside the table.
    static bool soundingPitch(const QString& name, int accidentals, int octave, int* note, int* soundingOctave);

private:
    bool roomFor();

    int m_index = 0;
    bool m_tiePending = false;
    int m_lastTiedNote = 12;
    QList<ScoreNoteInfo>* m_notes;
};
