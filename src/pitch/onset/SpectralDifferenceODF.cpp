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

double SpectralDifferenceODF::process_frame(int size, double* frame)
{
    const std::complex<double>* spectrum = analyse(size, frame);
    if (!spectrum)
        return 0.0;
    double sum = 0.0;
    const int bins = binCount();
    for (int i = 0; i < bins; ++i) {
        const double magnitude = std::abs(spectrum[i]);
        sum += std::fabs(magnitude - m_prevMagnitudes[i]);
        m_prevMagnitudes[i] = magnitude;
    }
    return sum;
}
