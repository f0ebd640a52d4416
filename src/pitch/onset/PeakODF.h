#pragma once

#include "pitch/onset/OnsetDetectionFunction.h"

struct MQParameters;
struct Peak;

// Onset functions over the tracked spectral peaks of each frame: the value is the sum of each
// peak's contribution, get_distance, given the peak it continues (or null for a new one).
class PeakODF : public OnsetDetectionFunction {
public:
    PeakODF();
    ~PeakODF() override;
    PeakODF(const PeakODF&) = delete;
    PeakODF& operator=(const PeakODF&) = delete;

    void set_frame_size(int value) override;
    double process_frame(int size, double* frame) override;

    virtual void reinit();
    virtual void reset();
    virtual int get_max_peaks();
    virtual void set_max_peaks(int value);
    virtual double max_odf_value();
    virtual double get_distance(Peak* peak, Peak* previous);
    // The sum of the last frame's peak amplitudes: a change of level alone moves every peak by the
    // same share of it.
    double peakTotal() const { return m_total; }

protected:
    bool acceptsFrameSize(int size) const override;

private:
    MQParameters* mp_params;
    double m_total = 0.0;
};
