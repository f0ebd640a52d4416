#pragma once

#include "pitch/onset/PeakODF.h"

// How much each peak's amplitude rose since the previous frame (falls count 0); a new peak counts
// whole.
class PeakAmpDifferenceODF : public PeakODF {
public:
    PeakAmpDifferenceODF() = default;
    ~PeakAmpDifferenceODF() override = default;
    double get_distance(Peak* peak, Peak* previous) override;
    double max_odf_value() override;
};
