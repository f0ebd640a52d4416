#pragma once

#include "pitch/onset/PeakODF.h"

// Only peaks that continue nothing count, each with its amplitude.
class UnmatchedPeaksODF : public PeakODF {
public:
    UnmatchedPeaksODF() = default;
    ~UnmatchedPeaksODF() override = default;
    double get_distance(Peak* peak, Peak* previous) override;
};
