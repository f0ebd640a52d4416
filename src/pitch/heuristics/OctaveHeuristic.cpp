#include "pitch/heuristics/OctaveHeuristic.h"

#include <cmath>

OctaveHeuristic::OctaveHeuristic(PitchDetector* detector)
    : PitchDetectionHeuristic(detector, QStringLiteral("OctaveHeuristic")), m_octaveShift(0), m_learned(false)
{
}

void OctaveHeuristic::reset()
{
    m_octaveShift = 0;
    m_learned = false;
}

bool OctaveHeuristic::process(PitchDetector::NoteInfo& note)
{
    const QList<PitchDetector::NoteInfo>& expected = mp_detector->m_expectedNotes;
    if (expected.isEmpty())
        return true;
    // Learned once: adding up every result while the first note lasts would drift by octaves.
    if (!m_learned && mp_detector->m_expectedIndex == 0 && note.note != Pitch::NONE) {
        const int d = Pitch::midiNote(note.note, note.octave) - Pitch::midiNote(expected[0].note, expected[0].octave);
        if (d >= 7)
            m_octaveShift = 1 + (d - 7) / 12;
        else if (d <= -7)
            m_octaveShift = -(1 + (-d - 7) / 12);
        m_learned = true;
    }
    if (m_octaveShift != 0) {
        note.octave -= m_octaveShift;
        if (note.frequency > 0.0)
            note.frequency = std::ldexp(note.frequency, -m_octaveShift);
    }
    return true;
}
