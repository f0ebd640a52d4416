#pragma once

#include "pitch/onset/LinearPredictionODF.h"

#include <complex>
#include <memory>
#include <vector>

class WindowedFrameFft;

// Linear-prediction functions over a frame's spectrum: per bin, one value is compared with its
// prediction from that bin's last order values, and the distances are summed over the bins.
class LPBinDistanceODF : public LinearPredictionODF {
public:
    ~LPBinDistanceODF() override;
    void init() override;
    void destroy() override;
    double process_frame(int size, double* frame) override;

protected:
    LPBinDistanceODF();
    bool acceptsFrameSize(int size) const override;
    int binCount() const;
    // The value of bin i that is predicted from its history.
    virtual double binValue(int i, const std::complex<double>& bin) = 0;

private:
    std::unique_ptr<WindowedFrameFft> mp_spectrum;
    std::vector<double> m_histories; // order values per bin
    std::vector<double> m_coefficients;
};
