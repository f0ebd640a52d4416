#include "pitch/onset/LPSpectralDifferenceODF.h"

LPSpectralDifferenceODF::LPSpectralDifferenceODF()
{
    init();
}

LPSpectralDifferenceODF::~LPSpectralDifferenceODF()
{
    destroy();
}

double LPSpectralDifferenceODF::binValue(int, const std::complex<double>& bin)
{
    return std::abs(bin);
}
