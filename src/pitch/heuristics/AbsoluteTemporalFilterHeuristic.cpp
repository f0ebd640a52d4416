#include "pitch/heuristics/AbsoluteTemporalFilterHeuristic.h"

AbsoluteTemporalFilterHeuristic::AbsoluteTemporalFilterHeuristic(PitchDetector* detector, double minGap)
    : PitchDetectionHeuristic(detector, QStringLiteral("AbsTemporalFilterHeuristic")), m_minGap(minGap),
      m_lastTime(0.0)
{
}

void AbsoluteTemporalFilterHeuristic::reset()
{
    m_lastTime = 0.0;
}

bool AbsoluteTemporalFilterHeuristic::process(PitchDetector::NoteInfo& note)
{
    const double t = note.offset + note.duration;
    if (note.note == Pitch::NONE || mp_detector->m_expectedIndex < 1 || t - m_lastTime > m_minGap) {
        m_lastTime = t;
        return true;
    }
    return false;
}
