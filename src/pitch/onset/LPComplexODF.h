#pragma once

#include "pitch/onset/LPBinDistanceODF.h"

#include <vector>

// Per bin, the distance of the bin from the previous frame's, compared with its prediction from
// that bin's last order distances; summed over bins.
class LPComplexODF : public LPBinDistanceODF {
public:
    LPComplexODF();
    ~LPComplexODF() override;
    void init() override;
    void destroy() override;

protected:
    double binValue(int i, const std::complex<double>& bin) override;

private:
    std::vector<std::complex<double>> m_prevSpectrum;
};
