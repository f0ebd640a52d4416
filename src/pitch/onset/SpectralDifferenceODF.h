#pragma once

#include "pitch/onset/BinDistanceODF.h"

#include <vector>

// Sum over bins of how much each magnitude changed since the previous frame.
class SpectralDifferenceODF : public BinDistanceODF {
public:
    SpectralDifferenceODF();

protected:
    void rebuildHistory() override;
    double binDistance(int i, const std::complex<double>& bin) override;

private:
    std::vector<double> m_prevMagnitudes;
};
