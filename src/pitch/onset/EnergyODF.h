#pragma once

#include "pitch/onset/OnsetDetectionFunction.h"

// Change of frame energy (sum of squared samples) since the previous frame.
class EnergyODF : public OnsetDetectionFunction {
public:
    EnergyODF() = default;
    double process_frame(int size, double* frame) override;

private:
    double m_prevEnergy = 0.0;
};
