#pragma once

#include "pitch/onset/LPBinDistanceODF.h"

// Sum over bins of each magnitude's distance from its prediction from that bin's last order
// magnitudes.
class LPSpectralDifferenceODF : public LPBinDistanceODF {
public:
    LPSpectralDifferenceODF();
    ~LPSpectralDifferenceODF() override;

protected:
    double binValue(int i, const std::complex<double>& bin) override;
};
