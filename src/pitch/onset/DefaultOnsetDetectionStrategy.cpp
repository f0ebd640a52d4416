#include "pitch/onset/DefaultOnsetDetectionStrategy.h"

#include "debug/Debugging.h"
#include "pitch/DyWaPitchTracker.h"
#include "pitch/PitchDetector.h"
#include "pitch/onset/DefaultOnsetDetectionStrategyPrivate.h"
#include "pitch/onset/RTOnsetDetection.h"
#include "pitch/onset/SignalMath.h"

#include <algorithm>
#include <cmath>

DefaultOnsetDetectionStrategy::DefaultOnsetDetectionStrategy(int frameSize, int hopSize, int samplingRate)
    : d(nullptr)
{
    LOG_TRACE("pitch-dods", "frameSize=%d; hopSize=%d, samplingRate=%d", frameSize, hopSize, samplingRate);
    d = new DefaultOnsetDetectionStrategyPrivate(frameSize, hopSize, samplingRate);
}

DefaultOnsetDetectionStrategy::~DefaultOnsetDetectionStrategy()
{
    delete d;
}

void DefaultOnsetDetectionStrategy::reset()
{
    const int frameSize = d->odf.get_frame_size();
    const int hopSize = d->odf.get_hop_size();
    const int samplingRate = d->odf.get_sampling_rate();
    delete d;
    d = new DefaultOnsetDetectionStrategyPrivate(frameSize, hopSize, samplingRate);
}

