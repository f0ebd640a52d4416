#pragma once

#include "pitch/PitchDetectionHeuristic.h"

// Snaps a result a semitone away from the expected note onto it when its frequency lies within
// the tolerance (a fraction of the semitone) of the expected frequency.
class PitchQuantizationHeuristic : public PitchDetectionHeuristic {
public:
    PitchQuantizationHeuristic(PitchDetector* detector, double tolerance);
    bool process(PitchDetector::NoteInfo& note) override;

private:
    double m_tolerance;
};
