#pragma once

#include "pitch/onset/HarmonicSpread.h"
#include "pitch/onset/PeakAmpDifferenceODF.h"
#include "pitch/onset/RTOnsetDetection.h"
#include "pitch/onset/RoomFloor.h"

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
    // Level (RMS) of the newest hop of each of the last frames, newest first: an onset must be an
    // attack, a rise of the last three over the quietest of the eight before them.
    static constexpr int kLevelHistory = 11;
    double levels[kLevelHistory] = {};
    int levelCount = 0;
    // Raw pitch (semitones, 0 for none) of the newest 1024 samples of each of the last frames,
    // newest first: an onset may also be a change of pitch.
    static constexpr int kPitchHistory = 21;
    double pitches[kPitchHistory] = {};
    bool pitchMoved = false;      // the last frame's pitch stood apart from the held note's
    RoomFloor room;               // of the hops' levels
    int64_t lastOnset = -100000;  // sample position of the last onset reported
    bool lastStepped = false;     // ... a step of pitch with no attack heard
    double lastRise = 0.0;        // the last hop's rise in level
    int64_t surge = -1;           // a rise of 12 dB waiting for the picker's peak, or -1
    double lastTone = 0.0;        // the last frame's pitch by the normalised difference while a surge waits
    bool surgeToned = false;      // two frames in a row held that pitch while the surge waited
    double lastQuietRise = 0.0;   // the last hop's rise out of the room's silence, or 0
    int64_t heldStep = -1;        // a step without a rise waiting for an attack just after it, or -1
    int64_t swell = -100000;      // the last peak of a held note back from a dip (no attack)
    bool heldSag = false;         // the held step is a small step down (an attack then dates itself)
    int64_t silentAt = -100000;   // the newest hop heard at the room's level
    bool surgeSilentSince = false; // the waiting surge rose out of a silence heard after the last onset ...
    int64_t surgeOnsetBefore = -100000; // ... this one
    int64_t strike = -1;          // a peak far over the held note's that made no onset, or -1
    // The detection function's last values, newest first: a note struck again over its own release
    // stands far above the held note's.
    static constexpr int kOdfHistory = 24;
    double odfs[kOdfHistory] = {};
    // What of each of those values a change of level alone does not give (see kLevelAlone).
    double unexplained[kOdfHistory] = {};
    double frameLevel = 0.0;      // the last frame's level (RMS)
    int odfCount = 0;
    // Levels over a longer span, newest first: the level a note held before a dip in it.
    static constexpr int kHeldLevelHistory = 32;
    double heldLevels[kHeldLevelHistory] = {};
    int heldLevelCount = 0;
    HarmonicSpread harmonics;     // a second voice beside the held note's
    // The spread of the held note's harmonics (cents) in the last frames, newest first; -1 where
    // there was no held note to read.
    static constexpr int kSpreadHistory = 12;
    double spreads[kSpreadHistory] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    double rumbleInput = 0.0;     // the high-pass's last input and output, across hops
    double rumbleOutput = 0.0;
};
