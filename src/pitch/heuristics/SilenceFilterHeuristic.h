#pragma once

#include "pitch/PitchDetectionHeuristic.h"

// Drops results without a note.
class SilenceFilterHeuristic : public PitchDetectionHeuristic {
public:
    explicit SilenceFilterHeuristic(PitchDetector* detector);
    bool process(PitchDetector::NoteInfo& note) override;
};
