#pragma once

#include "pitch/onset/BinDistanceODF.h"

#include <vector>

// Sum over bins of the distance between each bin and its prediction from the previous magnitude
// and a phase that keeps advancing at its last rate.
class ComplexODF : public BinDistanceODF {
public:
    ComplexODF();

protected:
    void rebuildHistory() override;
    double binDistance(int i, const std::complex<double>& bin) override;

private:
    std::vector<double> m_prevMagnitudes;
    std::vector<double> m_prevPhases;
    std::vector<double> m_prevPrevPhases;
};
