#pragma once

#include "pitch/PitchDetectionHeuristic.h"

class AveragingHeuristic;
class PitchDistanceHeuristic;

// Insists that each note start at a detected onset: ties the note to the newest untied onset
// within look-back before / look-ahead after the note's time, and drops onsets heard inside an
// earlier sustained note. Without an onset, a clear enough pitch step may still pass.
class OnsetCoordinatorHeuristic : public PitchDetectionHeuristic {
public:
    OnsetCoordinatorHeuristic(PitchDetector* detector, double lookAhead, double lookBack);
    ~OnsetCoordinatorHeuristic() override;

    void prepare() override;
    bool process(PitchDetector::NoteInfo& note) override;
    void reset() override;

private:
    void removeSpuriousOnsets();

    double m_lookAhead;
    double m_lookBack;
    int m_lastOnsetIndex;
    AveragingHeuristic* mp_averaging;
    PitchDistanceHeuristic* mp_fallback;
};
