#pragma once

#include <QString>

class AudioBuffer;
struct MidiSynthPrivate;

// Renders standard MIDI files offline through a General MIDI SoundFont (FluidSynth, 44100 Hz stereo).
// Result codes: 0 ok; 1 no SoundFont loaded; 3 not a SoundFont; 4 any other failure.
class MidiSynth {
public:
    static MidiSynth* instance();
    virtual ~MidiSynth();

    int initialize(const QString& soundFontPath);
    bool isInitialized() const;
    // Appends the whole rendered file to buffer (interleaved stereo 16-bit).
    int renderToAudioBuffer(const QString& midiPath, AudioBuffer& buffer);
    int renderToPcmFile(const QString& midiPath, const QString& outputPath);
    void cleanup();

private:
    MidiSynth();
    int prepare(const QString& midiPath);

    static MidiSynth* mp_instance;
    MidiSynthPrivate* mp_private;
};
