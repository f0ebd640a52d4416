#pragma once

#include "pitch/OnsetDetectionStrategy.h"

class DefaultOnsetDetectionStrategyPrivate;

// Slides a frame over the incoming samples with a fixed hop, turns each frame into one value of
// the peak amplitude difference function and hands it to the real-time peak picker.
class DefaultOnsetDetectionStrategy : public OnsetDetectionStrategy {
public:
    DefaultOnsetDetectionStrategy(int frameSize, int hopSize, int samplingRate);
    ~DefaultOnsetDetectionStrategy() override;
    DefaultOnsetDetectionStrategy(const DefaultOnsetDetectionStrategy&) = delete;
    DefaultOnsetDetectionStrategy& operator=(const DefaultOnsetDetectionStrategy&) = delete;

    void reset() override;
    void process(QVector<double>& block, PitchDetector* detector) override;

private:
    bool isAttack(double level) const;

    DefaultOnsetDetectionStrategyPrivate* d;
};
