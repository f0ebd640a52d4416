#include "pitch/heuristics/ClosestOctaveHeuristic.h"

ClosestOctaveHeuristic::ClosestOctaveHeuristic(PitchDetector* detector)
    : PitchDetectionHeuristic(detector, QStringLiteral("ClosestOctaveHeuristic"))
{
}

bool ClosestOctaveHeuristic::process(PitchDetector::NoteInfo& note)
{
    const QList<PitchDetector::NoteInfo>& expected = mp_detector->m_expectedNotes;
    const int k = mp_detector->m_expectedIndex;
    if (expected.isEmpty() || k < 0 || k >= expected.size() || note.note == Pitch::NONE)
        return true;
    const int d = Pitch::midiNote(note.note, note.octave) - Pitch::midiNote(expected[k].note, expected[k].octave);
    int shift = 0; // octaves down
    if (d >= 7)
        shift = (d - 7) / 12 + 1;
    else if (d <= -7)
        shift = -((-d - 7) / 12 + 1);
    note.octave -= shift; // the frequency stays as measured
    return true;
}
