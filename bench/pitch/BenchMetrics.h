#pragma once

#include "BenchSignals.h"

#include <vector>

// Scores pitch tracks, notes and onsets against the rendered melody.
class BenchMetrics {
public:
    struct Frame {
        double time;
        double frequency; // 0 or less: unvoiced
    };
    struct DetectedNote {
        double offset;
        int midi;
    };
    struct PitchScore {
        double grossErrorRate = 0.0; // voiced truth frames more than 20 % off or unvoiced
        double medianCents = 0.0;    // over the frames without gross error
        int frames = 0;
    };
    struct OnsetScore {
        double precision = 0.0;
        double recall = 0.0;
        double f = 0.0;
        double meanOffsetMs = 0.0; // detected minus true, over matches
    };

    // Frames inside notes, 50 ms clear of both ends.
    static PitchScore scorePitch(const std::vector<Frame>& frames, const std::vector<BenchSignals::Note>& truth);
    // Median estimate over the middle half of each true note, named to the nearest note.
    static int segmentNotesRight(const std::vector<Frame>& frames, const std::vector<BenchSignals::Note>& truth);
    // A true note is right when a detected note within -250 .. +300 ms (a re-struck pitch is dated from the
    // run still in the averaging window, up to about 0.2 s early) of its start names it.
    static int detectedNotesRight(const std::vector<DetectedNote>& notes, const std::vector<BenchSignals::Note>& truth);
    static OnsetScore scoreOnsets(const std::vector<double>& detected, const std::vector<BenchSignals::Note>& truth,
                                  double tolerance);
    static int frequencyToMidi(double frequency);
};
