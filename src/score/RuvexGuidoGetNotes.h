#pragma once

#include "score/ScoreNoteInfo.h"

#include <QList>

struct GmnEvent;

// Fills pitch and octave of the records of notes (timed from the engine's voice map) from the
// first voice's events in score order. Returns 0.
int RuvexGuidoGetNotes(const QList<GmnEvent>& events, QList<ScoreNoteInfo>& notes);
// The same with the event of each record given (index into events; -1 leaves the record as it is).
int RuvexGuidoGetNotes(const QList<GmnEvent>& events, QList<ScoreNoteInfo>& notes, const QList<int>& eventOfRecord);
