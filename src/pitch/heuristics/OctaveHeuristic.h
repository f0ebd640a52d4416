#pragma once

#include "pitch/PitchDetectionHeuristic.h"

// Learns one octave shift for the whole capture from the first pitched result against the first
// expected note, and moves every result by it.
class OctaveHeuristic : public PitchDetectionHeuristic {
public:
    explicit OctaveHeuristic(PitchDetector* detector);
    bool process(PitchDetector::NoteInfo& note) override;
    void reset() override;

    int octaveShift() const { return m_octaveShift; }

private:
    int m_octaveShift;
    bool m_learned;
};
