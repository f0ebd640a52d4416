#include "pitch/onset/LPBinDistanceODF.h"

#include "pitch/onset/WindowedFrameFft.h"
#include "pitch/onset/RealFft.h"
#include "pitch/onset/SignalMath.h"

#include <cmath>

LPBinDistanceODF::LPBinDistanceODF() = default;

LPBinDistanceODF::~LPBinDistanceODF()
{
    window = nullptr;
}

bool LPBinDistanceODF::acceptsFrameSize(int size) const
{
    return RealFft::isSupportedSize(size);
}

int LPBinDistanceODF::binCount() const
{
    return mp_spectrum ? mp_spectrum->binCount() : 0;
}

void LPBinDistanceODF::init()
{
    mp_spectrum.reset(new WindowedFrameFft(frame_size));
    window = mp_spectrum->window();
    m_histories.assign(static_cast<size_t>(mp_spectrum->binCount()) * order, 0.0);
    m_coefficients.assign(order, 0.0);
}

void LPBinDistanceODF::destroy()
{
    window = nullptr;
    mp_spectrum.reset();
    m_histories.clear();
    m_coefficients.clear();
}

double LPBinDistanceODF::process_frame(int size, double* frame)
{
    if (!adoptFrameSize(size) || !mp_spectrum)
        return 0.0;
    const std::complex<double>* spectrum = mp_spectrum->analyse(*this, frame);
    double sum = 0.0;
    const int bins = mp_spectrum->binCount();
    for (int i = 0; i < bins; ++i) {
        const double value = binValue(i, spectrum[i]);
        const double prediction =
            predict_and_push(m_histories.data() + static_cast<size_t>(i) * order, order,
                             m_coefficients.data(), value);
        sum += std::fabs(value - prediction);
    }
    return sum;
}
