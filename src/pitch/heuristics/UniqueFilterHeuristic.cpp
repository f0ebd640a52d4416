#include "pitch/heuristics/UniqueFilterHeuristic.h"

#include "pitch/heuristics/AveragingHeuristic.h"

UniqueFilterHeuristic::UniqueFilterHeuristic(PitchDetector* detector, bool useAcceptedNotes, bool ignoreOctave)
    : PitchDetectionHeuristic(detector, QStringLiteral("UniqueFilterHeuristic")),
      m_useAcceptedNotes(useAcceptedNotes), m_ignoreOctave(ignoreOctave)
{
}

void UniqueFilterHeuristic::reset()
{
    m_lastNote = PitchDetector::NoteInfo();
}

void UniqueFilterHeuristic::prepare()
{
    mp_averaging = nullptr;
    for (PitchDetectionHeuristic* heuristic : mp_detector->m_heuristics) {
        if (const AveragingHeuristic* averaging = dynamic_cast<const AveragingHeuristic*>(heuristic)) {
            mp_averaging = averaging;
            break;
        }
    }
}

bool UniqueFilterHeuristic::process(PitchDetector::NoteInfo& note)
{
    // A learner who sings the last note again where the melody moves on (E E for E F) sang a note:
    // dropped, every later note would be graded against the one before it.
    if (mp_averaging && mp_averaging->restruck()) {
        m_lastNote = note;
        return true;
    }
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
