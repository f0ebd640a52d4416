#pragma once

// Note and frequency conversions. Octaves are scientific: A 440 Hz and middle C lie in octave 4;
// GMN octaves are 3 lower.
class Pitch {
public:
    enum Note : int { C = 0, CSharp, D, DSharp, E, F, FSharp, G, GSharp, A, ASharp, B, NONE };

    static void freqToNote(double frequency, Note& note, int& octave);
    static double noteToFreq(Note note, int octave);
    static int midiNote(Note note, int octave);
    static int gmnToMidiOctave(int gmnOctave);
    // Static text; callers pass 0..12.
    static const char* noteToStr(Note note);

    Pitch() = delete;
};

extern const char* const MidiNoteNames[13];
