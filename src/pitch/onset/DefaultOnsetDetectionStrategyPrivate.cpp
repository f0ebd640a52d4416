#include "pitch/onset/DefaultOnsetDetectionStrategyPrivate.h"

DefaultOnsetDetectionStrategyPrivate::DefaultOnsetDetectionStrategyPrivate(int frameSize, int hopSize,
                                                                           int samplingRate)
    : room(samplingRate), harmonics(frameSize, samplingRate)
{
    odf.set_frame_size(frameSize);
    odf.set_hop_size(hopSize);
    odf.set_sampling_rate(samplingRate);
}
