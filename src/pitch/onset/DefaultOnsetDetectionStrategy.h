#pragma once

#include "pitch/OnsetDetectionStrategy.h"

#include <cstdint>

class DefaultOnsetDetectionStrategyPrivate;

// Slides a frame over the incoming samples with a fixed hop, turns each frame into one value of
// the peak amplitude difference function and hands it to the real-time peak picker. A peak is an
// onset only at an attack, a rise in level (above 300 Hz, clear of the room's rumble) well over the
// room's noise, and no held note's level back from a shallow dip; a legato change of pitch by a
// semitone or more is an onset of its own, and so are a held note struck again (a sharp peak with a
// sudden, small rise, or a second voice pulling its harmonics apart) and a pitched note heard from
// the start.
class DefaultOnsetDetectionStrategy : public OnsetDetectionStrategy {
public:
    DefaultOnsetDetectionStrategy(int frameSize, int hopSize, int samplingRate);
    ~DefaultOnsetDetectionStrategy() override;
    DefaultOnsetDetectionStrategy(const DefaultOnsetDetectionStrategy&) = delete;
    DefaultOnsetDetectionStrategy& operator=(const DefaultOnsetDetectionStrategy&) = delete;

    void reset() override;
    void process(QVector<double>& block, PitchDetector* detector) override;

private:
    bool isAttack(double level) const;
    // The loudest of this hop and the two before, over the quietest of the eight before those.
    double rise(double level) const;
    double loudest(double level) const;
    // Whether the newest frames' pitch stands a step apart from the held note's; span holds the
    // newest samples; moved is the move in semitones.
    bool pitchChanged(const double* span, int count, double& moved) const;
    bool soundingFromTheStart(const double* span, int count) const;
    // A peak far over the held note's with a sudden rise in level, the note struck again.
    bool struckAgain(double level) const;
    // A held note's level back from a shallow dip to where it was, at the same pitch.
    bool backFromDip(double level) const;
    // The detection function's newest peak no higher than a change of level alone gives it.
    bool nothingNew(double level) const;
    // The level climbed back over the last hops without a jump, as a sample's own dip does.
    bool climbedSlowly(double level) const;
    // Both, remembered at position: the peaks just after it are the same rise.
    bool swelling(double level, int64_t position);
    // The detection function's last value stands far over the held note's.
    bool peakOverHeldNote() const;
    // The newest frame's pitch lies at the held note's subharmonic.
    bool atSubharmonic() const;
    static bool toSubharmonic(double semitones);
    // The spread of the held note's harmonics in the newest frame, -1 without a held note.
    double heldSpread(double level);
    // The held note's harmonics pulled apart by a second voice at nearly its pitch: struck again.
    // value is the newest frame's detection function.
    bool secondVoice(double level, double value, int64_t position) const;
    // The same note's attack still rising since the last onset, at its pitch.
    bool attackRisingOn(int64_t position) const;
    // The last hops all stood over the room's level: the held note still sounds.
    bool heldSounding() const;
    double heldOdf(int from) const;
    int heldPitches(double* held) const;

    DefaultOnsetDetectionStrategyPrivate* d;
};
