#include "pitch/heuristics/BooleanTransformHeuristic.h"

BooleanTransformHeuristic::BooleanTransformHeuristic(PitchDetector* detector)
    : PitchDetectionHeuristic(detector, QStringLiteral("BooleanTransformHeuristic"))
{
}

bool BooleanTransformHeuristic::process(PitchDetector::NoteInfo& note)
{
    if (note.note != Pitch::NONE) {
        note.note = Pitch::C;
        note.octave = 1;
        note.frequency = -1.0;
    }
    return true;
}
