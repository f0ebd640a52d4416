#pragma once

#include "pitch/PitchDetectionHeuristic.h"

class AveragingHeuristic;

// Insists that each note start at a detected onset: ties the note to the newest untied onset
// within look-back before / look-ahead after the note's time, else to the first one inside the
// note's run so far, and drops onsets heard inside an earlier sustained note. A note without an
// onset of its own is refused unless its run begins from silence (the note sung again needs its
// attack). A repeat the melody holds, found at an onset well before its time, waits a while for one
// nearer it.
class OnsetCoordinatorHeuristic : public PitchDetectionHeuristic {
public:
    OnsetCoordinatorHeuristic(PitchDetector* detector, double lookAhead, double lookBack);

    void prepare() override;
    bool process(PitchDetector::NoteInfo& note) override;
    void reset() override;

private:
    void removeSpuriousOnsets();
    bool repeatStruck(int& found, int k, const PitchDetector::NoteInfo& note) const;

    double m_lookAhead;
    double m_lookBack;
    int m_lastOnsetIndex;
    AveragingHeuristic* mp_averaging;
};
