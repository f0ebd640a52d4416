#pragma once

#include "pitch/Pitch.h"
#include "pitch/PitchDetector.h"

inline PitchDetector::NoteInfo makeNote(Pitch::Note note, int octave, double offset = 0.0, double frequency = 0.0)
{
    PitchDetector::NoteInfo info;
    info.note = note;
    info.octave = octave;
    info.offset = offset;
    info.frequency = frequency > 0.0 ? frequency : (note == Pitch::NONE ? -1.0 : Pitch::noteToFreq(note, octave));
    return info;
}
