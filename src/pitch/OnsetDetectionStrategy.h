#pragma once

#include <QVector>

class PitchDetector;

// Finds onsets in a block: calls the detector's submitOnset with each onset's sample index
// counted from the last reset.
class OnsetDetectionStrategy {
public:
    virtual ~OnsetDetectionStrategy() = default;
    virtual void reset() = 0;
    virtual void process(QVector<double>& block, PitchDetector* detector) = 0;
};
