#include "pitch/heuristics/SilenceFilterHeuristic.h"

SilenceFilterHeuristic::SilenceFilterHeuristic(PitchDetector* detector)
    : PitchDetectionHeuristic(detector, QStringLiteral("SilenceFilterHeuristic"))
{
}

bool SilenceFilterHeuristic::process(PitchDetector::NoteInfo& note)
{
    return note.note != Pitch::NONE;
}
