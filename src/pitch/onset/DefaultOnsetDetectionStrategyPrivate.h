#pragma once

#include "pitch/onset/PeakAmpDifferenceODF.h"
#include "pitch/onset/RTOnsetDetection.h"

#include <QVector>

#include <cstdint>

// Everything a reset of the default onset strategy throws away.
class DefaultOnsetDetectionStrategyPrivate {
public:
    DefaultOnsetDetectionStrategyPrivate(int frameSize, int hopSize, int samplingRate);

    PeakAmpDifferenceODF odf;
    RTOnsetDetection picker;
    QVector<double> buffer; // samples not yet consumed, oldest first
    uint64_t counter = 0;   // index of buffer's first sample since the last reset
};
