#include "notation/GmnEvent.h"

namespace {
int letterSemitone(const QString& name)
{
    static const char* letters = "c d ef g a b";
    const int i = name.size() == 1 ? QString(letters).indexOf(name[0]) : -1;
    return i;
}
}

int GmnEvent::pitchClass() const
{
    if (kind != Note)
        return -1;
    const int base = letterSemitone(name);
    if (base < 0)
        return -1;
    return ((base + accidentals) % 12 + 12) % 12;
}

int GmnEvent::midiPitch() const
{
    if (kind != Note)
        return -1;
    const int base = letterSemitone(name);
    if (base < 0)
        return -1;
    return 12 * (octave + 4) + base + accidentals;
}
