#pragma once

#include "BenchVoiceTakes.h"

#include <QString>

#include <vector>

// Melodies of the kind sung-melodies.py makes, sung by recorded voice samples: a General MIDI
// SoundFont's "Voice Oohs", with a scoop from below or a sharp start settling within 0.1 s and a
// vibrato fading in late, both made by pitch bends. Notes go to two channels in turn, so that a
// note's release keeps its own pitch while the next one starts.
class BenchSampledVoice {
public:
    static constexpr int kProgram = 53; // "Voice Oohs", counted from 0

    // count takes from seed with white room noise at noiseDbfs (none when 0); empty when the
    // SoundFont cannot be loaded or has no such preset.
    static std::vector<BenchVoiceTakes::Take> render(const QString& soundFont, int count, unsigned seed, double noiseDbfs);
};
