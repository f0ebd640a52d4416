#pragma once

#include "pitch/PitchDetectionHeuristic.h"

#include <QList>

// After an expected step of a semitone refuses the previous note itself; after a larger step
// also its neighbours a semitone away.
class PitchDistanceHeuristic : public PitchDetectionHeuristic {
public:
    explicit PitchDistanceHeuristic(PitchDetector* detector);
    void prepare() override;
    bool process(PitchDetector::NoteInfo& note) override;

    const QList<int>& steps() const { return m_steps; }

private:
    QList<int> m_steps;
};
