#pragma once

#include "score/Score.h"

// A score for QML that holds one level of the interaction lock from a successful play() until its
// playback ends.
class ScoreProxy : public Score {
    Q_OBJECT
public:
    explicit ScoreProxy(QQuickItem* parent = nullptr);
    // A page unloaded mid-playback: the playback stops and the lock level goes with it.
    ~ScoreProxy() override;

    Q_INVOKABLE bool play() override;
    Q_INVOKABLE void stop() override;
    // The note sounding `seconds` after the score's first note at its tempo; -1 before it, after
    // the last note and in a rest-free gap. Lets a page follow a playback another sequencer runs.
    Q_INVOKABLE int noteIndexAtTime(double seconds) const;

protected:
    void onStopped() override;
};
