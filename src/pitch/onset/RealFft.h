#pragma once

#include <complex>
#include <vector>

struct kiss_fftr_state;

// Forward real FFT of an even size through the single-precision KISS FFT; the rest of the
// analysis stays in double, so samples are narrowed on the way in and widened on the way out.
class RealFft {
public:
    explicit RealFft(int size);
    ~RealFft();
    RealFft(const RealFft&) = delete;
    RealFft& operator=(const RealFft&) = delete;

    int size() const { return m_size; }
    int binCount() const { return m_size / 2 + 1; }
    // Unscaled; out holds binCount() values.
    void forward(const double* in, std::complex<double>* out);

    static bool isSupportedSize(int size) { return size >= 4 && size % 2 == 0; }

private:
    int m_size;
    kiss_fftr_state* mp_cfg;
    std::vector<float> m_in;
    std::vector<float> m_out; // interleaved re, im
};
