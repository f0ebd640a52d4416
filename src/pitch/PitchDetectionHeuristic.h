#pragma once

#include "pitch/PitchDetector.h"

#include <QString>

// One link of the detector's chain: may rewrite a raw result and returns false to reject it.
class PitchDetectionHeuristic {
public:
    PitchDetectionHeuristic(PitchDetector* detector, const QString& name);
    virtual ~PitchDetectionHeuristic();

    // At start(), after reset(), in chain order.
    virtual void prepare() {}
    virtual bool process(PitchDetector::NoteInfo& note) = 0;
    // At every detector reset, in chain order.
    virtual void reset() {}

    const QString& name() const { return m_name; }

protected:
    QString m_name;
    PitchDetector* mp_detector;
};
