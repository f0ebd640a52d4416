#pragma once

#include "pitch/PitchDetectionHeuristic.h"

// Turns every pitched result into one marker note (C1 without a frequency).
class BooleanTransformHeuristic : public PitchDetectionHeuristic {
public:
    explicit BooleanTransformHeuristic(PitchDetector* detector);
    bool process(PitchDetector::NoteInfo& note) override;
};
