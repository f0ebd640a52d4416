#include "pitch/Pitch.h"

#include <cmath>

const char* const MidiNoteNames[13] = {"C",  "C#", "D",  "D#", "E",  "F",   "F#",
                                       "G",  "G#", "A",  "A#", "B",  "NONE"};

void Pitch::freqToNote(double frequency, Note& note, int& octave)
{
    note = NONE;
    octave = 0;
    if (!(frequency > 0.0))
        return;
    // Half a semitone added so truncation rounds to the nearest note; halfway goes up.
    const double x = std::log10(frequency / 440.0) / 0.3010299956639812 * 12.0 + 57.0 + 0.5;
    const int n = static_cast<int>(x);
    const int q = n / 12;
    const int r = n - 12 * q;
    if (r < 0)
        return;
    note = static_cast<Note>(r);
    octave = q;
}

double Pitch::noteToFreq(Note note, int octave)
{
    const int k = (note == NONE) ? -9 : static_cast<int>(note) + 12 * octave + 3;
    return 13.75 * std::pow(2.0, k / 12.0);
}

int Pitch::midiNote(Note note, int octave)
{
    if (note == NONE)
        return 0;
    return static_cast<int>(note) + 12 * octave + 12;
}

int Pitch::gmnToMidiOctave(int gmnOctave)
{
    return gmnOctave + 3;
}

const char* Pitch::noteToStr(Note note)
{
    return MidiNoteNames[note];
}
