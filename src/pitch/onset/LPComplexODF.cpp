#include "pitch/onset/LPComplexODF.h"

#include "pitch/onset/FrameSpectrum.h"
#include "pitch/onset/RealFft.h"
#include "pitch/onset/SignalMath.h"

#include <cmath>

LPComplexODF::LPComplexODF()
{
    init();
}

LPComplexODF::~LPComplexODF()
{
    destroy();
}

bool LPComplexODF::acceptsFrameSize(int size) const
{
    return RealFft::isSupportedSize(size);
}

void LPComplexODF::init()
{
    mp_spectrum.reset(new FrameSpectrum(frame_size));
    window = mp_spectrum->window();
    m_prevSpectrum.assign(mp_spectrum->binCount(), std::complex<double>());
    m_histories.assign(static_cast<size_t>(mp_spectrum->binCount()) * order, 0.0);
    m_coefficients.assign(order, 0.0);
}

void LPComplexODF::destroy()
{
    window = nullptr;
    mp_spectrum.reset();
    m_prevSpectrum.clear();
    m_histories.clear();
    m_coefficients.clear();
}

double LPComplexODF::process_frame(int size, double* frame)
{
    if (!adoptFrameSize(size) || !mp_spectrum)
        return 0.0;
    const std::complex<double>* spectrum = mp_spectrum->analyse(*this, frame);
    double sum = 0.0;
    const int bins = mp_spectrum->binCount();
    for (int i = 0; i < bins; ++i) {
        const double distance = std::abs(spectrum[i] - m_prevSpectrum[i]);
        const double prediction =
            predict_and_push(m_histories.data() + static_cast<size_t>(i) * order, order,
                             m_coefficients.data(), distance);
        sum += std::fabs(distance - prediction);
        m_prevSpectrum[i] = spectrum[i];
    }
    return sum;
}
