#include "pitch/StandardPitchAssembly.h"

#include "pitch/PitchDetector.h"
#include "pitch/WaveletStrategy.h"
#include "pitch/heuristics/AveragingHeuristic.h"
#include "pitch/heuristics/ClosestOctaveHeuristic.h"
#include "pitch/heuristics/OnsetCoordinatorHeuristic.h"
#include "pitch/heuristics/PitchQuantizationHeuristic.h"
#include "pitch/heuristics/SilenceFilterHeuristic.h"
#include "pitch/heuristics/UniqueFilterHeuristic.h"
#include "pitch/onset/DefaultOnsetDetectionStrategy.h"

StandardPitchAssembly::StandardPitchAssembly()
{
    mp_detector.reset(new PitchDetector());
    PitchDetector* detector = mp_detector.get();
    mp_averaging.reset(new AveragingHeuristic(detector, 16, 8));
    mp_silence.reset(new SilenceFilterHeuristic(detector));
    mp_closestOctave.reset(new ClosestOctaveHeuristic(detector));
    mp_quantization.reset(new PitchQuantizationHeuristic(detector, 0.8));
    mp_unique.reset(new UniqueFilterHeuristic(detector, true, true));
    mp_onsetCoordinator.reset(new OnsetCoordinatorHeuristic(detector, 0.1, 0.8));
    mp_pitchStrategy.reset(new WaveletStrategy());
    mp_onsetStrategy.reset(new DefaultOnsetDetectionStrategy(2048, 512, 44100));

    detector->mp_onsetDetectionStrategy = mp_onsetStrategy.get();
    detector->mp_pitchDetectionStrategy = mp_pitchStrategy.get();
    detector->m_heuristics.append(mp_averaging.get());
    detector->m_heuristics.append(mp_silence.get());
    detector->m_heuristics.append(mp_closestOctave.get());
    detector->m_heuristics.append(mp_quantization.get());
    detector->m_heuristics.append(mp_unique.get());
    detector->m_heuristics.append(mp_onsetCoordinator.get());
    detector->m_blockSize = 2048;
    detector->m_subBlockCount = 2;
}

StandardPitchAssembly::~StandardPitchAssembly()
{
    mp_detector.reset();
}
