#pragma once

#include <QList>
#include <QString>
#include <QVector>

// Answers synthesised for the end-to-end exercises, mono 16-bit at 44.1 kHz: a voice-like harmonic
// tone (glottal-like harmonics shaped by two formants, light vibrato, soft attack and release)
// for sung notes (written with the audio fixtures).
namespace SungAnswer {

struct Note {
    double start = 0.0;     // seconds from the beginning of the signal
    double duration = 0.0;  // seconds
    double frequency = 0.0; // Hz
};

QVector<short> voice(const QList<Note>& notes, double seconds, unsigned seed = 1);
// The start of each sound after at least minGap seconds of quiet, in seconds.
QList<double> onsets(const QVector<short>& samples, double minGap = 0.05);

}  // namespace SungAnswer
