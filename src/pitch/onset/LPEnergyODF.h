#pragma once

#include "pitch/onset/LinearPredictionODF.h"

#include <vector>

// Distance of the frame energy from its prediction from the last order energies.
class LPEnergyODF : public LinearPredictionODF {
public:
    LPEnergyODF();
    ~LPEnergyODF() override;
    void init() override;
    void destroy() override;
    double process_frame(int size, double* frame) override;

private:
    std::vector<double> m_history;
    std::vector<double> m_coefficients;
};
