#include "pitch/WaveletStrategy.h"

#include "pitch/DyWaPitchTracker.h"
#include "pitch/PitchDetector.h"

#include <algorithm>

WaveletStrategy::WaveletStrategy() : mp_tracker(new _dywapitchtracker)
{
    dywapitch_inittracking(mp_tracker);
}

WaveletStrategy::~WaveletStrategy()
{
    delete mp_tracker;
}

void WaveletStrategy::reset()
{
    dywapitch_inittracking(mp_tracker);
}

void WaveletStrategy::process(QVector<double>& block, PitchDetector* detector)
{
    const int pieces = static_cast<int>(detector->pieceCount());
    // One sample more than an even split; the last piece is the shorter.
    const int length = static_cast<int>(detector->m_blockSize) / pieces + 1;
    const int size = block.size();
    for (int i = 0; i < pieces; ++i) {
        const int start = i * length;
        const int count = std::min(length, size - start);
        double pitch = 0.0;
        if (count > 0)
            pitch = dywapitch_computepitch(mp_tracker, block.data(), start, count);
        detector->submitPitch(pitch);
    }
}
