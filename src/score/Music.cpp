#include "score/Music.h"

#include "debug/Debugging.h"

#include <strings.h>

const char* const Music::solfege[12] = {"Do", "Ra", "Re", "Me", "Mi", "Fa", "Se", "Sol", "Le", "La", "Te", "Ti"};
const char* const Music::notes_flats[12] = {"c", "d&", "d", "e&", "e", "f", "g&", "g", "a&", "a", "b&", "b"};
const char* const Music::notes_sharps[12] = {"c", "c#", "d", "d#", "e", "f", "f#", "g", "g#", "a", "a#", "b"};
const char* const Music::circle_of_5ths_sharps[7] = {"c", "g", "d", "a", "e", "b", "f#"};
const char* const Music::circle_of_5ths_flats[7] = {"c", "f", "b&", "e&", "a&", "d&", "g&"};

int Music::noteIndex(const char* noteName)
{
    if (!noteName)
        return -1;
    for (int i = 0; i < 12; ++i) {
        if (strcasecmp(noteName, notes_flats[i]) == 0 || strcasecmp(noteName, notes_sharps[i]) == 0)
            return i;
    }
    return -1;
}

const char* Music::noteToSolfege(int key, ScaleType scale, const char* noteName)
{
    const char* root = nullptr;
    if (key >= 0 && key <= 6)
        root = circle_of_5ths_sharps[key];
    else if (key < 0 && key >= -6)
        root = circle_of_5ths_flats[-key];
    // the score checks isKeySupported first, so only a broken caller gets here
    BRISOLA_ASSERT(root);
    if (!root)
        return nullptr;

    if (scale == Minor) {
        // movable do on the relative minor's tonic
        const int major = noteIndex(root);
        if (major != -1)
            root = (key < 0 ? notes_flats : notes_sharps)[(major + 9) % 12];
    }

    const int root_idx = noteIndex(root);
    const int note_idx = noteIndex(noteName);
    BRISOLA_ASSERT(root_idx != -1);
    BRISOLA_ASSERT(note_idx != -1);
    if (root_idx == -1 || note_idx == -1)
        return nullptr;
    return solfege[((note_idx - root_idx) % 12 + 12) % 12];
}

const char* Music::noteToSolfege(int key, ScaleType scale, int note)
{
    const char* noteName = nullptr;
    if (note >= 0 && note < 12)
        noteName = (key < 0 ? notes_flats : notes_sharps)[note];
    BRISOLA_ASSERT(noteName);
    if (!noteName)
        return nullptr;
    return noteToSolfege(key, scale, noteName);
}
