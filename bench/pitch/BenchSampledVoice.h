#pragma once

#include "BenchVoiceTakes.h"

#include <QString>

#include <vector>

// What a take of the generators asks to be sung, sung by recorded voice samples: a SoundFont's
// preset (General MIDI's "Voice Oohs" is program 53, counted from 0), with a scoop from below or a
// sharp start settling within 0.1 s and a vibrato fading in late, both made by pitch bends. Notes go
// to two channels in turn, so that a note's release keeps its own pitch while the next one starts.
// The traits are drawn from the seed alone, so two SoundFonts sing a seed's takes alike.
class BenchSampledVoice {
public:
    // The voice as the tables name it: the SoundFont's file name, the program and its preset's name.
    static QString name(const QString& soundFont, int program);

    // Renders each take's sung notes into its pcm; false when the SoundFont cannot be loaded or has
    // no such preset.
    static bool sing(const QString& soundFont, int program, std::vector<BenchVoiceTakes::Take>& takes, unsigned seed);
};
