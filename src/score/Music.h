#pragma once

// Note names (GMN spelling: "&" flat, "#" sharp) and movable-do solfege.
class Music {
public:
    enum ScaleType { Major = 0, Minor = 1 };

    static const char* const solfege[12];
    static const char* const notes_flats[12];
    static const char* const notes_sharps[12];
    static const char* const circle_of_5ths_sharps[7];
    static const char* const circle_of_5ths_flats[7];

    // Solfege of a note name relative to the key (sharps positive, flats negative, -6..6) and
    // scale; the tonic is always "Do". Null, with an assertion, for a key out of range or an
    // unknown name.
    static const char* noteToSolfege(int key, ScaleType scale, const char* noteName);
    static bool isKeySupported(int key) { return key >= -6 && key <= 6; }
    // The same for a pitch class 0 (C) .. 11 (B), spelled with flats in flat keys.
    static const char* noteToSolfege(int key, ScaleType scale, int note);

    // Position of a note name in either table (case-insensitive), -1 when in neither.
    static int noteIndex(const char* noteName);
};
