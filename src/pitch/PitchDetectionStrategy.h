#pragma once

#include <QVector>

class PitchDetector;

// Estimates pitch over a block: calls the detector's submitPitch exactly m_subBlockCount times.
class PitchDetectionStrategy {
public:
    virtual ~PitchDetectionStrategy() = default;
    virtual void reset() = 0;
    virtual void process(QVector<double>& block, PitchDetector* detector) = 0;
};
