#include "pitch/heuristics/UniqueFilterHeuristic.h"

UniqueFilterHeuristic::UniqueFilterHeuristic(PitchDetector* detector, bool useAcceptedNotes, bool ignoreOctave)
    : PitchDetectionHeuristic(detector, QStringLiteral("UniqueFilterHeuristic")),
      m_useAcceptedNotes(useAcceptedNotes), m_ignoreOctave(ignoreOctave)
{
}

void UniqueFilterHeuristic::reset()
{
    m_lastNote = PitchDetector::NoteInfo();
}

bool UniqueFilterHeuristic::process(PitchDetector::NoteInfo& note)
{
    const QList<PitchDetector::NoteInfo>& expected = mp_detector->m_expectedNotes;
    const int k = mp_detector->m_expectedIndex;
    if (k > 0 && k < expected.size() && expected[k].note == expected[k - 1].note)
        return true;
    if (m_useAcceptedNotes) {
        if (mp_detector->m_notes.isEmpty())
            return true;
        m_lastNote = mp_detector->m_notes.last();
    }
    const bool repeat = note.note == m_lastNote.note && (m_ignoreOctave || note.octave == m_lastNote.octave);
    m_lastNote = note;
    return !repeat;
}
