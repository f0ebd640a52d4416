#pragma once

#include "pitch/onset/WindowedFrameFft.h"

#include <vector>

// How far a frame's harmonics of a held note disagree about its pitch. One voice, however its
// pitch swings (vibrato, a scoop), moves every harmonic by the same number of cents; a second
// voice a fraction of a semitone off (the note struck again while the last one's release rings on)
// pulls each harmonic's peak by its own amount, as the two beat at a rate that grows with the
// harmonic's number.
class HarmonicSpread {
public:
    HarmonicSpread(int frameSize, int samplingRate);

    // The amplitude-weighted spread (cents) of the offsets of the harmonics near whole multiples of
    // the given pitch (semitones, as MIDI), or -1 when fewer than two stand clear of the noise or the
    // pitch's own harmonic is not the loudest.
    double spread(const double* frame, double semitones);

private:
    int m_size;
    int m_rate;
    WindowedFrameFft m_fft; // its window made periodic, as the spread's bounds were measured with
    std::vector<double> m_noise; // magnitudes, for their median
};
