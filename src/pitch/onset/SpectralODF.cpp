#include "pitch/onset/SpectralODF.h"

#include "pitch/onset/FrameSpectrum.h"
#include "pitch/onset/RealFft.h"

SpectralODF::SpectralODF() = default;

SpectralODF::~SpectralODF()
{
    window = nullptr;
}

bool SpectralODF::acceptsFrameSize(int size) const
{
    return RealFft::isSupportedSize(size);
}

void SpectralODF::set_frame_size(int value)
{
    if (!checkFrameSize(value))
        return;
    frame_size = value;
    rebuild();
}

void SpectralODF::rebuild()
{
    mp_spectrum.reset(new FrameSpectrum(frame_size));
    window = mp_spectrum->window();
    rebuildHistory();
}

int SpectralODF::binCount() const
{
    return mp_spectrum ? mp_spectrum->binCount() : 0;
}

const std::complex<double>* SpectralODF::analyse(int size, double* frame)
{
    if (!adoptFrameSize(size) || !mp_spectrum)
        return nullptr;
    return mp_spectrum->analyse(*this, frame);
}

double SpectralODF::process_frame(int size, double* frame)
{
    const std::complex<double>* spectrum = analyse(size, frame);
    if (!spectrum)
        return 0.0;
    double sum = 0.0;
    const int bins = binCount();
    for (int i = 0; i < bins; ++i)
        sum += binDistance(i, spectrum[i]);
    return sum;
}
