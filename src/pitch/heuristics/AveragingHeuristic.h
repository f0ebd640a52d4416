#pragma once

#include "pitch/PitchDetectionHeuristic.h"

#include <QList>

// Smooths raw results over a sliding window: the most frequent note of the window (expected
// notes weigh double) becomes the result, dated from the start of its run; failing that, a note
// with three quarters of minCount results and most of the pitched ones. Apart from the vote: a
// note struck again after the one taken, and a short expected note between two attacks.
class AveragingHeuristic : public PitchDetectionHeuristic {
public:
    // A minCount of 0 means 40 % of the window.
    AveragingHeuristic(PitchDetector* detector, int windowSize, int minCount);

    bool process(PitchDetector::NoteInfo& note) override;
    // Per capture: the window, the last note and the history are emptied.
    void reset() override;

    // One entry per distinct averaged note of this capture, spanning its results no more than an
    // octave under its own, read by the onset coordinator.
    const QList<PitchDetector::NoteInfo>& history() const { return m_history; }
    // Whether the result just passed is the last accepted note sung again: an attack heard after
    // that note had been sung a while, and only the note's pitch in the results since. Read by the
    // unique filter, which otherwise drops a repeat the expected melody does not hold.
    bool restruck() const { return m_restruck; }
    // Whether the note's run, from its offset over its duration, holds its pitch throughout (three
    // results in four name it, none is silent) after results without pitch (three of the four
    // before it, all of them after since), and the newest result lies waited seconds past its start:
    // a note struck from silence, an attack the onset detector may miss in room noise. Noise read as
    // pitch comes and goes.
    bool steadyAfterSilence(const PitchDetector::NoteInfo& note, double since, double waited) const;
    // Whether every result of the note's run, from its offset over its duration, names its pitch
    // (one in eight may not; none is silent): a pitch held, not a vibrato's swing or a scoop.
    bool heldThroughout(const PitchDetector::NoteInfo& note) const;
    // Whether the note is what sounds after the attack at the given time: 1 when the results from
    // the tracker's lag after it lie at the note and enough of them do (or all up to a silence, but
    // for a fading sag), 0 while too few have come, -1 when they leave it or none has a pitch.
    int soundsFrom(double attack, Pitch::Note note) const;

    // Most frequent note of the window; false when none reaches the minimum count or no entry
    // of the winning note lies in a counted octave.
    bool getMostFrequentNoteInWindow(Pitch::Note& note, int& octave, double& frequency) const;
    // Index of the first run of three entries of the note, or -1 (the last three are not
    // starting points).
    int findFirst(Pitch::Note note) const;
    // Index of the last entry that ends a run of two entries of the note, or -1.
    int findLast(Pitch::Note note) const;

private:
    bool evaluate(PitchDetector::NoteInfo& note);
    // The time of the attack that strikes the winning note again, or a negative value.
    double restrikeTime(Pitch::Note winner) const;
    // A note too short for the vote, between two attacks: true when one was taken into note.
    bool takeShortNote(PitchDetector::NoteInfo& note);
    // Where a silence began in the newest results, or -1.
    double silenceStart() const;
    // Names the window's and the recent results as the vote hears them, for the expected note of
    // the moment: each by its frequency, but a neighbour's a semitone off the expected note, within
    // the quantiser's reach of it, as the expected note where most of that neighbour's are.
    void hear();
    // Names the results of a neighbour (a semitone off the note, but not skipClass) within the
    // quantiser's reach of the note as that note, where most of that neighbour's results are.
    void hearNeighboursAs(Pitch::Note note, int octave, int skipClass);

    int m_windowSize;
    int m_minCount;
    double m_expectedWeight;
    QList<PitchDetector::NoteInfo> m_window;
    // The last results, twice the window's length and never trimmed by a vote: what was sung
    // before an attack.
    QList<PitchDetector::NoteInfo> m_recent;
    PitchDetector::NoteInfo m_lastNote;
    QList<PitchDetector::NoteInfo> m_history;
    bool m_restruck = false;
    // The notes taken when the vote last named the expected note as a new pitch, or -1: while none
    // has been taken since, the step was refused (not yet held long enough without an onset).
    int m_takenAtStep = -1;
};
