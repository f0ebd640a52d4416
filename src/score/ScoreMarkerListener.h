#pragma once

#include "audio/AudioSequencerMarkerEventListener.h"

class Score;

// Receives a score's note markers on the main thread and moves its current note.
class ScoreMarkerListener : public AudioSequencerMarkerEventListener {
    Q_OBJECT
public:
    explicit ScoreMarkerListener(Score* score);

    void newMarker(int id, double position) override;

private:
    Score* mp_score;
};
