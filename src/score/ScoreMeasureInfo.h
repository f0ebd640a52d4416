#pragma once

#include <QList>
#include <QString>

// One beat of a measure. Known as Score::BeatInfo.
struct ScoreBeatInfo {
    int index = 0;
    // Length in whole notes (a quarter is 0.25).
    double length = 0.0;
    // The beat divides into three.
    bool triple = false;

    QString toString() const;
};

// One measure: its time signature, counting scheme and beats. Known as Score::MeasureInfo.
struct ScoreMeasureInfo {
    int numerator = 0;
    int denominator = 0;
    // Group sizes (2 or 3) of the beats; empty for the default counting.
    QList<int> countingScheme;
    QList<ScoreBeatInfo> beatList;

    bool hasMeter() const { return numerator >= 1 && denominator >= 1; }
    // Length in whole notes.
    double length() const { return denominator ? double(numerator) / double(denominator) : 0.0; }
    QString toString() const;
};
