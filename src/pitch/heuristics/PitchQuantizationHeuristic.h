#pragma once

#include "pitch/PitchDetectionHeuristic.h"

// Snaps a result a semitone away from the expected note onto it when its frequency lies within
// the tolerance (a fraction of the semitone) of the expected frequency.
class PitchQuantizationHeuristic : public PitchDetectionHeuristic {
public:
    PitchQuantizationHeuristic(PitchDetector* detector, double tolerance);
    bool process(PitchDetector::NoteInfo& note) override;
    // Whether a frequency named the neighbour at neighbourFrequency (above the target or below it)
    // lies within tolerance of the target: it is heard as the target.
    static bool withinReach(double frequency, double neighbourFrequency, double targetFrequency, bool above,
                            double tolerance);

private:
    double m_tolerance;
};
