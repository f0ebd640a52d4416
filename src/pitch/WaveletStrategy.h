#pragma once

#include "pitch/PitchDetectionStrategy.h"
#include "pitch/onset/RoomFloor.h"

struct _dywapitchtracker;

// Runs the dynamic wavelet tracker on every piece of a block and submits each estimate. A piece
// below the input's noise floor has no pitch: under the detector's calibrated floor, or within 6 dB
// of the quietest recent piece once the input has shown 20 dB more than that (the room, between
// notes). The tracker would otherwise hold the last pitch, or read one from the noise. Before then,
// a pitch whose samples do not repeat after its period is the room's noise, not a note.
class WaveletStrategy : public PitchDetectionStrategy {
public:
    WaveletStrategy();
    ~WaveletStrategy() override;
    WaveletStrategy(const WaveletStrategy&) = delete;
    WaveletStrategy& operator=(const WaveletStrategy&) = delete;

    void reset() override;
    void process(QVector<double>& block, PitchDetector* detector) override;

private:
    // fresh: the samples the piece adds to the last one's.
    bool belowNoiseFloor(const double* samples, int count, int fresh, double calibratedFloor);

    _dywapitchtracker* mp_tracker;
    RoomFloor m_floor;       // of the pieces' levels (RMS)
    double m_loudest = 0.0;  // loudest piece since the reset
    bool m_heardNote = false; // some piece stood 20 dB over the floor since the reset
};
