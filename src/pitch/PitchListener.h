#pragma once

#include "pitch/PitchDetector.h"

// Receives the detector's accepted notes and onsets, on its worker thread. It must not feed the
// detector from inside these calls.
class PitchListener {
public:
    virtual void newOnset(const PitchDetector::OnsetInfo&) {}
    virtual void newNote(const PitchDetector::NoteInfo& note) = 0;

protected:
    ~PitchListener() = default;
};
