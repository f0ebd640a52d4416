#pragma once

#include "notation/GmnEvent.h"

#include <QList>
#include <QString>

// The clef the engine draws a voice in. A code that names none gets one from its notes: the bass
// clef when their mean staff step (chord notes and tied notes each counted, accidentals not) lies
// below the B under middle C, else the treble clef. A score drawn from other notes (an answer with
// a wrong note) names the clef of the notes it stands for where its own would take the other one,
// so that both are read on one staff.
class GmnClef {
public:
    // "f" or "g": the clef the engine chooses for these events when the code names none.
    static QString automatic(const QList<GmnEvent>& events);
    // Whether the code sets a clef itself.
    static bool isNamed(const QString& code);
    // The code with the clef tag `\clef<"clef">` first in its first voice; the code unchanged when
    // it has no voice.
    static QString withClef(const QString& code, const QString& clef);
};
