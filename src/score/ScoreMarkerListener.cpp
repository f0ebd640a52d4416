#include "score/ScoreMarkerListener.h"

#include "debug/Debugging.h"
#include "score/Score.h"

ScoreMarkerListener::ScoreMarkerListener(Score* score)
    : mp_score(score)
{
}

void ScoreMarkerListener::newMarker(int id, double position)
{
    LOG_TRACE("score", "[%lu] %s(id=%d, position=%.02lf)", mp_score->instanceNumber(), "newMarker", id, position);
    // a little past the marker so the time lies inside the note starting there
    mp_score->setCurrentNoteByTimeOffset(position + 0.01);
}
