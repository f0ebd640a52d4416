#include "pitch/onset/SpectralDifferenceODF.h"

#include <cmath>

SpectralDifferenceODF::SpectralDifferenceODF()
{
    rebuild();
}

void SpectralDifferenceODF::rebuildHistory()
{
    m_prevMagnitudes.assign(binCount(), 0.0);
}

double SpectralDifferenceODF::binDistance(int i, const std::complex<double>& bin)
{
    const double magnitude = std::abs(bin);
    const double distance = std::fabs(magnitude - m_prevMagnitudes[i]);
    m_prevMagnitudes[i] = magnitude;
    return distance;
}
