#include "pitch/onset/RealFft.h"

#include "debug/Debugging.h"

#include <kiss_fftr.h>

#include <cstdlib>

RealFft::RealFft(int size)
    : m_size(isSupportedSize(size) ? size : 4), mp_cfg(nullptr)
{
    if (m_size != size)
        LOG_ERROR("pitch", "real FFT size %d is not even or too small; using %d", size, m_size);
    mp_cfg = kiss_fftr_alloc(m_size, 0, nullptr, nullptr);
    m_in.assign(m_size, 0.0f);
    m_out.assign(2 * binCount(), 0.0f);
}

RealFft::~RealFft()
{
    kiss_fftr_free(mp_cfg);
}

void RealFft::forward(const double* in, std::complex<double>* out)
{
    for (int i = 0; i < m_size; ++i)
        m_in[i] = static_cast<float>(in[i]);
    kiss_fftr(mp_cfg, m_in.data(), reinterpret_cast<kiss_fft_cpx*>(m_out.data()));
    const int bins = binCount();
    for (int i = 0; i < bins; ++i)
        out[i] = std::complex<double>(m_out[2 * i], m_out[2 * i + 1]);
}
