#include "pitch/onset/PeakAmpDifferenceODF.h"

#include "pitch/onset/MQPeaks.h"

double PeakAmpDifferenceODF::get_distance(Peak* peak, Peak* previous)
{
    // Only rises: a note's release must not read as an onset and fill the picker's history.
    if (previous)
        return peak->amplitude > previous->amplitude ? static_cast<double>(peak->amplitude - previous->amplitude) : 0.0;
    return peak->amplitude;
}

double PeakAmpDifferenceODF::max_odf_value()
{
    return static_cast<double>(get_max_peaks());
}
