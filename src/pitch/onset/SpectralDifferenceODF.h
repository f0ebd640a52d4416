#pragma once

#include "pitch/onset/SpectralODF.h"

#include <vector>

// Sum over bins of how much each magnitude changed since the previous frame.
class SpectralDifferenceODF : public SpectralODF {
public:
    SpectralDifferenceODF();
    double process_frame(int size, double* frame) override;

protected:
    void rebuildHistory() override;

private:
    std::vector<double> m_prevMagnitudes;
};
