#include "pitch/onset/BinDistanceODF.h"

#include "pitch/onset/WindowedFrameFft.h"
#include "pitch/onset/RealFft.h"

BinDistanceODF::BinDistanceODF() = default;

BinDistanceODF::~BinDistanceODF()
{
    window = nullptr;
}

bool BinDistanceODF::acceptsFrameSize(int size) const
{
    return RealFft::isSupportedSize(size);
}

void BinDistanceODF::set_frame_size(int value)
{
    if (!checkFrameSize(value))
        return;
    frame_size = value;
    rebuild();
}

void BinDistanceODF::rebuild()
{
    mp_spectrum.reset(new WindowedFrameFft(frame_size));
    window = mp_spectrum->window();
    rebuildHistory();
}

int BinDistanceODF::binCount() const
{
    return mp_spectrum ? mp_spectrum->binCount() : 0;
}

const std::complex<double>* BinDistanceODF::analyse(int size, double* frame)
{
    if (!adoptFrameSize(size) || !mp_spectrum)
        return nullptr;
    return mp_spectrum->analyse(*this, frame);
}

double BinDistanceODF::process_frame(int size, double* frame)
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
