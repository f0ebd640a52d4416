#pragma once

#include "pitch/onset/OnsetDetectionFunction.h"

// Onset functions that compare each value with its prediction (Burg's method) from the last
// order values instead of with the previous value alone.
class LinearPredictionODF : public OnsetDetectionFunction {
public:
    LinearPredictionODF() = default;
    virtual void init() = 0;
    virtual void destroy() = 0;
    virtual int get_order();
    virtual void set_order(int value);
    void set_frame_size(int value) override;

protected:
    int order = 5;
};
