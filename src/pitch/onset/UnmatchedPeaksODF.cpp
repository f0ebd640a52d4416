#include "pitch/onset/UnmatchedPeaksODF.h"

#include "pitch/onset/MQPeaks.h"

double UnmatchedPeaksODF::get_distance(Peak* peak, Peak* previous)
{
    return previous ? 0.0 : peak->amplitude;
}
