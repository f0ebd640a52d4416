#include "pitch/onset/WindowedFrameFft.h"

#include "pitch/onset/OnsetDetectionFunction.h"
#include "pitch/onset/RealFft.h"
#include "pitch/onset/SignalMath.h"

#include <algorithm>

WindowedFrameFft::WindowedFrameFft(int frameSize)
    : m_window(frameSize, 1.0), m_in(frameSize, 0.0), m_out(frameSize / 2 + 1),
      mp_fft(new RealFft(frameSize))
{
    hann_window(frameSize, m_window.data());
}

WindowedFrameFft::~WindowedFrameFft() = default;

void WindowedFrameFft::transform()
{
    mp_fft->forward(m_in.data(), m_out.data());
}

const std::complex<double>* WindowedFrameFft::analyse(OnsetDetectionFunction& function, const double* frame)
{
    std::copy(frame, frame + m_in.size(), m_in.begin());
    function.window_frame(m_in.data());
    transform();
    return m_out.data();
}
