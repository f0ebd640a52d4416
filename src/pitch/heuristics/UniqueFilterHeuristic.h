#pragma once

#include "pitch/PitchDetectionHeuristic.h"

class AveragingHeuristic;

// Drops a repeat of the last note (optionally in any octave) unless the expected melody itself
// repeats the pitch class here or the averaging heard the note struck again.
class UniqueFilterHeuristic : public PitchDetectionHeuristic {
public:
    UniqueFilterHeuristic(PitchDetector* detector, bool useAcceptedNotes, bool ignoreOctave);
    bool process(PitchDetector::NoteInfo& note) override;
    void reset() override;
    // Finds the chain's averaging heuristic, whose restruck() lets a sung repeat pass.
    void prepare() override;

private:
    bool m_useAcceptedNotes;
    bool m_ignoreOctave;
    PitchDetector::NoteInfo m_lastNote;
    const AveragingHeuristic* mp_averaging = nullptr;
};
