#include "pitch/onset/PeakAmpDifferenceODF.h"

#include "pitch/onset/MQPeaks.h"

#include <cmath>

double PeakAmpDifferenceODF::get_distance(Peak* peak, Peak* previous)
{
    if (previous)
        return std::fabs(peak->amplitude - previous->amplitude);
    return peak->amplitude;
}

double PeakAmpDifferenceODF::max_odf_value()
{
    return static_cast<double>(get_max_peaks());
}
