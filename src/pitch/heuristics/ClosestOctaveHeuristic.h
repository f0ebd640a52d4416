#pragma once

#include "pitch/PitchDetectionHeuristic.h"

// Folds a result into the octave closest to the expected note (within a fifth either way).
// Only the octave moves; the frequency stays the measured one.
class ClosestOctaveHeuristic : public PitchDetectionHeuristic {
public:
    explicit ClosestOctaveHeuristic(PitchDetector* detector);
    bool process(PitchDetector::NoteInfo& note) override;
};