namespace {
// An attack raises the level at least 6 dB over the quietest hop of the 93 ms before it; vibrato and
// tremolo inside a held note move the frequency peaks (and the picker) but not the level that much.
constexpr double kAttackRise = 2.0;
// The attack's rise lies in the newest hop or the two before: a clap has died away again by the
// frame that completes its peak.
constexpr int kAttackHops = 3;
// ... and lies 6 dB over the room's noise floor.
constexpr double kOverFloor = 2.0;
// A second peak within 100 ms belongs to the same attack (a scoop, a glide, the rest of a clap).
constexpr int64_t kRefractory = 4410;
// A sung note's attack may rise in stages: a recorded ensemble's slow attack peaks again after it
// struck, at the pitch it began with (on the bench, FluidR3's "Ohh Voices" 0.10-0.19 s after its
// first peak, 327 times in 3112 notes, and next 0.33 s after it; TimGM6mb's "Voice Oohs" no sooner
// than 0.22 s, where its sustain swells). A note is sung again no sooner than this (the shortest
// note sung lasts 0.25 s), so an attack this soon after a strike, at the pitch read since, is that
// strike's own. Claps have no pitch, and a new note's pitch moves a step. A step heard without an
// attack may lie in the last note's release, before the next note's own strike.
constexpr int64_t kAttackStages = 8820;
// The held note's pitch: the frames from this many back (93 ms; the newest may hold the next note's
// attack and scoop) to the oldest kept, 13 frames or 150 ms, about one vibrato cycle; at least this
// many of them pitched, or no note is held.
constexpr int kHeldFrom = 8;
constexpr int kHeldFrames = 10;
// The newest frames' pitch: their median, all three pitched and within a semitone of each other
// (noise between two notes reads pitches all over the place).
constexpr int kRecentFrames = 3;
// The tracker's slips off a held note: its subharmonics (half, a third and a quarter of its
// frequency), in semitones under it; a frame read one or two octaves off is folded back.
constexpr double kSubharmonics[] = {12.0, 19.0, 24.0};
constexpr double kSlipOctaves = 2.0;
// A change of pitch by this many semitones is an onset too (legato), read over 1024 samples.
constexpr double kPitchStep = 0.8;
constexpr int kPitchSpan = 1024;
constexpr int kStepLag = 2;                 // frames between the new pitch's start and its detection
constexpr int64_t kStepRefractory = 11025;  // 250 ms: one step per note
// A step up by less than this many semitones without a rise waits this many hops (46 ms) for an
// attack: a note struck again bent sharp shows its pitch two hops before the picker's peak, and the
// step alone would not say it was struck. A wider step is the next note.
constexpr double kBentStrike = 1.5;
constexpr int kStepHold = 4;
// A step down by as little without a rise may be the last note's pitch sagging in its release
// before the next note is struck: it waits this many hops (93 ms) for an attack, which then stands
// for the new note at its own time.
constexpr int kSagHold = 8;
// A peak of the detection function this far over the held note's (see kRestrikePeak) up to 0.2 s
// before a step without an attack is where the step's note was struck: over the last note's release
// the new pitch shows only once the mixture of the two settles.
constexpr int64_t kStrikeBeforeStep = 8820;
// A rise by this much (12 dB) is an attack without the picker's peak.
constexpr double kSurge = 4.0;
constexpr int kSurgeWait = 8;
// The surge's rise lies in the frame's newest hops: it is dated this many hops after the frame's start.
constexpr int kSurgeLead = 2;
// Out of the room's silence (the quietest hop before the rise within 3 dB of the floor) the 6 dB an
// attack rises will do, once the level stands as far over the floor too: a quiet high vowel in room
// noise rises only 7-10 dB over it, a held note's dip never reaches the floor, and breath has no
// steady pitch.
constexpr double kQuietSurge = 2.0;
constexpr double kSilence = 1.41;
// The newest samples' correlation one held period later over this: the held note still sounds. Its
// own harmonics keep it near 0.3 even under a subharmonic as strong as the note; a new note's
// harmonics fall out of phase there and bring it below 0.
constexpr double kStillPeriodic = 0.2;
// A level more than 6 dB under four hops before: a release (a legato glide dips 3 dB at most).
constexpr double kReleaseLevel = 0.5;
constexpr int kReleaseHops = 4;
// Held frames this close to an octave from the held note's median are the note heard an octave off.
constexpr double kOctaveSlipSpread = 1.0;
// Within a quarter tone over two frames: a held note, not noise.
constexpr double kSteadyPitch = 0.5;

// A note struck again over its own release (a recorded voice's repeat with no gap) rises only 2-4 dB,
// short of an attack, but its detection function's peak stands this many times over the held note's
// median (the values before the peak's rise, which takes four hops) ...
constexpr double kRestrikePeak = 4.0;
constexpr int kPeakRiseHops = 4;
// ... and its level jumps 2 dB within one hop of the last four. A vibrato's tremolo swells as much,
// but over half its cycle (80-100 ms), by 1 dB a hop at most ...
constexpr double kRestrikeJump = 1.25;
constexpr int kRestrikeHops = 4;
// ... unless the voice's level jitters from hop to hop (a low voice's pulses against the hop): a
// held level that rose by this much from one hop to the next gives no jump to trust.
constexpr double kRestrikeSteady = 1.1;

// A held note's level that dips less than 14 dB and comes back no higher than 1 dB over the loudest
// it was before the dip is that note swelling again, not sung again (a sampled voice's looped
// sustain sags and returns: by up to 12.9 dB in TimGM6mb's held notes, 3.2 dB in FluidR3's; a note
// let go and sung again falls further, a strike brings a new sound) ...
constexpr double kShallowDip = 5.0;
constexpr double kDipReturn = 1.12;
constexpr int kBeforeDip = 12; // hops back: the dip's fall and rise take about four each, a surge four more
// ... with a detection function's peak under this many times the held note's, as the level's own
// rise gives it (a strike's new sound stands eight times or more over it), is that note, not struck.
constexpr double kDipPeak = 6.0;
constexpr int kDipPeakHops = 6; // the peak lies within these last hops (a surge is taken four hops after it)
// ... or whatever the peak, a change of level alone: it scales every peak of the spectrum alike, so
// the detection function (the peaks' rises) is the frame's rise in level times the peaks' amplitudes
// before it. A swell's own vibrato and noise leave no more than this share of those amplitudes
// unexplained (0.10 at a 13 dB swell with 35 cents of vibrato; on the bench no held note of either
// recorded voice swells back with a peak over the dip's bound, so none is left to this); a strike's
// new sound leaves more (a repeat struck over its release where only this decides: from 0.111,
// median 0.27, on TimGM6mb's "Voice Oohs", 10 of 102 repeats; from 0.138, median 0.45, on FluidR3's
// "Ohh Voices", 4 of 102), and a note struck from silence several times that.
constexpr double kLevelAlone = 0.11;
// Room noise lifts the held note's detection function; with the room 34 dB or more under the held
// note (a clean take's own faint noise) nothing does, and the dip's peak stands up to 7 times over it.
constexpr double kCleanDipPeak = 7.0;
constexpr double kCleanRoom = 50.0;
// A dip whose level climbs back by no more than 1.8 dB a hop over the last six is the held note's
// own swell coming back (a strike brings its new sound within a hop or two, 2 dB a hop and more):
// it may come back up to 2 dB over the held level, with a peak up to 12 times the held note's.
// Without this bound, such swells made onsets inside held notes, and a note held across a written
// repeat was graded as both notes sung.
constexpr double kSlowClimb = 1.23;
constexpr int kSlowClimbHops = 6;
constexpr double kSlowDipReturn = 1.26;
constexpr double kSlowDipPeak = 12.0;

// A recorded voice's note struck again at its pitch with no gap starts 40-100 cents off and settles
// while the last one's release rings on, often with no rise and no tall peak to hear. The two voices
// pull the held note's harmonics apart by this many cents or more at four such strikes in five (one
// voice's vibrato or scoop moves them all alike) ...
constexpr double kSecondVoice = 13.0;
// ... but a recorded voice's own sustain pulls them as far: a sample of several singers, or one
// with its own chorus, beats between its detuned copies, and each harmonic's peak wanders by its own
// amount while nothing new sounds. A second voice is a new sound: the detection function's peak in
// this frame or the three before stands this many times over the held note's, or the level rises
// 1 dB in the hop (two voices sound louder than one). A held note's own beating leaves both about
// where they were: on the bench, FluidR3's "Ohh Voices" spreads its held notes' harmonics so in 193
// frames, nine in ten under 1.43 times the held note's detection function, nine in ten under 0.6 dB
// (12 of them over 1.8 times or 1 dB), TimGM6mb's "Voice Oohs" in none; every repeat struck with no
// gap rises further on both (the tenth percentiles: 8.1 times and 2.3 dB on TimGM6mb's, 3.0 times
// and 1.7 dB on FluidR3's).
constexpr double kNewSoundPeak = 1.8;
constexpr double kNewSoundLevel = 1.12;
// ... while the level holds (a release, falling, leaves weak harmonics to wander), the last note
// still sounding over the room's level in the hops before, and the pitch read, if any, is the held
// note's.
constexpr double kSecondVoiceLevel = 0.85;
constexpr int kSecondVoiceHeld = 4;
constexpr double kSecondVoicePitch = 1.5;
// A held note whose harmonics disagree already (an ensemble's detuned voices, a choir) tells
// nothing: the spread must have been under this in the frames before (a voice's own is 2-6 cents).
constexpr double kOneVoice = 6.5;
constexpr int kOneVoiceFrom = 3; // frames back: the strike's own frames come first
constexpr int kOneVoiceFrames = 4; // frames with a held note to read among those, or nothing is told
// Where the two voices keep nearly the same balance of harmonics they pull them apart less; this many
// cents will do where the strike's new sound shows too, the detection function's peak in this frame or
// the three before standing kRestrikePeak times over the held note's, and the pitch read lies within
// a step of the held note's. Inside held notes such peaks are rare (1 and 16 of 5212 sung notes of
// the two recorded voices' tuning takes).
constexpr double kSecondVoiceWithPeak = 10.0;
constexpr int kSecondVoicePeakHops = 4;

// First-order high-pass at about 300 Hz.
constexpr double kRumblePole = 0.958;

// The level of a hop above the room's rumble: low-frequency noise swells and fades by several times
// within a tenth of a second and read as attacks; voices and claps keep their rise above 300 Hz.
double hopLevel(const double* samples, int count, double& input, double& output)
{
    double sum = 0.0;
    for (int i = 0; i < count; ++i) {
        output = kRumblePole * (output + samples[i] - input);
        input = samples[i];
        sum += output * output;
    }
    return count > 0 ? std::sqrt(sum / count) : 0.0;
}

// The period of a pitch (semitones) in samples.
double periodOf(double semitones, int samplingRate)
{
    return samplingRate / (440.0 * std::pow(2.0, (semitones - 69.0) / 12.0));
}

// The correlation of span with itself one period of the given pitch (semitones) later.
double periodicityAt(const double* span, int count, double semitones, int samplingRate)
{
    return periodicity(span, count, periodOf(semitones, samplingRate));
}
} // namespace

