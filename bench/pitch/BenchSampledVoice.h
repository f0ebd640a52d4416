#pragma once

#include "BenchVoiceTakes.h"

#include <QString>

#include <vector>

// What a take of the generators asks to be sung, sung by recorded voice samples: a General MIDI
// SoundFont's "Voice Oohs", with a scoop from below or a sharp start settling within 0.1 s and a
// vibrato fading in late, both made by pitch bends. Notes go to two channels in turn, so that a
// note's release keeps its own pitch while the next one starts.
class BenchSampledVoice {
public:
    static constexpr int kProgram = 53; // "Voice Oohs", counted from 0

    // Renders each take's sung notes into its pcm (the voice's traits drawn from seed); false when
    // the SoundFont cannot be loaded or has no such preset.
    static bool sing(const QString& soundFont, std::vector<BenchVoiceTakes::Take>& takes, unsigned seed);
};
