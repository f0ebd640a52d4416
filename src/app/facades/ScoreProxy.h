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

protected:
    void onStopped() override;
};