bool DefaultOnsetDetectionStrategy::isAttack(double level) const
{
    return rise(level) > kAttackRise && loudest(level) > kOverFloor * d->room.level();
}

double DefaultOnsetDetectionStrategy::loudest(double level) const
{
    double loudest = level;
    for (int i = 0; i + 1 < kAttackHops && i < d->levelCount; ++i)
        loudest = std::max(loudest, d->levels[i]);
    return loudest;
}

double DefaultOnsetDetectionStrategy::rise(double level) const
{
    const double top = loudest(level);
    double quietest = top;
    for (int i = kAttackHops - 1; i < d->levelCount; ++i)
        quietest = std::min(quietest, d->levels[i]);
    return quietest > 0.0 ? top / quietest : (top > 0.0 ? 1e6 : 0.0);
}

// The median of the detection function's values from this many hops back: the held note's.
double DefaultOnsetDetectionStrategy::heldOdf(int from) const
{
    double held[DefaultOnsetDetectionStrategyPrivate::kOdfHistory];
    int heldCount = 0;
    for (int i = from; i < DefaultOnsetDetectionStrategyPrivate::kOdfHistory; ++i)
        held[heldCount++] = d->odfs[i];
    return median(held, heldCount);
}

// The held note's pitch frames, the 13 (150 ms, about a vibrato cycle) before the last eight,
// those with a pitch; their count.
int DefaultOnsetDetectionStrategy::heldPitches(double* held) const
{
    int heldCount = 0;
    for (int i = kHeldFrom; i < DefaultOnsetDetectionStrategyPrivate::kPitchHistory; ++i) {
        if (d->pitches[i] > 0.0)
            held[heldCount++] = d->pitches[i];
    }
    return heldCount;
}

// A move of the pitch to the held note's subharmonic: 12, 19 or 24 semitones under it.
bool DefaultOnsetDetectionStrategy::toSubharmonic(double semitones)
{
    for (double slip : kSubharmonics) {
        if (std::fabs(semitones + slip) < kPitchStep)
            return true;
    }
    return false;
}

// The newest frame's pitch at the held note's subharmonic. A new note struck over the last one's
// release may read steady at once, at the two notes' common subharmonic.
bool DefaultOnsetDetectionStrategy::atSubharmonic() const
{
    double held[DefaultOnsetDetectionStrategyPrivate::kPitchHistory];
    const int heldCount = heldPitches(held);
    return heldCount > 0 && d->pitches[0] > 0.0 && toSubharmonic(d->pitches[0] - median(held, heldCount));
}

