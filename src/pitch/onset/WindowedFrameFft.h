#pragma once

#include <complex>
#include <memory>
#include <vector>

class OnsetDetectionFunction;
class RealFft;

// Per-size state of a spectral onset function: a Hann window, the windowed copy of the frame and
// its spectrum (frame size / 2 + 1 bins).
class WindowedFrameFft {
public:
    explicit WindowedFrameFft(int frameSize);
    ~WindowedFrameFft();

    int binCount() const { return static_cast<int>(m_out.size()); }
    double* window() { return m_window.data(); }
    double* input() { return m_in.data(); }
    const std::complex<double>* output() const { return m_out.data(); }
    // Transforms what input() holds.
    void transform();
    // Copies the frame, windows the copy through the function (whose window is ours) and
    // transforms it.
    const std::complex<double>* analyse(OnsetDetectionFunction& function, const double* frame);

private:
    std::vector<double> m_window;
    std::vector<double> m_in;
    std::vector<std::complex<double>> m_out;
    std::unique_ptr<RealFft> mp_fft;
};
