#pragma once

#include "pitch/PitchDetectionHeuristic.h"

// Refuses a note that ends within a fixed gap of the last accepted one.
class AbsoluteTemporalFilterHeuristic : public PitchDetectionHeuristic {
public:
    AbsoluteTemporalFilterHeuristic(PitchDetector* detector, double minGap);
    bool process(PitchDetector::NoteInfo& note) override;
    void reset() override;

private:
    double m_minGap;
    double m_lastTime;
};
