#pragma once

// Dynamic wavelet pitch tracking at 44100 Hz as plain functions over a small tracker record:
// a time-domain estimate from the spacing of extrema at successive Haar-style halvings, smoothed
// by a confidence-based step that rejects jumps and corrects octave errors.

struct _dywapitchtracker {
    double prevPitch;    // Hz; -1.0 when none
    int pitchConfidence; // -1 after initialisation, then 0..5
    double beforePitch = -1.0; // Hz; prevPitch before the last continuation
    double lastRaw = -1.0;     // Hz; the last piece's raw estimate, -1.0 for none
    int silentPieces = 0;      // pieces in a row without a raw estimate, up to the last
};

int _power2p(int v);
int _bitcount(int v);
int _ceil_power2(int v);
int _floor_power2(int v);
int _iabs(int v);
int _2power(int i);

int dywapitch_neededsamplecount(int minFreq);
void dywapitch_inittracking(_dywapitchtracker* tracker);
// Raw estimate in Hz over count samples from start; 0.0 for none. Where the wavelet finds no level
// that agrees, the period by the normalised difference of the piece at a quarter rate.
double _dywapitch_computeWaveletPitch(double* samples, int start, int count);
// Its two parts: the wavelet alone, and the normalised difference (pieces of 1024 samples or more).
double _dywapitch_waveletPitch(double* samples, int start, int count);
double _dywapitch_periodicityPitch(const double* samples, int start, int count);
// Smoothed estimate in Hz; 0.0 for none.
double _dywapitch_dynamicprocess(_dywapitchtracker* tracker, double pitch);
double dywapitch_computepitch(_dywapitchtracker* tracker, double* samples, int start, int count);