bool DefaultOnsetDetectionStrategy::peakOverHeldNote() const
{
    if (d->odfCount < DefaultOnsetDetectionStrategyPrivate::kOdfHistory)
        return false;
    // The peak is the value before this one; the held note's values are those before the peak's rise.
    return d->odfs[0] > kRestrikePeak * heldOdf(kPeakRiseHops);
}

// A peak of the detection function far over the held note's, with a sudden rise in level: the
// note struck again while it still sounds.
bool DefaultOnsetDetectionStrategy::struckAgain(double level) const
{
    if (d->levelCount < kRestrikeHops + 1 || !peakOverHeldNote())
        return false;
    double jump = d->levels[0] > 0.0 ? level / d->levels[0] : 0.0;
    for (int i = 0; i + 1 < kRestrikeHops; ++i) {
        if (d->levels[i + 1] > 0.0)
            jump = std::max(jump, d->levels[i] / d->levels[i + 1]);
    }
    // The held note's own level holds from hop to hop (a voice whose level jitters hop by hop
    // gives no sudden rise to trust).
    double jitter = 1.0;
    for (int i = kRestrikeHops; i + 1 < d->levelCount; ++i) {
        if (d->levels[i + 1] > 0.0)
            jitter = std::max(jitter, d->levels[i] / d->levels[i + 1]);
    }
    return jump >= kRestrikeJump && jitter < kRestrikeSteady;
}

double DefaultOnsetDetectionStrategy::heldSpread(double level)
{
    if (!(level > kOverFloor * d->room.level()))
        return -1.0;
    double held[DefaultOnsetDetectionStrategyPrivate::kPitchHistory];
    const int heldCount = heldPitches(held);
    if (heldCount < kHeldFrames)
        return -1.0;
    const double heldPitch = median(held, heldCount);
    if (d->pitches[0] > 0.0 && std::fabs(d->pitches[0] - heldPitch) >= kSecondVoicePitch)
        return -1.0;
    return d->harmonics.spread(d->buffer.data(), heldPitch);
}

bool DefaultOnsetDetectionStrategy::secondVoice(double level, double value, int64_t position) const
{
    if (!(d->spreads[0] >= kSecondVoiceWithPeak) || position - d->lastOnset < kStepRefractory || d->heldStep >= 0 ||
        d->levelCount < kSecondVoiceHeld || !(level > kSecondVoiceLevel * d->levels[0]))
        return false;
    // A strike on the level's way back from the held note's own dip rises like an attack, and the
    // picker took its peak for the dip's own.
    if (isAttack(level) && !backFromDip(level))
        return false;
    if (d->odfCount < DefaultOnsetDetectionStrategyPrivate::kOdfHistory)
        return false;
    const double peak = std::max(value, *std::max_element(d->odfs, d->odfs + kSecondVoicePeakHops - 1));
    const double heldValue = heldOdf(kSecondVoicePeakHops);
    if (!(peak > kNewSoundPeak * heldValue) && !(level > kNewSoundLevel * d->levels[0]))
        return false;
    if (!(d->spreads[0] >= kSecondVoice)) {
        if (!(peak > kRestrikePeak * heldValue))
            return false;
        // ... and the pitch read is still the held note's: over a legato step the last note's release
        // and the new one pull the harmonics as far, and the step dates the new note.
        double held[DefaultOnsetDetectionStrategyPrivate::kPitchHistory];
        const int heldCount = heldPitches(held);
        if (!(d->pitches[0] > 0.0) || heldCount == 0 || !(std::fabs(d->pitches[0] - median(held, heldCount)) < kPitchStep))
            return false;
    }
    // The last note still sounds: a note after a gap has an attack of its own.
    if (!heldSounding())
        return false;
    double before[DefaultOnsetDetectionStrategyPrivate::kSpreadHistory];
    int count = 0;
    for (int i = kOneVoiceFrom; i < DefaultOnsetDetectionStrategyPrivate::kSpreadHistory; ++i) {
        if (d->spreads[i] >= 0.0)
            before[count++] = d->spreads[i];
    }
    return count >= kOneVoiceFrames && median(before, count) < kOneVoice;
}

// Within kAttackStages of the last onset, a strike, the pitch read since it (the median of the
// frames pitched, which the tracker's slips and the last note's release do not move) within a step
// of the newest frames': the same note's attack still rising.
bool DefaultOnsetDetectionStrategy::attackRisingOn(int64_t position) const
{
    if (d->lastStepped || position - d->lastOnset >= kAttackStages)
        return false;
    const int since = std::min(static_cast<int>((position - d->lastOnset) / d->odf.get_hop_size()),
                               DefaultOnsetDetectionStrategyPrivate::kPitchHistory - 1);
    double pitches[DefaultOnsetDetectionStrategyPrivate::kPitchHistory];
    int count = 0;
    for (int i = 0; i <= since; ++i) {
        if (d->pitches[i] > 0.0)
            pitches[count++] = d->pitches[i];
    }
    if (count < kRecentFrames)
        return false;
    const double sinceOnset = median(pitches, count);
    count = 0;
    for (int i = 0; i < kRecentFrames; ++i) {
        if (d->pitches[i] > 0.0)
            pitches[count++] = d->pitches[i];
    }
    return count > 0 && std::fabs(median(pitches, count) - sinceOnset) < kPitchStep;
}

