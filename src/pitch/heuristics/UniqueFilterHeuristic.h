#pragma once

#include "pitch/PitchDetectionHeuristic.h"

// Drops a repeat of the last note (optionally in any octave) unless the expected melody itself
// repeats the pitch class here.
class UniqueFilterHeuristic : public PitchDetectionHeuristic {
public:
    UniqueFilterHeuristic(PitchDetector* detector, bool useAcceptedNotes, bool ignoreOctave);
    bool process(PitchDetector::NoteInfo& note) override;
    void reset() override;

private:
    bool m_useAcceptedNotes;
    bool m_ignoreOctave;
    PitchDetector::NoteInfo m_lastNote;
};
