#pragma once

#include "pitch/PitchDetectionHeuristic.h"

// Folds a result into the octave closest to the expected note (within a fifth either way).
// The frequency moves with the octave so later steps compare like with like.
class ClosestOctaveHeuristic : public PitchDetectionHeuristic {
public:
    explicit ClosestOctaveHeuristic(PitchDetector* detector);
    bool process(PitchDetector::NoteInfo& note) override;
};
