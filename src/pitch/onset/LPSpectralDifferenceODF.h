#pragma once

#include "pitch/onset/LinearPredictionODF.h"

#include <memory>
#include <vector>

class FrameSpectrum;

// Sum over bins of each magnitude's distance from its prediction from that bin's last order
// magnitudes.
class LPSpectralDifferenceODF : public LinearPredictionODF {
public:
    LPSpectralDifferenceODF();
    ~LPSpectralDifferenceODF() override;
    void init() override;
    void destroy() override;
    double process_frame(int size, double* frame) override;

protected:
    bool acceptsFrameSize(int size) const override;

private:
    std::unique_ptr<FrameSpectrum> mp_spectrum;
    std::vector<double> m_histories; // order values per bin
    std::vector<double> m_coefficients;
};