// The last hops all stood over the room's level.
bool DefaultOnsetDetectionStrategy::heldSounding() const
{
    for (int i = 0; i < kSecondVoiceHeld; ++i) {
        if (!(d->levels[i] > kOverFloor * d->room.level()))
            return false;
    }
    return true;
}

// The level back from a shallow dip to where the held note was before it, at the same pitch: a
// note sung again is let go deeper (or struck over its release, with a new sound in its spectrum
// that nothingNew() hears), a new note moves the pitch, and one struck from silence rises over the
// room's level.
bool DefaultOnsetDetectionStrategy::backFromDip(double level) const
{
    if (d->heldLevelCount < DefaultOnsetDetectionStrategyPrivate::kHeldLevelHistory)
        return false;
    double held = 0.0;
    for (int i = kBeforeDip; i < DefaultOnsetDetectionStrategyPrivate::kHeldLevelHistory; ++i)
        held = std::max(held, d->heldLevels[i]);
    const double top = loudest(level);
    const double risen = rise(level);
    if (!(risen > 0.0))
        return false;
    const double bottom = top / risen;
    if (!(top <= (climbedSlowly(level) ? kSlowDipReturn : kDipReturn) * held) || !(held < kShallowDip * bottom))
        return false;
    double pitches[DefaultOnsetDetectionStrategyPrivate::kPitchHistory];
    const int pitchCount = heldPitches(pitches);
    return d->pitches[0] > 0.0 && pitchCount >= kHeldFrames && std::fabs(d->pitches[0] - median(pitches, pitchCount)) < kPitchStep;
}

// A peak of a held note back from a dip, and the peaks after it within the refractory time (the
// same rise): no attack.
bool DefaultOnsetDetectionStrategy::swelling(double level, int64_t position)
{
    if (!backFromDip(level) || !nothingNew(level))
        return false;
    d->swell = position;
    return true;
}

// No hop of the last six rose more than 1.8 dB over the one before: the level came back the way a
// held note's own swell does, not with a strike's new sound.
bool DefaultOnsetDetectionStrategy::climbedSlowly(double level) const
{
    if (d->levelCount < kSlowClimbHops)
        return false;
    double newer = level;
    for (int i = 0; i < kSlowClimbHops; ++i) {
        if (!(newer <= kSlowClimb * d->levels[i]))
            return false;
        newer = d->levels[i];
    }
    return true;
}

// The detection function's peak no higher than a change of level alone gives it (a slow climb's
// own change of level gives it more).
bool DefaultOnsetDetectionStrategy::nothingNew(double level) const
{
    if (d->odfCount < DefaultOnsetDetectionStrategyPrivate::kOdfHistory)
        return false;
    const double peak = *std::max_element(d->odfs, d->odfs + kDipPeakHops);
    double held = 0.0;
    for (int i = kBeforeDip; i < d->heldLevelCount; ++i)
        held = std::max(held, d->heldLevels[i]);
    const double bound = climbedSlowly(level) ? kSlowDipPeak : held > kCleanRoom * d->room.level() ? kCleanDipPeak : kDipPeak;
    return peak < bound * heldOdf(kDipPeakHops) ||
           *std::max_element(d->unexplained, d->unexplained + kDipPeakHops) < kLevelAlone;
}

