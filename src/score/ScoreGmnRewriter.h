#pragma once

#include <QString>

// Rewrites the question code's own forms into plain GMN for the notation engine: highlight
// markup into note colours and, in percussive mode, one-line staves and pitch-less "x" notes.
class ScoreGmnRewriter {
public:
    static const char* const highlightOn;
    static const char* const highlightOff;
    static const char* const percussiveStaff;
    static const char* const percussiveNote;

    // Whether the code asks for percussive mode (the word anywhere, case-sensitive).
    static bool isPercussive(const QString& code);
    // Whether the code holds "x" notes (a blank followed by "x").
    static bool hasPercussiveNotes(const QString& code);
    // The code the engine sees.
    static QString rewrite(const QString& code);
};
