#include "pitch/onset/ComplexODF.h"

#include <cmath>

ComplexODF::ComplexODF()
{
    rebuild();
}

void ComplexODF::rebuildHistory()
{
    m_prevMagnitudes.assign(binCount(), 0.0);
    m_prevPhases.assign(binCount(), 0.0);
    m_prevPrevPhases.assign(binCount(), 0.0);
}

double ComplexODF::binDistance(int i, const std::complex<double>& bin)
{
    const double phase = 2.0 * m_prevPhases[i] - m_prevPrevPhases[i];
    const double distance = std::abs(bin - std::polar(m_prevMagnitudes[i], phase));
    m_prevMagnitudes[i] = std::abs(bin);
    m_prevPrevPhases[i] = m_prevPhases[i];
    m_prevPhases[i] = std::atan2(bin.imag(), bin.real());
    return distance;
}