// The median pitch of the last three frames against the held note's, the median of the 13 frames
// (150 ms, about a vibrato cycle) before the last eight: a legato step moves it a semitone or more,
// vibrato swings back and forth around the note.
bool DefaultOnsetDetectionStrategy::pitchChanged(const double* span, int count, double& moved) const
{
    moved = 0.0;
    double recent[kRecentFrames];
    double held[DefaultOnsetDetectionStrategyPrivate::kPitchHistory];
    int recentCount = 0;
    for (int i = 0; i < kRecentFrames; ++i) {
        if (d->pitches[i] > 0.0)
            recent[recentCount++] = d->pitches[i];
    }
    const int heldCount = heldPitches(held);
    if (recentCount < kRecentFrames || heldCount < kHeldFrames)
        return false;
    // Frames the tracker heard an octave off count at the held note's octave: among frames an octave
    // low the plain median is the lowest of the note's own, and a vibrato's swing up reads as a step.
    // Only frames within a semitone of an octave away: others are noise or the next note.
    const double reference = median(held, heldCount);
    for (int i = 0; i < heldCount; ++i) {
        const double octaves = std::round((held[i] - reference) / 12.0);
        if (std::fabs(held[i] - reference - 12.0 * octaves) < kOctaveSlipSpread)
            held[i] -= 12.0 * octaves;
    }
    const double heldPitch = median(held, heldCount);
    // A closed vowel high up, or a new note over the last one's release, is read an octave or two
    // low every other frame: the newest frames then count at one octave, the one nearest the held
    // note's (which may itself be heard an octave low).
    const double highest = *std::max_element(recent, recent + kRecentFrames);
    bool folded = false;
    bool slipFolded = false;
    for (int i = 0; i < kRecentFrames; ++i) {
        const double octaves = std::round((highest - recent[i]) / 12.0);
        if (octaves >= 1.0 && octaves <= kSlipOctaves && std::fabs(highest - recent[i] - 12.0 * octaves) < kOctaveSlipSpread) {
            for (double slip : kSubharmonics)
                slipFolded = slipFolded || std::fabs(heldPitch - recent[i] - slip) < kPitchStep;
            recent[i] += 12.0 * octaves;
            folded = true;
        }
    }
    if (folded) {
        const double octaves = std::min(kSlipOctaves, std::max(0.0, std::round((highest - heldPitch) / 12.0)));
        for (double& pitch : recent)
            pitch -= 12.0 * octaves;
    }
    // The new pitch holds (noise between two notes gives pitches all over the place).
    if (*std::max_element(recent, recent + kRecentFrames) - *std::min_element(recent, recent + kRecentFrames) >= 2 * kSteadyPitch)
        return false;
    moved = median(recent, recentCount) - heldPitch;
    if (std::fabs(moved) < kPitchStep)
        return false;
    // Frames read an octave off say only roughly where the new note lies: a small move with them
    // is a scoop's or a vibrato's wobble. A frame so read that lies where the held note's own
    // subharmonic would may be that note still (a high "ee" read now at a third of its pitch and now
    // at four thirds): then the held note's period must be gone, as for a slip.
    if (folded && std::fabs(moved) < kBentStrike)
        return false;
    if (slipFolded && periodicityAt(span, count, heldPitch, d->odf.get_sampling_rate()) > kStillPeriodic)
        return false;
    // A move by an octave, an octave and a fifth or two octaves may be the tracker's: a closed vowel
    // high up flips between the note and a subharmonic for a few frames at a time. Then the held
    // note still sounds, and the newest samples repeat after its period. A fifth or a fourth sung
    // while the last note's release rings on moves as far (the two together repeat after their
    // common subharmonic), but the old period is gone from them.
    for (double slip : kSubharmonics) {
        if (std::fabs(std::fabs(moved) - slip) < kPitchStep) {
            if (periodicityAt(span, count, heldPitch, d->odf.get_sampling_rate()) > kStillPeriodic)
                return false;
        }
    }
    return true;
}

// A note already sounding when listening begins (the settings' test mode, a learner singing
// early) has no attack to hear: its first peak, in the first 93 ms, is its onset if it is pitched
// and steady. Noise from the start has no steady pitch and gives none; now and then two of its
// readings agree by chance, but its samples do not repeat after the period read.
bool DefaultOnsetDetectionStrategy::soundingFromTheStart(const double* span, int count) const
{
    return d->lastOnset < 0 && d->levelCount < DefaultOnsetDetectionStrategyPrivate::kLevelHistory &&
           d->pitches[0] > 0.0 && d->pitches[1] > 0.0 && std::fabs(d->pitches[0] - d->pitches[1]) < kSteadyPitch &&
           repeatsAtPeriod(span, count, periodOf(d->pitches[0], d->odf.get_sampling_rate()));
}

