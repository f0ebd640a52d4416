#include "pitch/onset/LPComplexODF.h"

LPComplexODF::LPComplexODF()
{
    init();
}

LPComplexODF::~LPComplexODF()
{
    destroy();
}

void LPComplexODF::init()
{
    LPBinDistanceODF::init();
    m_prevSpectrum.assign(binCount(), std::complex<double>());
}

void LPComplexODF::destroy()
{
    LPBinDistanceODF::destroy();
    m_prevSpectrum.clear();
}

double LPComplexODF::binValue(int i, const std::complex<double>& bin)
{
    const double distance = std::abs(bin - m_prevSpectrum[i]);
    m_prevSpectrum[i] = bin;
    return distance;
}
