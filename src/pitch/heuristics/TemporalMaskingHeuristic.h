#pragma once

#include "pitch/PitchDetectionHeuristic.h"

#include <QList>

// Pairs results with expected notes by time: each expected note keeps the detected record of
// its own pitch closest to its time within the window, released once the window has passed.
class TemporalMaskingHeuristic : public PitchDetectionHeuristic {
public:
    struct Entry {
        PitchDetector::NoteInfo expected;
        PitchDetector::NoteInfo match;
        bool used = false;
    };

    TemporalMaskingHeuristic(PitchDetector* detector, double window);
    void prepare() override;
    bool process(PitchDetector::NoteInfo& note) override;
    void reset() override;

    const QList<Entry>& entries() const { return m_entries; }

private:
    bool findBestMatch(const PitchDetector::NoteInfo& note, PitchDetector::NoteInfo& result);

    QList<Entry> m_entries;
    double m_window;
};
