#pragma once

#include <QString>

// What the question code's custom tags say. Absent forms keep the score's previous setting
// except the key and the three playback flags, which every code re-derives.
struct ScoreCustomTags {
    bool hasKey = false;
    int key = 0;
    // "major", "minor" or any other word of the solfege form; empty when absent.
    QString scaleType;
    // Set only by a bpm form giving a usable tempo (at least 1).
    bool hasTempo = false;
    int tempo = 0;
    // A bpm form was present but gave no usable tempo; its text.
    QString refusedTempo;
    bool percussive = false;
    bool countingOverlay = false;
    bool solfegeOverlay = false;
    bool hasMetronome = false;
    QString metronome;
    bool countIn = false;

    static ScoreCustomTags read(const QString& code);
};
