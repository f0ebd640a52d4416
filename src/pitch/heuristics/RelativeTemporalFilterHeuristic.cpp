#include "pitch/heuristics/RelativeTemporalFilterHeuristic.h"

RelativeTemporalFilterHeuristic::RelativeTemporalFilterHeuristic(PitchDetector* detector, double ratio,
                                                                 bool offsetOnly)
    : PitchDetectionHeuristic(detector, QStringLiteral("RelTemporalFilterHeuristic")), m_ratio(ratio),
      m_offsetOnly(offsetOnly), m_lastTime(0.0), m_lastIndex(0)
{
}

void RelativeTemporalFilterHeuristic::reset()
{
    m_lastTime = 0.0;
    m_lastIndex = 0;
}

bool RelativeTemporalFilterHeuristic::process(PitchDetector::NoteInfo& note)
{
    const QList<PitchDetector::NoteInfo>& expected = mp_detector->m_expectedNotes;
    const int k = mp_detector->m_expectedIndex;
    if (expected.isEmpty())
        return true;
    const double t = note.offset + (m_offsetOnly ? 0.0 : note.duration);
    if (note.note == Pitch::NONE || k <= m_lastIndex || k >= expected.size()) {
        if (!m_offsetOnly)
            m_lastTime = t;
        m_lastIndex = k;
        return true;
    }
    if (t - m_lastTime <= (expected[k].offset - expected[k - 1].offset) * m_ratio)
        return false;
    m_lastTime = t;
    m_lastIndex = k;
    return true;
}
