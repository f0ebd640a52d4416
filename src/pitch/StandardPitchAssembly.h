#pragma once

#include <memory>

class AveragingHeuristic;
class ClosestOctaveHeuristic;
class DefaultOnsetDetectionStrategy;
class OnsetCoordinatorHeuristic;
class PitchDetector;
class PitchQuantizationHeuristic;
class SilenceFilterHeuristic;
class UniqueFilterHeuristic;
class WaveletStrategy;

// The microphone's detector with its standard strategies and chain: averaging, silence filter,
// closest octave, quantisation, unique filter and onset coordinator; blocks of 2048 samples in
// two pieces. The detector goes first on destruction, so its worker stops before the parts it
// calls are freed.
class StandardPitchAssembly {
public:
    StandardPitchAssembly();
    ~StandardPitchAssembly();
    StandardPitchAssembly(const StandardPitchAssembly&) = delete;
    StandardPitchAssembly& operator=(const StandardPitchAssembly&) = delete;

    PitchDetector* detector() const { return mp_detector.get(); }
    AveragingHeuristic* averaging() const { return mp_averaging.get(); }

private:
    std::unique_ptr<WaveletStrategy> mp_pitchStrategy;
    std::unique_ptr<DefaultOnsetDetectionStrategy> mp_onsetStrategy;
    std::unique_ptr<AveragingHeuristic> mp_averaging;
    std::unique_ptr<SilenceFilterHeuristic> mp_silence;
    std::unique_ptr<ClosestOctaveHeuristic> mp_closestOctave;
    std::unique_ptr<PitchQuantizationHeuristic> mp_quantization;
    std::unique_ptr<UniqueFilterHeuristic> mp_unique;
    std::unique_ptr<OnsetCoordinatorHeuristic> mp_onsetCoordinator;
    std::unique_ptr<PitchDetector> mp_detector;
};
