#pragma once

#include "score/ScoreNoteInfo.h"

#include <QList>

#include <initializer_list>

// One note for analysis tests: pitch, octave, start and end as whole-note fractions.
struct TestNote {
    int note;
    int octave;
    int startNum, startDenom, endNum, endDenom;
};

// A note list as the score builds it (seconds at tempo 100: a quarter is 0.6 s).
inline QList<ScoreNoteInfo> makeNotes(std::initializer_list<TestNote> notes)
{
    QList<ScoreNoteInfo> list;
    for (const TestNote& n : notes) {
        ScoreNoteInfo info;
        info.note = n.note;
        info.octave = n.octave;
        info.guidoTimeSegment = {NotationDate(n.startNum, n.startDenom), NotationDate(n.endNum, n.endDenom)};
        info.timeSegment.first = info.guidoTimeSegment.start.toDouble() * 2.4;
        info.timeSegment.second = info.guidoTimeSegment.end.toDouble() * 2.4;
        list << info;
    }
    return list;
}

// count equal notes of length 1/denom starting at 0, all pitch c1.
inline QList<ScoreNoteInfo> evenNotes(int count, int denom)
{
    QList<ScoreNoteInfo> list;
    for (int i = 0; i < count; ++i)
        list << makeNotes({{0, 1, i, denom, i + 1, denom}});
    return list;
}
