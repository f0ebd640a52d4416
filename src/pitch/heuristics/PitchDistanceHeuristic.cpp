#include "pitch/heuristics/PitchDistanceHeuristic.h"

#include "debug/Debugging.h"

#include <cstdlib>

PitchDistanceHeuristic::PitchDistanceHeuristic(PitchDetector* detector)
    : PitchDetectionHeuristic(detector, QStringLiteral("PitchDistanceHeuristic"))
{
}

void PitchDistanceHeuristic::prepare()
{
    m_steps.clear();
    const QList<PitchDetector::NoteInfo>& expected = mp_detector->m_expectedNotes;
    if (expected.isEmpty()) {
        LOG_DEBUG("pitch-hrstic", "pdh - expected note list is empty");
        return;
    }
    m_steps.append(0);
    for (int i = 1; i < expected.size(); ++i) {
        const int s = std::abs(Pitch::midiNote(expected[i].note, expected[i].octave) -
                               Pitch::midiNote(expected[i - 1].note, expected[i - 1].octave));
        m_steps.append(s == 0 ? 0 : (s == 1 ? 1 : 2));
    }
}

bool PitchDistanceHeuristic::process(PitchDetector::NoteInfo& note)
{
    const QList<PitchDetector::NoteInfo>& expected = mp_detector->m_expectedNotes;
    const int k = mp_detector->m_expectedIndex;
    if (expected.isEmpty() || k <= 0 || k >= m_steps.size())
        return true;
    const PitchDetector::NoteInfo& previous = expected[k - 1];
    const int distance =
        std::abs(Pitch::midiNote(note.note, note.octave) - Pitch::midiNote(previous.note, previous.octave));
    return distance >= m_steps[k];
}
