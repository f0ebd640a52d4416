#pragma once

#include "score/Music.h"
#include "score/ScoreMeasureInfo.h"
#include "score/ScoreNoteInfo.h"

#include <QList>
#include <QString>
#include <QStringList>

// The musical context of a score's notes: measures with their beats from the code, a counting
// syllable per note from its place in its beat, a solfege syllable per note from the key.
// Works in whole-note fractions only, so a tempo change leaves its results valid.
class ScoreAnalyzer {
public:
    // Larger numerators are refused like a malformed meter: every beat is a record, and a
    // hostile code must not make billions of them.
    static const int maxMeterNumerator = 128;

    // instance: the score's number for its log lines; code: the code the score holds.
    ScoreAnalyzer(unsigned long instance, const QString& code);

    // The measure list; false (and an empty list) on a syntax error in a meter.
    bool analyzeMeasures(QList<ScoreMeasureInfo>& measures) const;
    // One counting syllable per note; false when a note lies outside the measures or beats,
    // leaving the syllables found so far.
    bool analyzeRhythm(const QList<ScoreNoteInfo>& notes, const QList<ScoreMeasureInfo>& measures,
                       QStringList& syllables) const;
    // One solfege syllable per note: empty for rests and tie continuations, "?" when there is none.
    void analyzeMelody(const QList<ScoreNoteInfo>& notes, int key, Music::ScaleType scale,
                       QStringList& syllables) const;

    // The counting syllable at pct percent (truncated) of a beat.
    static QString countingSyllable(int pct, int beatIndex, bool triple);

private:
    void deriveBeats(ScoreMeasureInfo& measure) const;

    unsigned long m_instance;
    QString m_code;
};
