#pragma once

#include "pitch/onset/OnsetDetectionFunction.h"

#include <complex>
#include <memory>

class WindowedFrameFft;

// Common ground of the functions that look at a frame's spectrum: the per-size spectrum state,
// rebuilt (with the subclass's history) whenever the frame size changes, and the value of a
// frame as the sum over its bins of each bin's distance from the subclass's history.
class BinDistanceODF : public OnsetDetectionFunction {
public:
    BinDistanceODF();
    ~BinDistanceODF() override;
    void set_frame_size(int value) override;
    double process_frame(int size, double* frame) override;

protected:
    // Bin i's contribution; the subclass then keeps what it needs of the bin.
    virtual double binDistance(int i, const std::complex<double>& bin) = 0;
    bool acceptsFrameSize(int size) const override;
    // Copies, windows and transforms the frame; returns the spectrum, or null when the frame's
    // size cannot be analysed.
    const std::complex<double>* analyse(int size, double* frame);
    int binCount() const;
    // Called after the spectrum state was rebuilt for a new size.
    virtual void rebuildHistory() = 0;
    // Builds the spectrum state for the current frame size; subclasses call it from their
    // constructors, where the virtual history rebuild can already run.
    void rebuild();

private:
    std::unique_ptr<WindowedFrameFft> mp_spectrum;
};
