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

double ComplexODF::process_frame(int size, double* frame)
{
    const std::complex<double>* spectrum = analyse(size, frame);
    if (!spectrum)
        return 0.0;
    double sum = 0.0;
    const int bins = binCount();
    for (int i = 0; i < bins; ++i) {
        const double phase = 2.0 * m_prevPhases[i] - m_prevPrevPhases[i];
        const std::complex<double> predicted = std::polar(m_prevMagnitudes[i], phase);
        sum += std::abs(spectrum[i] - predicted);
        m_prevMagnitudes[i] = std::abs(spectrum[i]);
        m_prevPrevPhases[i] = m_prevPhases[i];
        m_prevPhases[i] = std::atan2(spectrum[i].imag(), spectrum[i].real());
    }
    return sum;
}
