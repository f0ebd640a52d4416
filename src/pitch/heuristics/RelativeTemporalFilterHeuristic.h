#pragma once

#include "pitch/PitchDetectionHeuristic.h"

// Refuses a note that follows the last accepted one by less than a ratio of the expected gap.
class RelativeTemporalFilterHeuristic : public PitchDetectionHeuristic {
public:
    RelativeTemporalFilterHeuristic(PitchDetector* detector, double ratio, bool offsetOnly);
    bool process(PitchDetector::NoteInfo& note) override;
    void reset() override;

private:
    double m_ratio;
    bool m_offsetOnly;
    double m_lastTime;
    int m_lastIndex;
};
