#pragma once

#include "pitch/PitchDetector.h"

// Receives the detector's accepted notes and onsets, on its worker thread. It must not feed the
// detector from inside these calls.
class PitchListener {
public:
    virtual void newOnset(const PitchDetector::OnsetInfo&) {}
    // Each block as the worker is about to analyse it (scaled as the detector was fed); time is its
    // first sample's, in seconds since start().
    virtual void newBlock(const QVector<double>&, double) {}
    virtual void newNote(const PitchDetector::NoteInfo& note) = 0;

protected:
    ~PitchListener() = default;
};
