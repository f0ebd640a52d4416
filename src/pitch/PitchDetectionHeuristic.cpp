#include "pitch/PitchDetectionHeuristic.h"

PitchDetectionHeuristic::PitchDetectionHeuristic(PitchDetector* detector, const QString& name)
    : m_name(name), mp_detector(detector)
{
}

PitchDetectionHeuristic::~PitchDetectionHeuristic() = default;
