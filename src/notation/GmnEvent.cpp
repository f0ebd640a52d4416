#include "notation/GmnEvent.h"

namespace {
// Semitone of the event's letter (c 0 .. b 11) before accidentals; -1 when it has no pitch.
int letterSemitone(const GmnEvent& e)
{
    static const char* letters = "c d ef g a b";
    if (e.kind != GmnEvent::Note || e.name.size() != 1 || e.name[0] == QLatin1Char(' '))
        return -1;
    return QString(letters).indexOf(e.name[0]);
}
}

int GmnEvent::pitchClass() const
{
    const int base = letterSemitone(*this);
    return base < 0 ? -1 : ((base + accidentals) % 12 + 12) % 12;
}

int GmnEvent::midiPitch() const
{
    const int base = letterSemitone(*this);
    return base < 0 ? -1 : 12 * (octave + 4) + base + accidentals;
}
