#pragma once

// How a score is turned into a Standard MIDI File.
struct MidiExportParameters {
    int tempo = 120;                     // quarter notes per minute
    int ticksPerQuarter = 960;
    int channel = 0;                     // counted from 0; 9 is the percussion channel
    float intensity = 0.8f;              // velocity as a fraction of 127
    float accentFactor = 1.1f;           // velocity factors
    float marcatoFactor = 1.2f;
    float defaultDurationFactor = 0.8f;  // sounding length as a fraction of the written one
    float staccatoFactor = 0.5f;
    float slurFactor = 1.0f;
    float tenutoFactor = 0.9f;
    float fermataFactor = 2.0f;
};
