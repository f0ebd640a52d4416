#include "pitch/onset/DefaultOnsetDetectionStrategy.h"

#include "debug/Debugging.h"
#include "pitch/PitchDetector.h"
#include "pitch/onset/DefaultOnsetDetectionStrategyPrivate.h"

DefaultOnsetDetectionStrategy::DefaultOnsetDetectionStrategy(int frameSize, int hopSize, int samplingRate)
    : d(nullptr)
{
    LOG_TRACE("pitch-dods", "frameSize=%d; hopSize=%d, samplingRate=%d", frameSize, hopSize, samplingRate);
    d = new DefaultOnsetDetectionStrategyPrivate(frameSize, hopSize, samplingRate);
}

DefaultOnsetDetectionStrategy::~DefaultOnsetDetectionStrategy()
{
    delete d;
}

void DefaultOnsetDetectionStrategy::reset()
{
    const int frameSize = d->odf.get_frame_size();
    const int hopSize = d->odf.get_hop_size();
    const int samplingRate = d->odf.get_sampling_rate();
    delete d;
    d = new DefaultOnsetDetectionStrategyPrivate(frameSize, hopSize, samplingRate);
}

void DefaultOnsetDetectionStrategy::process(QVector<double>& block, PitchDetector* detector)
{
    const int frameSize = d->odf.get_frame_size();
    const int hopSize = d->odf.get_hop_size();
    d->buffer.append(block);
    while (d->buffer.size() >= frameSize) {
        const double value = d->odf.process_frame(frameSize, d->buffer.data());
        if (d->picker.is_onset(value) && detector)
            detector->submitOnset(static_cast<unsigned long>(d->counter));
        d->counter += hopSize;
        d->buffer.remove(0, hopSize);
    }
}
