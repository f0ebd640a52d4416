#pragma once

#include "pitch/PitchDetectionStrategy.h"

struct _dywapitchtracker;

// Runs the dynamic wavelet tracker on every piece of a block and submits each estimate.
class WaveletStrategy : public PitchDetectionStrategy {
public:
    WaveletStrategy();
    ~WaveletStrategy() override;
    WaveletStrategy(const WaveletStrategy&) = delete;
    WaveletStrategy& operator=(const WaveletStrategy&) = delete;

    void reset() override;
    void process(QVector<double>& block, PitchDetector* detector) override;

private:
    _dywapitchtracker* mp_tracker;
};