void DefaultOnsetDetectionStrategy::process(QVector<double>& block, PitchDetector* detector)
{
    const int frameSize = d->odf.get_frame_size();
    const int hopSize = d->odf.get_hop_size();
    d->buffer.append(block);
    while (d->buffer.size() >= frameSize) {
        const double before = d->odf.peakTotal();
        const double value = d->odf.process_frame(frameSize, d->buffer.data());
        // What of the value a change of level alone does not give: the peaks' rises over their
        // amplitudes before, less the frame's rise in level.
        double energy = 0.0;
        for (int i = 0; i < frameSize; ++i)
            energy += d->buffer[i] * d->buffer[i];
        const double frameLevel = std::sqrt(energy / frameSize);
        const double gain = d->frameLevel > 0.0 ? frameLevel / d->frameLevel : 0.0;
        const double unexplained = before > 0.0 ? value / before - std::max(0.0, gain - 1.0) : 0.0;
        d->frameLevel = frameLevel;
        const bool peak = d->picker.is_onset(value);
        const double level = hopLevel(d->buffer.data() + frameSize - hopSize, hopSize, d->rumbleInput, d->rumbleOutput);
        const int pitchSpan = std::min(frameSize, kPitchSpan);
        // The normalised difference hears a new note's pitch as soon as its attack enters the span,
        // and a pitch in a note's dying tail: only a held level, neither rising in an attack nor
        // falling in a release, may show a step with it.
        double frequency = _dywapitch_waveletPitch(d->buffer.data(), frameSize - pitchSpan, pitchSpan);
        const bool notReleasing = d->levelCount >= kReleaseHops && level > kReleaseLevel * d->levels[kReleaseHops - 1];
        const bool heldLevel = !isAttack(level) && notReleasing;
        if (frequency <= 0.0 && heldLevel)
            frequency = _dywapitch_periodicityPitch(d->buffer.data(), frameSize - pitchSpan, pitchSpan);
        for (int i = DefaultOnsetDetectionStrategyPrivate::kPitchHistory - 1; i > 0; --i)
            d->pitches[i] = d->pitches[i - 1];
        d->pitches[0] = frequency > 0.0 ? 69.0 + 12.0 * std::log2(frequency / 440.0) : 0.0;
        const bool voiced = d->pitches[0] > 0.0 && d->pitches[1] > 0.0 && std::fabs(d->pitches[0] - d->pitches[1]) < kSteadyPitch;
        d->room.hear(level, hopSize, voiced);
        const int64_t position = static_cast<int64_t>(d->counter);
        // How far the held note's harmonics disagree, and how far they did before.
        for (int i = DefaultOnsetDetectionStrategyPrivate::kSpreadHistory - 1; i > 0; --i)
            d->spreads[i] = d->spreads[i - 1];
        d->spreads[0] = heldSpread(level);
        // No step in a release: there the voice (and the tracker's pitch) sags, and the step would be
        // dated at the fall, in the old note, and shut out the next attack. A move seen in a release
        // waits for the level to hold (or is taken by the attack).
        double semitones = 0.0;
        const bool moved = pitchChanged(d->buffer.data() + frameSize - pitchSpan, pitchSpan, semitones);
        // The held note's pitch back after a peak: the peak was no new note's strike. (A move to the
        // held note's subharmonic refused while its period still sounds is not its pitch back.)
        if (!moved && semitones != 0.0 && !toSubharmonic(semitones))
            d->strike = -1;
        const bool step = moved && !d->pitchMoved && notReleasing && level > kOverFloor * d->room.level();
        if (!moved)
            d->pitchMoved = false;
        else if (notReleasing)
            d->pitchMoved = true;
        // A rise of 12 dB is an attack even where the peak picker misses it: in room noise its
        // threshold, raised by the noise's own peaks, can stay above a closed vowel's attack. It waits
        // for the picker's peak, which dates the attack better, is no second onset of a note whose
        // attack was heard (a slow swell goes on rising after it)...
        const double risen = rise(level);
        // Out of the room's silence a smaller rise will do; where its pitch is not yet steady, the
        // full rise may still come.
        const bool outOfSilence = risen > 0.0 && loudest(level) / risen < kSilence * d->room.level();
        // Out of silence the rise and the level over the room both count: the first hop with both
        // dates the attack (a quiet note's slow rise reaches the bound late).
        const double quietRise =
            outOfSilence ? std::min(risen, d->room.level() > 0.0 ? loudest(level) / d->room.level() : risen) : 0.0;
        const bool surged = (risen >= kSurge && d->lastRise < kSurge) ||
                            (quietRise >= kQuietSurge && d->lastQuietRise < kQuietSurge);
        d->lastQuietRise = quietRise;
        // A rise out of a silence heard since the last onset is no swell of that onset's note.
        const bool silentSince = outOfSilence && d->silentAt > d->lastOnset;
        // ... and is no held note's level back from a dip (which never falls to the room's level).
        if (surged && (d->surge < 0 || risen >= kSurge) && loudest(level) > kOverFloor * d->room.level() &&
            (position - d->lastOnset >= kStepRefractory || silentSince) &&
            (outOfSilence || !(backFromDip(level) && nothingNew(level)))) {
            d->surge = position + kSurgeLead * hopSize;
            d->surgeToned = false;
            d->surgeSilentSince = silentSince;
            d->surgeOnsetBefore = d->lastOnset;
        }
        d->lastRise = risen;
        if (level < kSilence * d->room.level())
            d->silentAt = position + frameSize - hopSize;
        // While a surge waits, the pitch by the normalised difference too: the wavelet loses a high
        // closed vowel through its attack (none, or an octave low, every other frame), where the
        // normalised difference holds it; breath gives it none.
        double tone = 0.0;
        if (d->surge >= 0) {
            const double f = _dywapitch_periodicityPitch(d->buffer.data(), frameSize - pitchSpan, pitchSpan);
            tone = f > 0.0 ? 69.0 + 12.0 * std::log2(f / 440.0) : 0.0;
        }
        const bool toned = tone > 0.0 && d->lastTone > 0.0 && std::fabs(tone - d->lastTone) < kSteadyPitch;
        d->lastTone = tone;
        // A short note may be over before the wait is: its pitch held while the surge waited.
        d->surgeToned = d->surgeToned || toned;
        if (d->surge >= 0 && position - d->surge >= kSurgeWait * hopSize) {
            // ... and it has a steady pitch by then (a breath between phrases rises as much).
            if ((d->surge - d->lastOnset >= kStepRefractory || (d->surgeSilentSince && d->lastOnset == d->surgeOnsetBefore)) &&
                (voiced || d->surgeToned)) {
                d->lastOnset = d->surge;
                d->lastStepped = false;
                if (detector)
                    detector->submitOnset(static_cast<unsigned long>(d->surge), kSurge);
            }
            d->surge = -1;
        }
        // A held note struck again: it says it was struck (as a surge does), or the note could not be
        // taken again.
        // An attack just after a held step is that step's: it says the note was struck, dated where
        // its pitch began (as every step is).
        // The strike's own burst may throw one frame's pitch off: the pitch holds across it, within a
        // semitone (a strike bent sharp moves it half of one).
        const bool held = d->heldStep >= 0;
        const bool heldAcross = voiced || (d->pitches[0] > 0.0 && d->pitches[2] > 0.0 &&
                                           std::fabs(d->pitches[0] - d->pitches[2]) < 2 * kSteadyPitch);
        const bool again = peak && !isAttack(level) && struckAgain(level) && heldAcross &&
                           (held || position - d->lastOnset >= kStepRefractory);
        // After a sag the attack is the new note's, at its own time.
        const int64_t attackAt = held && !d->heldSag ? d->heldStep : position;
        const int64_t lastOnsetBefore = d->lastOnset;
        if (again) {
            d->surge = -1;
            d->lastOnset = attackAt;
            d->lastStepped = false;
            d->heldStep = -1;
            if (detector)
                detector->submitOnset(static_cast<unsigned long>(d->lastOnset), std::max(risen, kSurge));
        } else if (peak && (isAttack(level) || soundingFromTheStart(d->buffer.data() + frameSize - pitchSpan, pitchSpan)) &&
                   (held || position - d->lastOnset >= kRefractory) && position - d->swell >= kRefractory &&
                   (held || !attackRisingOn(position)) && !swelling(level, position)) {
            d->surge = -1;
            d->lastOnset = attackAt;
            d->lastStepped = false;
            d->heldStep = -1;
            if (detector)
                detector->submitOnset(static_cast<unsigned long>(d->lastOnset), std::max(risen, 1.0));
        } else if (step && position - kStepLag * hopSize - d->lastOnset >= kStepRefractory) {
            // A step: dated back to where the new pitch began. After a gap or a dip of 12 dB (6 dB
            // out of the room's silence) the tracker hears the new pitch before the picker's peak
            // comes: that is an attack, and it says so, or the note could not be struck again. A small step up without such a
            // rise may be a strike bent sharp: it waits for one; a small step down may be a sag in the
            // last note's release, and an attack then is the new note's. A step after a strike over
            // the last note's release is dated at the strike, one as clear of the last onset as two
            // attacks must be (the step may come more than 0.25 s after a short note's onset, its
            // strike less).
            d->lastOnset = position - kStepLag * hopSize;
            if (risen < kSurge && d->strike >= 0 && d->lastOnset - d->strike <= kStrikeBeforeStep &&
                d->strike - lastOnsetBefore >= kRefractory)
                d->lastOnset = d->strike;
            const bool sag = semitones < 0.0 && semitones > -kBentStrike;
            const bool struck = risen >= kSurge || (outOfSilence && risen >= kQuietSurge);
            d->lastStepped = !struck;
            if (!struck && ((semitones > 0.0 && semitones < kBentStrike) || sag)) {
                d->heldStep = d->lastOnset;
                d->heldSag = sag;
            } else if (detector) {
                detector->submitOnset(static_cast<unsigned long>(d->lastOnset), struck ? std::max(risen, kSurge) : 0.0);
            }
        } else if (secondVoice(level, value, position)) {
            d->surge = -1;
            d->lastOnset = position;
            d->lastStepped = false;
            if (detector)
                detector->submitOnset(static_cast<unsigned long>(d->lastOnset), std::max(risen, kSurge));
        }
        // No attack came: a legato step.
        if (d->heldStep >= 0 && position - d->heldStep >= (kStepLag + (d->heldSag ? kSagHold : kStepHold)) * hopSize) {
            if (detector)
                detector->submitOnset(static_cast<unsigned long>(d->heldStep), 0.0);
            d->heldStep = -1;
        }
        // A peak far over the held note's that made no onset: a strike a step may follow.
        if (d->lastOnset != lastOnsetBefore)
            d->strike = -1;
        else if (peak && (!voiced || atSubharmonic()) && peakOverHeldNote())
            d->strike = position;
        for (int i = DefaultOnsetDetectionStrategyPrivate::kOdfHistory - 1; i > 0; --i)
            d->odfs[i] = d->odfs[i - 1];
        d->odfs[0] = value;
        for (int i = DefaultOnsetDetectionStrategyPrivate::kOdfHistory - 1; i > 0; --i)
            d->unexplained[i] = d->unexplained[i - 1];
        d->unexplained[0] = unexplained;
        d->odfCount = std::min(d->odfCount + 1, static_cast<int>(DefaultOnsetDetectionStrategyPrivate::kOdfHistory));
        for (int i = DefaultOnsetDetectionStrategyPrivate::kHeldLevelHistory - 1; i > 0; --i)
            d->heldLevels[i] = d->heldLevels[i - 1];
        d->heldLevels[0] = level;
        d->heldLevelCount = std::min(d->heldLevelCount + 1, static_cast<int>(DefaultOnsetDetectionStrategyPrivate::kHeldLevelHistory));
        for (int i = DefaultOnsetDetectionStrategyPrivate::kLevelHistory - 1; i > 0; --i)
            d->levels[i] = d->levels[i - 1];
        d->levels[0] = level;
        d->levelCount = std::min(d->levelCount + 1, static_cast<int>(DefaultOnsetDetectionStrategyPrivate::kLevelHistory));
        d->counter += hopSize;
        d->buffer.remove(0, hopSize);
    }
}
