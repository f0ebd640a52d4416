#pragma once

#include "pitch/onset/LinearPredictionODF.h"

#include <complex>
#include <memory>
#include <vector>

class FrameSpectrum;

// Per bin, the distance of the bin from the previous frame's, compared with its prediction from
// that bin's last order distances; summed over bins.
class LPComplexODF : public LinearPredictionODF {
public:
    LPComplexODF();
    ~LPComplexODF() override;
    void init() override;
    void destroy() override;
    double process_frame(int size, double* frame) override;

protected:
    bool acceptsFrameSize(int size) const override;

private:
    std::unique_ptr<FrameSpectrum> mp_spectrum;
    std::vector<std::complex<double>> m_prevSpectrum;
    std::vector<double> m_histories; // order distances per bin
    std::vector<double> m_coefficients;
};
