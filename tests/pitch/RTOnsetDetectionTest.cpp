// The real-time peak picker and the default onset strategy's framing.
#include "SignalFactory.h"
#include "pitch/PitchDetector.h"
#include "pitch/onset/DefaultOnsetDetectionStrategy.h"
#include "pitch/onset/RoomFloor.h"
#include "pitch/onset/RTOnsetDetection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include <vector>

namespace {

TEST(RTOnsetDetection, MedianAndMean)
{
    double values[10] = {10, 9, 8, 7, 6, 5, 4, 3, 2, 1};
    EXPECT_EQ(median(values, 10), 5.0);
    EXPECT_EQ(mean(values, 0), 0.0);
}

// A peak is reported on the value after it, over the threshold (median, mean and a share of the
// largest peak so far) and with a follower above the floor.
TEST(RTOnsetDetection, PeakPicking)
{
    struct Row {
        const char* name;
        std::vector<double> values;
        std::vector<int> onsets; // indexes of the values that report one
    };
    const Row rows[] = {
        {"the value after a peak", {0.05, 5.0, 1.0, 0.5}, {2}},
        {"silence", std::vector<double>(50, 0.0), {}},
        {"plateau", {0.01, 4.0, 4.0, 1.0}, {}},
        {"zero follower", {0.01, 4.0, 0.0}, {}},
        // ten quiet values flush the history; 0.05 x 100 still lies over 4
        {"largest peak", {0.0, 100.0, 0.001, 0.001, 0.001, 0.001, 0.001, 0.001, 0.001, 0.001, 0.001, 0.001, 0.001, 0.001, 4.0, 0.001}, {2}},
    };
    for (const Row& row : rows) {
        RTOnsetDetection picker;
        std::vector<int> onsets;
        for (size_t i = 0; i < row.values.size(); ++i) {
            if (picker.is_onset(row.values[i]))
                onsets.push_back(static_cast<int>(i));
        }
        EXPECT_EQ(onsets, row.onsets) << row.name;
    }
}

// A singer as the pitch bench's second source has it: a skewed glottal pulse with jitter and breath
// through three vowel formants, each note with a 60-cent scoop, a 40 ms rise and a 60 ms fall (notes
// back to back dip between them) and vibrato fading in from 0.15 to 0.35 s.
std::vector<double> formantVoice(const std::vector<SignalFactory::Note>& notes, double totalSeconds,
                                 const std::vector<double>& formants, double vibratoCents)
{
    std::vector<double> out(static_cast<size_t>(totalSeconds * 44100), 0.0);
    std::mt19937 generator(7);
    std::normal_distribution<double> gauss(0.0, 1.0);
    double phase = 0.0;
    for (const SignalFactory::Note& note : notes) {
        double state[3][2] = {};
        const size_t start = static_cast<size_t>(note.start * 44100);
        for (size_t i = 0; i < static_cast<size_t>(note.duration * 44100) && start + i < out.size(); ++i) {
            const double t = i / 44100.0;
            const double vibrato = vibratoCents * std::sin(2 * M_PI * 5.5 * t) * std::clamp((t - 0.15) / 0.2, 0.0, 1.0);
            const double cents = -60.0 * std::exp(-t / 0.035) + vibrato + 4.0 * gauss(generator);
            phase += SignalFactory::midiToFrequency(note.midi) * std::pow(2.0, cents / 1200.0) / 44100.0;
            phase -= std::floor(phase);
            const double pulse = (phase < 0.85 ? 2 * phase - 1 : 1 - (phase - 0.85) / 0.15 * 2) + 0.05 * gauss(generator);
            double v = 0.0;
            for (size_t f = 0; f < formants.size() && f < 3; ++f) {
                const double r = std::exp(-M_PI * (60 + 0.06 * formants[f]) / 44100.0);
                const double y = (1 - r) * pulse + 2 * r * std::cos(2 * M_PI * formants[f] / 44100.0) * state[f][0] - r * r * state[f][1];
                state[f][1] = state[f][0];
                state[f][0] = y;
                v += y;
            }
            const double envelope = std::min(1.0, t / 0.04) * std::clamp((note.duration - t) / 0.06, 0.0, 1.0);
            out[start + i] += 0.3 * envelope * v;
        }
    }
    return out;
}

std::vector<unsigned long> runStrategy(DefaultOnsetDetectionStrategy& strategy, PitchDetector& detector,
                                       const std::vector<double>& signal, int blockSize)
{
    detector.m_onsets.clear();
    for (size_t start = 0; start < signal.size(); start += blockSize) {
        QVector<double> block;
        for (size_t i = start; i < start + blockSize && i < signal.size(); ++i)
            block.append(signal[i]);
        strategy.process(block, &detector);
    }
    std::vector<unsigned long> positions;
    for (const PitchDetector::OnsetInfo& onset : detector.m_onsets)
        positions.push_back(static_cast<unsigned long>(onset.time * 44100.0 + 0.5));
    return positions;
}

// The onsets found, one per entry: an attack says how far it rose (at least the 12 dB a strike
// reports), a legato step says 0.
void expectAttacks(const PitchDetector& detector, const std::vector<bool>& attacks)
{
    ASSERT_EQ(detector.m_onsets.size(), static_cast<int>(attacks.size()));
    for (size_t i = 0; i < attacks.size(); ++i) {
        const double rise = detector.m_onsets[static_cast<int>(i)].rise;
        if (attacks[i])
            EXPECT_GE(rise, 4.0) << i;
        else
            EXPECT_EQ(rise, 0.0) << i;
    }
}

// Onsets come from attacks and legato steps: a held note's vibrato or tremolo, its level coming back
// from a dip, and the room's noise, its rumble too (low-frequency noise swells and fades by several
// times within a tenth of a second), give none. A note already sounding when listening begins has no attack to hear; its onset is at
// the start, while noise from the start, however loud, gives none. A clap gives one onset, one hop
// after the frame that first holds it. Unusable frame and hop sizes fall back to the defaults
// (frame 512, hop 256) instead of looping for ever. Fed again after a reset in blocks of 333
// samples, so that frames straddle blocks, a signal gives the same onsets. A move the tracker makes by
// hearing a note an octave off is no step, and a step whose notes together read like one is, as is
// a step into a note heard an octave off now and then. A step over the last note's release is dated
// at the new note's strike, and a sag in a release gives way to the attack after it.
TEST(DefaultOnsetStrategy, OnlyAttacksAreOnsets)
{
    struct Row {
        const char* name;
        std::vector<double> signal;
        std::vector<double> onsets; // seconds
        int frameSize = 2048;
        int hopSize = 512;
        bool againInOddBlocks = false;
        double tolerance = 0.05; // seconds
    };
    std::vector<double> held(static_cast<size_t>(0.3 * 44100), 0.0);
    const std::vector<double> vibrato = SignalFactory::sungTone(392.0, 2.5, 0.5, 60.0);
    held.insert(held.end(), vibrato.begin(), vibrato.end());
    std::vector<double> tremolo(held.size() - vibrato.size(), 0.0);
    const std::vector<double> steady = SignalFactory::sungTone(262.0, 2.5, 0.5, 0.0);
    for (size_t i = 0; i < steady.size(); ++i)
        tremolo.push_back(steady[i] * (1.0 + 0.3 * std::sin(2 * M_PI * 5.0 * i / 44100.0))); // +-2.3 dB
    std::vector<double> roomThenNote = SignalFactory::whiteNoise(2.5, -42.0);
    std::vector<double> softInRoom = SignalFactory::whiteNoise(2.5, -45.0);
    const std::vector<double> note = SignalFactory::sungTone(330.0, 0.6, 0.5, 30.0);
    // about 8 dB over a -45 dBFS room: an attack needs 6 dB over the room, not 12
    const std::vector<double> soft = SignalFactory::sungTone(330.0, 0.6, 0.035, 30.0);
    for (size_t i = 0; i < note.size() && static_cast<size_t>(1.5 * 44100) + i < roomThenNote.size(); ++i) {
        roomThenNote[static_cast<size_t>(1.5 * 44100) + i] += note[i];
        softInRoom[static_cast<size_t>(1.5 * 44100) + i] += soft[i];
    }
    std::vector<double> noteInRumble = SignalFactory::brownNoise(2.5, -45.0);
    const std::vector<double> low = SignalFactory::sungTone(110.0, 0.6, 0.3, 30.0);
    for (size_t i = 0; i < low.size(); ++i)
        noteInRumble[static_cast<size_t>(1.5 * 44100) + i] += low[i];
    // C4, then D4 80 ms after it in the room: the onset is D4's attack. Its pitch, heard as soon as
    // the attack enters the pitch span, made a step dated 30 ms early (60 ms for a clarinet).
    std::vector<double> afterGap = SignalFactory::whiteNoise(2.0, -45.0);
    double phase = 0.0;
    for (const SignalFactory::Note& n : {SignalFactory::Note{60, 0.3, 0.57}, SignalFactory::Note{62, 0.98, 0.5}}) {
        for (int i = 0; i < static_cast<int>((n.duration + 0.03) * 44100); ++i) {
            const double t = i / 44100.0;
            phase += 2 * M_PI * SignalFactory::midiToFrequency(n.midi) / 44100.0;
            const double envelope = std::min(1.0, t / 0.02) * (t < n.duration ? 1.0 : std::exp(-(t - n.duration) / 0.01));
            afterGap[static_cast<size_t>(n.start * 44100) + i] +=
                0.3 * envelope * (std::sin(phase) + 0.6 * std::sin(2 * phase) + 0.4 * std::sin(3 * phase) + 0.3 * std::sin(4 * phase));
        }
    }
    // Legato: E4 to F#4 at 1.1 s without a break or a change of level.
    std::vector<double> legato(held.size() - vibrato.size(), 0.0);
    phase = 0.0;
    for (int i = 0; i < static_cast<int>(1.6 * 44100); ++i) {
        phase += 2 * M_PI * (i < 0.8 * 44100 ? 329.6 : 370.0) / 44100.0;
        legato.push_back(0.3 * (std::sin(phase) + 0.5 * std::sin(2 * phase) + 0.3 * std::sin(3 * phase)) *
                         std::min(1.0, i / (0.03 * 44100)));
    }
    // Legato late in a long phrase over room noise: G3 held 6 s, then A3 at 6.3 s.
    std::vector<double> longPhrase = SignalFactory::whiteNoise(7.3, -45.0);
    phase = 0.0;
    for (int i = 0; i < static_cast<int>(7.0 * 44100); ++i) {
        phase += 2 * M_PI * (i < 6.0 * 44100 ? 196.0 : 220.0) / 44100.0;
        longPhrase[static_cast<size_t>(0.3 * 44100) + i] += 0.05 * (std::sin(phase) + 0.5 * std::sin(2 * phase) + 0.3 * std::sin(3 * phase)) *
                                                            std::min(1.0, i / (0.03 * 44100));
    }
    // A slide up a fifth from 1.3 s to 1.45 s: one onset, once the new pitch holds near its goal, not
    // as the slide leaves the old note.
    std::vector<double> slide(static_cast<size_t>(0.3 * 44100), 0.0);
    phase = 0.0;
    for (int i = 0; i < static_cast<int>(1.7 * 44100); ++i) {
        const double t = i / 44100.0;
        phase += 2 * M_PI * 196.0 * std::pow(2.0, 7.0 / 12.0 * std::clamp((t - 1.0) / 0.15, 0.0, 1.0)) / 44100.0;
        slide.push_back(0.3 * (std::sin(phase) + 0.5 * std::sin(2 * phase)) * std::min(1.0, t / 0.03));
    }
    // A singer's step down a minor third after the first note's release (notes back to back, each
    // with its own rise and fall), the voice sagging a semitone as it fades: the sag made a step
    // dated in the old note's release, 60-80 ms early, which shut out the new note's attack.
    std::vector<double> stepAfterRelease = SignalFactory::voice({{61, 0.9, 0.6}}, 1.8, 0.0);
    phase = 0.0;
    for (int i = 0; i < static_cast<int>(0.6 * 44100); ++i) {
        const double t = i / 44100.0;
        const double sag = std::clamp((t - 0.54) / 0.02, 0.0, 1.0); // as the last 60 ms fall begins
        phase += 2 * M_PI * SignalFactory::midiToFrequency(64) * std::pow(2.0, -sag / 12.0) / 44100.0;
        const double envelope = std::min(1.0, t / 0.04) * std::min(1.0, (0.6 - t) / 0.06);
        stepAfterRelease[static_cast<size_t>(0.3 * 44100) + i] +=
            0.2 * envelope * (std::sin(phase) + 0.6 * std::sin(2 * phase) + 0.35 * std::sin(3 * phase) + 0.2 * std::sin(4 * phase));
    }
    // A high E5 with stretches where its period doubles (a subharmonic, as a closed vowel high up
    // gives the tracker, which then reads it an octave low for a few frames): no step.
    std::vector<double> periodDoubling(static_cast<size_t>(0.3 * 44100), 0.0);
    phase = 0.0;
    for (int i = 0; i < static_cast<int>(2.0 * 44100); ++i) {
        const double t = i / 44100.0;
        phase += 2 * M_PI * 659.3 / 44100.0;
        const bool doubled = std::fmod(t, 0.4) > 0.3;
        periodDoubling.push_back(0.2 * std::min(1.0, t / 0.03) *
                                 (std::sin(phase) + 0.5 * std::sin(2 * phase) + (doubled ? 0.8 * std::sin(0.5 * phase) : 0.0)));
    }
    // A4, then D4 a fifth below at 1.0 s while A4's release rings on for a while (a sampled voice's
    // two notes overlap): together they repeat every D3 period, 19 semitones under A4, the move a
    // subharmonic makes. A4's own period is gone from the mixture, so it is a step, not a slip; it
    // was taken only once the release had died, 110 ms late.
    const std::vector<double> fifthDownOverRelease = SignalFactory::twoNotes(
        0.3, 1.5, [](double) { return 440.0; },
        [](double t) { return 0.2 * std::min(1.0, t / 0.03) * (t < 0.7 ? 1.0 : std::exp(-(t - 0.7) / 0.1)); },
        [](double) { return 293.66; }, [](double t) { return t < 0.7 ? 0.0 : 0.2 * std::min(1.0, (t - 0.7) / 0.03); });
    // A B4 swelling in over 80 ms, 20 dB over room noise at -40 dBFS: the picker's threshold, raised by
    // the noise's own peaks, missed its attack (a high "ee" in room noise lost its first note).
    std::vector<double> slowInNoise = SignalFactory::whiteNoise(2.5, -40.0, 5);
    phase = 0.0;
    for (int i = 0; i < static_cast<int>(0.8 * 44100); ++i) {
        phase += 2 * M_PI * 494.0 / 44100.0;
        slowInNoise[static_cast<size_t>(1.5 * 44100) + i] +=
            0.08 * std::min(1.0, i / (0.08 * 44100)) * (std::sin(phase) + 0.1 * std::sin(2 * phase));
    }
    // A low "ah" whose vibrato sets in with a tremolo of +-1.3 dB: its pulses make the level jitter
    // from hop to hop, and a swell of the tremolo rose as suddenly as a note struck again.
    std::vector<double> lowTremolo = formantVoice({{48, 0.3, 1.6}}, 2.0, {730, 1090, 2440}, 50.0);
    for (size_t i = static_cast<size_t>(0.3 * 44100); i < lowTremolo.size(); ++i) {
        const double t = i / 44100.0 - 0.3;
        lowTremolo[i] *= 1.0 + 0.15 * std::sin(2 * M_PI * 5.5 * t) * std::clamp((t - 0.15) / 0.2, 0.0, 1.0);
    }
    // A held A4 with vibrato whose level dips by `depth` of its amplitude 0.55 s in and comes back
    // within 0.16 s (a recorded voice's sample does so), over room noise: the same sound, not struck
    // again. Its rise back read as an attack, and where the melody repeats the note it stood for the
    // repeat, early.
    const auto dippedVoice = [&](double depth, double roomDbfs) {
        std::vector<double> out = formantVoice({{69, 0.3, 1.5}}, 2.0, {730, 1090, 2440}, 50.0);
        const std::vector<double> room = SignalFactory::whiteNoise(2.0, roomDbfs);
        for (size_t i = 0; i < out.size(); ++i) {
            const double t = i / 44100.0 - 0.85;
            const double dip = t <= 0.0 ? 0.0 : t < 0.06 ? std::pow(std::sin(M_PI * t / 0.12), 2)
                                       : t < 0.18 ? std::pow(std::cos(M_PI * (t - 0.06) / 0.24), 2) : 0.0;
            out[i] *= 1.0 - depth * dip;
            out[i] += room[i];
        }
        return out;
    };
    const std::vector<double> dipped = dippedVoice(0.72, -50.0);
    // A dip as deep heard clean, over a floor as faint as a recording's own (-75 dBFS): no room
    // noise lifts the held note's detection function, and the peak of the rise back stands 6-7
    // times over it (a clean take's sample dips read as attacks, early repeats).
    const std::vector<double> dippedClean = dippedVoice(0.76, -75.0);
    // A held C5 whose fundamental sinks 5.8 dB 0.45 s in and climbs back over 0.1 s, by 1-1.5 dB a
    // hop, to 1.1 dB over where it was, its upper harmonics holding (a recorded voice's sample at
    // A#4-C#5 does so), clean: the climb, a 6 dB rise with the detection function's peak ten times
    // the held note's, read as an attack, and where the melody repeats the note it stood for the
    // repeat.
    std::vector<double> climbingBack = SignalFactory::whiteNoise(2.0, -75.0);
    phase = 0.0;
    for (int i = 0; i < static_cast<int>(1.5 * 44100); ++i) {
        const double t = i / 44100.0;
        const double d = t - 0.45;
        const double fundamental = d <= 0.0 ? 1.0
                                   : d < 0.06 ? 1.0 - 0.49 * std::pow(std::sin(M_PI * d / 0.12), 2)
                                   : d < 0.09 ? 0.51
                                   : d < 0.19 ? 0.51 + 0.63 * std::pow(std::sin(M_PI * (d - 0.09) / 0.2), 2)
                                              : 1.14;
        phase += 2 * M_PI * 523.25 * std::pow(2.0, 20.0 * std::sin(2 * M_PI * 5.5 * t) / 1200.0) / 44100.0;
        climbingBack[static_cast<size_t>(0.3 * 44100) + i] +=
            0.3 * std::min(1.0, t / 0.03) * (fundamental * std::sin(phase) + 0.18 * std::sin(2 * phase) + 0.15 * std::sin(3 * phase));
    }
    // C5, then E5 at 1.0 s whose period doubles every other 17 ms for a quarter of a second (a high
    // "oo" heard an octave low every other frame): the newest frames never agreed, and the step was
    // lost.
    std::vector<double> stepIntoDoubling(static_cast<size_t>(0.3 * 44100), 0.0);
    phase = 0.0;
    for (int i = 0; i < static_cast<int>(1.5 * 44100); ++i) {
        const double t = i / 44100.0;
        phase += 2 * M_PI * (t < 0.7 ? 523.25 : 659.26) / 44100.0;
        const bool doubled = t > 0.7 && t < 0.95 && std::fmod(t - 0.7, 0.0348) > 0.0174;
        stepIntoDoubling.push_back(0.2 * std::min(1.0, t / 0.03) *
                                   (std::sin(phase) + 0.5 * std::sin(2 * phase) + (doubled ? 0.5 * std::sin(0.5 * phase) : 0.0)));
    }
    // F4, then C5 struck at 1.0 s over F4's release (3 dB up, no attack), its pitch wobbling by
    // +-1.5 semitones for 0.15 s (a recorded voice's new note over the last one's release reads
    // as their common subharmonic and a bent start): the step came 33 ms late, once the pitch held;
    // the strike dates it.
    const std::vector<double> struckOverRelease = SignalFactory::twoNotes(
        0.3, 1.5, [](double t) { return 349.23 * std::pow(2.0, 35.0 * std::sin(2 * M_PI * 5.5 * t) / 1200.0); },
        [](double t) { return 0.15 * std::min(1.0, t / 0.03) * (t < 0.7 ? 1.0 : std::exp(-(t - 0.7) / 0.06)); },
        [](double t) {
            const double bend = t < 0.7 || t > 0.85 ? 0.0 : 150.0 * std::sin(2 * M_PI * 10.0 * (t - 0.7));
            return 523.25 * std::pow(2.0, bend / 1200.0);
        },
        [](double t) { return t < 0.7 ? 0.0 : 0.15 * std::min(1.0, (t - 0.7) / 0.004); });
    // A4, then E4 struck a fourth below at 1.0 s over A4's release (3 dB up, no attack): together they
    // repeat every A2 period, so the newest samples read a steady pitch 24 semitones under A4 at once
    // and A4's own period is still in them until the release fades. The step came once it had, over
    // 0.1 s late; the strike, at a steady pitch that is not the held note's, dates it.
    const auto slowRelease = [](double t) {
        return 0.15 * std::min(1.0, t / 0.03) * (t < 0.7 ? 1.0 : std::exp(-(t - 0.7) / 0.25));
    };
    const auto struckAtSeven = [](double t) { return t < 0.7 ? 0.0 : 0.12 * std::min(1.0, (t - 0.7) / 0.03); };
    const std::vector<double> fourthDownOverRelease = SignalFactory::twoNotes(
        0.3, 1.5, [](double) { return 440.0; }, slowRelease, [](double) { return 329.63; }, struckAtSeven);
    // The same, E4 struck 0.2 s after a legato step up from C4 to A4 (a short note, then the next
    // struck over its release): the strike is as clear of the step as two attacks must be.
    const std::vector<double> fourthDownSoon = SignalFactory::twoNotes(
        0.3, 1.5, [](double t) { return t < 0.5 ? 261.63 : 440.0; }, slowRelease, [](double) { return 329.63; },
        struckAtSeven);
    // G#3 sagging a semitone as its slow release begins at 0.85 s (4 dB down), then A#3 struck at
    // 0.91 s: the sag made a step, and the attack, within 100 ms of it, was shut out.
    std::vector<double> sagThenStrike(static_cast<size_t>(2.0 * 44100), 0.0);
    double lower = 0.0;
    for (int i = 0; i < static_cast<int>(1.0 * 44100); ++i) {
        const double t = i / 44100.0;
        const double sag = std::clamp((t - 0.55) / 0.03, 0.0, 1.0);
        lower += 2 * M_PI * 207.65 * std::pow(2.0, -sag / 12.0) / 44100.0;
        const double fall = t < 0.55 ? 1.0 : std::max(0.55, 1.0 - (t - 0.55) / 0.1 * 0.45);
        const double envelope = std::min(1.0, t / 0.03) * fall * (t < 0.66 ? 1.0 : std::exp(-(t - 0.66) / 0.03));
        sagThenStrike[static_cast<size_t>(0.3 * 44100) + i] +=
            0.1 * envelope * (std::sin(lower) + 0.6 * std::sin(2 * lower) + 0.35 * std::sin(3 * lower));
    }
    double upper = 0.0;
    for (int i = 0; i < static_cast<int>(0.8 * 44100); ++i) {
        upper += 2 * M_PI * 233.08 / 44100.0;
        sagThenStrike[static_cast<size_t>(0.91 * 44100) + i] +=
            0.3 * std::min(1.0, i / (0.01 * 44100)) * (std::sin(upper) + 0.6 * std::sin(2 * upper) + 0.35 * std::sin(3 * upper));
    }
    const std::vector<double> sung = SignalFactory::sungTone(294.0, 1.5, 0.5, 30.0);
    const std::vector<double> cutInto(sung.begin() + static_cast<long>(0.3 * 44100), sung.end());
    const std::vector<double> claps = {0.5, 1.0, 1.6, 2.1};
    const std::vector<double> ee = {270, 2290, 3010};
    const std::vector<double> oo = {300, 870, 2240};
    const Row rows[] = {{"vibrato", held, {0.3}},
                        {"tremolo", tremolo, {0.3}},
                        {"room", roomThenNote, {1.5}},
                        {"soft attack in the room", softInRoom, {1.5}},
                        {"rumble", SignalFactory::brownNoise(6.0, -45.0, 3), {}},
                        {"low note in the rumble", noteInRumble, {1.5}},
                        {"legato", legato, {0.3, 1.1}},
                        {"a step after a release", stepAfterRelease, {0.3, 0.9}, 2048, 512, false, 0.03},
                        {"period doubling", periodDoubling, {0.3}},
                        {"a high ee with vibrato", formantVoice({{74, 0.3, 1.2}}, 1.8, ee, 50.0), {0.3}},
                        {"a high oo with vibrato", formantVoice({{76, 0.3, 1.2}}, 1.8, oo, 50.0), {0.3}},
                        {"a low ah's tremolo", lowTremolo, {0.3}},
                        // Two voices 60 cents apart from the start, each leading other harmonics (an
                        // ensemble's detuned voices): the held note's harmonics always disagree, and
                        // that is no strike.
                        {"an ensemble's detuned voices", [] {
                             std::vector<double> s(static_cast<size_t>(0.3 * 44100), 0.0);
                             for (int i = 0; i < static_cast<int>(1.6 * 44100); ++i) {
                                 const double t = i / 44100.0;
                                 const double a = 2 * M_PI * 220.0 * t, b = 2 * M_PI * 220.0 * std::pow(2.0, 0.05) * t;
                                 s.push_back(0.1 * std::min(1.0, t / 0.03) *
                                             (0.1 * std::sin(a) + 0.4 * std::sin(2 * a) + 0.3 * std::sin(3 * a) +
                                              std::sin(b) + 0.05 * std::sin(2 * b + 2) + 0.03 * std::sin(3 * b + 3)));
                             }
                             return s;
                         }(), {0.3}},
                        {"a held note's level dipping 12 dB", dipped, {0.3}},
                        {"a held note's level dipping 12 dB, clean", dippedClean, {0.3}},
                        {"a high note's level climbing back slowly from a dip, clean", climbingBack, {0.3}},
                        {"a fifth down over the last note's release", fifthDownOverRelease, {0.3, 1.0}, 2048, 512, false, 0.04},
                        {"a step into a note heard an octave low every other frame", stepIntoDoubling, {0.3, 1.0}},
                        {"a step struck over the last note's release", struckOverRelease, {0.3, 1.0}, 2048, 512, false, 0.02},
                        {"a fourth down struck over the last note's release", fourthDownOverRelease, {0.3, 1.0}, 2048, 512, false, 0.02},
                        {"a fourth down struck over a short note's release", fourthDownSoon, {0.3, 0.8, 1.0}, 2048, 512, false, 0.04},
                        {"a sag in a release, then the next note struck", sagThenStrike, {0.3, 0.91}, 2048, 512, false, 0.03},
                        {"a slow attack in loud room noise", slowInNoise, {1.5}, 2048, 512, false, 0.06},
                        {"a note 80 ms after the last", afterGap, {0.3, 0.98}, 2048, 512, false, 0.02},
                        {"legato late in a long phrase", longPhrase, {0.3, 6.3}},
                        {"slide", slide, {0.3, 1.4}},
                        {"sine from the start", SignalFactory::sine(440.0, 1.0, 12000 / 32767.0), {0.0}},
                        {"sung, cut into", cutInto, {0.0}},
                        {"loud room from the start", SignalFactory::whiteNoise(1.0, -20.0), {}},
                        {"silence", std::vector<double>(44100, 0.0), {}},
                        {"claps", SignalFactory::claps(claps, 2.6), claps, 2048, 512, true},
                        {"hop 0", SignalFactory::claps({0.3}, 0.6), {0.3}, 2048, 0},
                        {"odd frame", SignalFactory::claps({0.3}, 0.6), {0.3}, 2047, 512}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PitchDetector detector;
        DefaultOnsetDetectionStrategy strategy(row.frameSize, row.hopSize, 44100);
        const std::vector<unsigned long> positions = runStrategy(strategy, detector, row.signal, 2048);
        ASSERT_EQ(positions.size(), row.onsets.size());
        for (size_t i = 0; i < positions.size(); ++i)
            EXPECT_NEAR(positions[i] / 44100.0, row.onsets[i], row.tolerance);
        if (row.againInOddBlocks) {
            strategy.reset();
            EXPECT_EQ(runStrategy(strategy, detector, row.signal, 333), positions);
        }
    }
}

// Room noise alone from the start of listening: two of its pitch readings now and then agree by
// chance, and an onset there took the first sung note, dated seconds early, and put every later
// note one behind. No draw of the room, quiet or loud, gives one; a voice from the start still does.
TEST(DefaultOnsetStrategy, NoiseFromTheStartIsNoNoteSoundingThere)
{
    for (double dbfs : {-60.0, -50.0, -40.0, -20.0}) {
        for (unsigned seed = 1; seed <= 40; ++seed) {
            SCOPED_TRACE(testing::Message() << dbfs << " dBFS, draw " << seed);
            PitchDetector detector;
            DefaultOnsetDetectionStrategy strategy(2048, 512, 44100);
            EXPECT_TRUE(runStrategy(strategy, detector, SignalFactory::whiteNoise(0.5, dbfs, seed), 2048).empty());
        }
    }
    std::vector<double> voiceInRoom = SignalFactory::whiteNoise(1.0, -50.0, 7);
    const std::vector<double> voice = SignalFactory::sungTone(349.2, 1.0, 0.3, 30.0);
    for (size_t i = 0; i < voice.size() && i < voiceInRoom.size(); ++i)
        voiceInRoom[i] += voice[i];
    PitchDetector detector;
    DefaultOnsetDetectionStrategy strategy(2048, 512, 44100);
    const std::vector<unsigned long> positions = runStrategy(strategy, detector, voiceInRoom, 2048);
    ASSERT_EQ(positions.size(), 1u);
    EXPECT_LT(positions[0] / 44100.0, 0.1);
}

// Each onset says how much the level rose: a note begun after a gap is an attack (12 dB or more)
// even where the tracker hears its new pitch before the picker's peak and the onset is dated by the
// step, and a legato step without a dip is none (0). A note dated by a step could not be struck
// again: the learner's E E where the scale goes E F lost the second E. A note struck again while
// it still sounds rises only 3 dB and was no onset at all; it is one, and an attack, also where
// it starts sharp and its bend is heard as a step before the attack comes, where a burst at the
// strike throws one frame's pitch off, and where nothing but a second voice beside the release
// tells the strike. Out of the room's silence a softer rise is an attack too.
// A loud E4 "ah" (0.3-1.1 s), then a high vowel at a tenth of its level (1.3-2.0 s), over room
// noise at -60 dBFS.
std::vector<double> quietHighVowel(int midi, const std::vector<double>& formants)
{
    std::vector<double> s = formantVoice({{64, 0.3, 0.8}}, 2.2, {730, 1090, 2440}, 30.0);
    const std::vector<double> high = formantVoice({{midi, 1.3, 0.7}}, 2.2, formants, 30.0);
    const std::vector<double> room = SignalFactory::whiteNoise(2.2, -60.0);
    for (size_t i = 0; i < s.size() && i < high.size() && i < room.size(); ++i)
        s[i] += 0.1 * high[i] + room[i];
    return s;
}

TEST(DefaultOnsetStrategy, OnsetsSayWhetherTheyAreAttacks)
{
    struct Row {
        const char* name;
        std::vector<double> signal;
        std::vector<bool> attacks; // per onset
    };
    std::vector<double> legato(static_cast<size_t>(0.3 * 44100), 0.0);
    double phase = 0.0;
    for (int i = 0; i < static_cast<int>(1.6 * 44100); ++i) {
        phase += 2 * M_PI * (i < 0.8 * 44100 ? 329.6 : 370.0) / 44100.0;
        legato.push_back(0.3 * (std::sin(phase) + 0.5 * std::sin(2 * phase) + 0.3 * std::sin(3 * phase)) *
                         std::min(1.0, i / (0.03 * 44100)));
    }
    // A4 struck again at 1.0 s while it still sounds (a recorded voice's note played over its own
    // release): the old strike fades, the new one rises within 20 ms, 3 dB over the held level.
    std::vector<double> struckAgain(static_cast<size_t>(0.3 * 44100), 0.0);
    double first = 0.0;
    double second = 0.0;
    for (int i = 0; i < static_cast<int>(1.5 * 44100); ++i) {
        const double t = i / 44100.0;
        first += 2 * M_PI * 440.0 / 44100.0;
        second += 2 * M_PI * 440.0 / 44100.0;
        const double old = std::min(1.0, t / 0.03) * (t < 0.7 ? 1.0 : std::exp(-(t - 0.7) / 0.05));
        const double again = t < 0.7 ? 0.0 : 1.4 * std::min(1.0, (t - 0.7) / 0.02);
        struckAgain.push_back(0.15 * old * (std::sin(first) + 0.5 * std::sin(2 * first) + 0.3 * std::sin(3 * first)) +
                              0.15 * again * (std::sin(second + 1.0) + 0.5 * std::sin(2 * second + 2.5) + 0.3 * std::sin(3 * second + 0.4)));
    }
    // The same, struck again a semitone sharp for 60 ms and then bending down to A4 (a recorded
    // voice's repeat often starts so): the tracker hears the bend two hops before the picker's peak,
    // and the step, which has no rise, stood for the strike and shut its attack out.
    std::vector<double> struckSharp(static_cast<size_t>(0.3 * 44100), 0.0);
    first = 0.0;
    second = 0.0;
    for (int i = 0; i < static_cast<int>(1.5 * 44100); ++i) {
        const double t = i / 44100.0;
        const double bend = t < 0.7 ? 0.0 : 100.0 * std::min(1.0, std::exp(-(t - 0.76) / 0.05));
        first += 2 * M_PI * 440.0 / 44100.0;
        second += 2 * M_PI * 440.0 * std::pow(2.0, bend / 1200.0) / 44100.0;
        const double old = std::min(1.0, t / 0.03) * (t < 0.7 ? 1.0 : std::exp(-(t - 0.7) / 0.05));
        const double again = t < 0.7 ? 0.0 : 1.4 * std::min(1.0, (t - 0.7) / 0.02);
        struckSharp.push_back(0.15 * old * (std::sin(first) + 0.5 * std::sin(2 * first) + 0.3 * std::sin(3 * first)) +
                              0.15 * again * (std::sin(second + 1.0) + 0.5 * std::sin(2 * second + 2.5) + 0.3 * std::sin(3 * second + 0.4)));
    }
    // The same with a burst of breath at the strike (a recorded voice's attack): the tracker reads
    // one frame's pitch 11 semitones off there, and the strike was not heard as held at its pitch.
    std::vector<double> struckWithBurst = struckAgain;
    const std::vector<double> burst = SignalFactory::whiteNoise(0.015, -20.0, 3);
    for (size_t i = 0; i < burst.size(); ++i)
        struckWithBurst[static_cast<size_t>(1.005 * 44100) + i] += burst[i];
    // A4 with vibrato struck again at 1.0 s `bend` cents off, settling within 0.1 s, while the last
    // strike's release rings on at the bend it had (a recorded voice's repeat with no gap): the new
    // voice rises over 60 ms as the old one fades, and the two beat; neither the picker's attack test
    // nor the struck-again test takes it. The two voices pull the harmonics apart.
    const auto struckBeside = [](double bend) {
        std::vector<double> out(static_cast<size_t>(0.3 * 44100), 0.0);
        double held = 0.0;
        double again = 0.0;
        for (int i = 0; i < static_cast<int>(1.5 * 44100); ++i) {
            const double t = i / 44100.0;
            const double vibrato = 35.0 * std::sin(2 * M_PI * 5.5 * std::min(t, 0.7)) * std::clamp((t - 0.15) / 0.2, 0.0, 1.0);
            held += 2 * M_PI * 440.0 * std::pow(2.0, vibrato / 1200.0) / 44100.0;
            again += 2 * M_PI * 440.0 * std::pow(2.0, bend * std::exp(-std::max(0.0, t - 0.7) / 0.035) / 1200.0) / 44100.0;
            const double old = std::min(1.0, t / 0.03) * (t < 0.7 ? 1.0 : std::exp(-(t - 0.7) / 0.1));
            const double rising = t < 0.7 ? 0.0 : std::pow(std::sin(M_PI / 2 * std::min(1.0, (t - 0.7) / 0.06)), 2);
            double sum = 0.0;
            for (int k = 1; k <= 4; ++k)
                sum += (k == 1 ? 1.0 : 0.3 / k) * (old * std::sin(k * held) + rising * std::sin(k * again + k));
            out.push_back(0.15 * sum);
        }
        return out;
    };
    // A held A4 whose level dips 12 dB 0.55 s in (a recorded voice's sample does so), struck again
    // at 0.97 s, a scoop of 60 cents from below, as the level comes back: the rise is an attack's,
    // and the picker's peak on it the dip's own.
    std::vector<double> struckOnDip = formantVoice({{69, 0.3, 1.5}}, 2.0, {730, 1090, 2440}, 50.0);
    {
        const std::vector<double> strike = formantVoice({{69, 0.97, 1.03}}, 2.0, {730, 1090, 2440}, 50.0);
        const std::vector<double> room = SignalFactory::whiteNoise(2.0, -75.0);
        for (size_t i = 0; i < struckOnDip.size(); ++i) {
            const double t = i / 44100.0;
            const double d = t - 0.85;
            const double dip = d <= 0.0 ? 0.0 : d < 0.06 ? std::pow(std::sin(M_PI * d / 0.12), 2)
                                       : d < 0.18 ? std::pow(std::cos(M_PI * (d - 0.06) / 0.24), 2) : 0.0;
            struckOnDip[i] *= (1.0 - 0.76 * dip) * (t < 0.97 ? 1.0 : std::exp(-(t - 0.97) / 0.1));
            struckOnDip[i] += strike[i] + room[i];
        }
    }
    const Row rows[] = {
        {"struck again over its own release", struckAgain, {true, true}},
        {"struck again sharp beside its own release, no rise", struckBeside(80.0), {true, true}},
        // Only 40 cents flat, the harmonics pull apart less, but the strike's new sound shows.
        {"struck again a little flat beside its own release, no rise", struckBeside(-40.0), {true, true}},
        {"struck again beside its own release on the way back from a dip", struckOnDip, {true, true}},
        {"struck again with a burst", struckWithBurst, {true, true}},
        {"struck again sharp over its own release", struckSharp, {true, true}},
        {"steps after 80 ms gaps", SignalFactory::voice({{60, 0.4, 0.47}, {62, 0.95, 0.47}, {64, 1.5, 0.47}}, 2.3, 0.0),
         {true, true, true}},
        {"steps after 80 ms gaps in room noise", [] {
             std::vector<double> s = SignalFactory::voice({{60, 0.4, 0.47}, {62, 0.95, 0.47}, {64, 1.5, 0.47}}, 2.3, 20.0);
             const std::vector<double> room = SignalFactory::whiteNoise(2.3, -50.0);
             for (size_t i = 0; i < s.size() && i < room.size(); ++i)
                 s[i] += room[i];
             return s;
         }(),
         {true, true, true}},
        {"legato", legato, {true, false}},
        // A high ee let go (its level falls to nothing) and sung again at its pitch with no gap: struck,
        // though it comes back to the level it had and its spectrum shows little that is new.
        {"sung again at its pitch after letting go", formantVoice({{71, 0.3, 0.67}, {71, 0.97, 1.0}}, 2.2, {270, 2290, 3010}, 50.0),
         {true, true}},
        // A quiet high ee, begun and sung again after a breath of 50 ms, each rising softly only 10-11 dB
        // over the room's noise: no peak to pick, short of the 12 dB a rise out of a held note asks.
        {"a quiet ee out of the room's noise, again after a breath", [] {
             std::vector<double> s = formantVoice({{72, 0.3, 0.9}, {72, 1.25, 0.8}}, 2.3, {270, 2290, 3010}, 0.0);
             for (size_t i = static_cast<size_t>(1.2 * 44100); i < s.size(); ++i)
                 s[i] *= std::clamp((i / 44100.0 - 1.25) / 0.06, 0.0, 1.0);
             const std::vector<double> room = SignalFactory::whiteNoise(2.3, -28.0);
             for (size_t i = 0; i < s.size() && i < room.size(); ++i)
                 s[i] += room[i];
             return s;
         }(),
         {true, true}},
        // A loud E4 "ah", then after a rest a high ee 20 dB quieter, 15 dB over the room: under the
        // loud note's peak the picker takes none of its attack, and through the rise the wavelet
        // reads no pitch, or an octave low, every other frame.
        {"a quiet high ee after a loud note", quietHighVowel(76, {270, 2290, 3010}), {true, true}},
        // A loud E4, then a short B4 "ee" at a fifth of its level, let go into the room's noise at
        // -40 dBFS, and sung again after a rest of 0.12 s and with no gap: each rises only 8-10 dB
        // out of the room's level, the first as a step (its pitch heard before its rise ends), the
        // second within 0.25 s of the first's onset.
        {"short quiet ees out of the room's noise", [] {
             std::vector<double> s = formantVoice({{64, 0.3, 0.5}}, 2.0, {730, 1090, 2440}, 20.0);
             const std::vector<double> high =
                 formantVoice({{71, 0.8, 0.13}, {71, 1.05, 0.25}, {71, 1.3, 0.5}}, 2.0, {270, 2290, 3010}, 20.0);
             const std::vector<double> room = SignalFactory::whiteNoise(2.0, -40.0);
             for (size_t i = 0; i < s.size(); ++i)
                 s[i] += 0.2 * high[i] + room[i];
             return s;
         }(),
         {true, true, true, true}},
        // A short B4 "ee" (0.13 s) at a seventh of a loud E4 "ee"'s level, straight after it, in room
        // noise at -40 dBFS, and again after a rest: the short note's pitch is gone by the time the
        // rise's wait for a peak is over.
        {"a short quiet ee over before its rise's wait", [] {
             std::vector<double> s = formantVoice({{64, 0.3, 0.5}}, 2.0, {270, 2290, 3010}, 20.0);
             const std::vector<double> high = formantVoice({{71, 0.8, 0.13}, {71, 1.05, 0.5}}, 2.0, {270, 2290, 3010}, 20.0);
             const std::vector<double> room = SignalFactory::whiteNoise(2.0, -40.0);
             for (size_t i = 0; i < s.size(); ++i)
                 s[i] += 0.15 * high[i] + room[i];
             return s;
         }(),
         {true, true, true}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PitchDetector detector;
        DefaultOnsetDetectionStrategy strategy(2048, 512, 44100);
        runStrategy(strategy, detector, row.signal, 2048);
        expectAttacks(detector, row.attacks);
    }
}

// What the melody asks for never makes, dates or keeps an onset: a repeat needs the same evidence
// as anywhere else. A weak strike (a start 30 cents flat, rising over 60 ms to no more than the held
// level, with no sudden rise but its new sound's detection peak) and a softer one (60 cents sharp,
// rising over 0.2 s to 60 % of the held level while the held note's level falls less than 6 dB)
// give what a held note's own sustain gives too, and so no second onset, whether the melody repeats
// the note then, in either octave, moves on, repeats another note or repeats the note later. A held
// note with vibrato and a G3 whose pitch glides 130 cents up within 30 ms (a small step up with no
// rise, a legato step) give the same onsets wherever the melody goes: taken as strikes where it
// repeats the note, a note held over a written repeat was graded as both notes sung.
TEST(DefaultOnsetStrategy, TheMelodyMakesNoStrike)
{
    // The held note, then (when struck) the same note again at 1.0 s starting `bend` cents off and
    // settling with time constant `settle`, its upper harmonics `bright` over their number; the held
    // note dies away with time constant `release`.
    const auto strikeAgain = [](double hz, bool struck, double bend, double settle, double release, double level,
                                double rise, double vibrato, double bright) {
        std::vector<double> out(static_cast<size_t>(0.3 * 44100), 0.0);
        double held = 0.0;
        double again = 0.0;
        for (int i = 0; i < static_cast<int>(1.5 * 44100); ++i) {
            const double t = i / 44100.0;
            const double swing = vibrato * std::sin(2 * M_PI * 5.5 * t) * std::clamp((t - 0.15) / 0.2, 0.0, 1.0);
            held += 2 * M_PI * hz * std::pow(2.0, swing / 1200.0) / 44100.0;
            again += 2 * M_PI * hz * std::pow(2.0, bend * std::exp(-std::max(0.0, t - 0.7) / settle) / 1200.0) / 44100.0;
            const double old = std::min(1.0, t / 0.03) * (!struck || t < 0.7 ? 1.0 : std::exp(-(t - 0.7) / release));
            const double rising = !struck || t < 0.7 ? 0.0 : std::pow(std::sin(M_PI / 2 * std::min(1.0, (t - 0.7) / rise)), 2);
            double sum = 0.0;
            for (int k = 1; k <= 4; ++k)
                sum += (k == 1 ? 1.0 : 0.3 / k) * old * std::sin(k * held) +
                       (k == 1 ? 1.0 : bright / k) * level * rising * std::sin(k * again + k);
            out.push_back(0.15 * sum);
        }
        return out;
    };
    const std::vector<double> weak = strikeAgain(440.0, true, -30.0, 0.035, 0.1, 0.9, 0.06, 20.0, 0.3);
    const std::vector<double> soft = strikeAgain(440.0, true, 60.0, 0.035, 0.2, 0.6, 0.2, 30.0, 1.0);
    const std::vector<double> heldOn = strikeAgain(440.0, false, 0.0, 0.035, 0.1, 0.9, 0.06, 20.0, 0.3);
    // One voice: a held G3 whose pitch bends up at 1.0 s (a repeat struck sharp, as the tracker hears
    // it once the last note's release is gone).
    const std::vector<double> bent = [] {
        std::vector<double> out(static_cast<size_t>(0.3 * 44100), 0.0);
        double phase = 0.0;
        for (int i = 0; i < static_cast<int>(1.5 * 44100); ++i) {
            const double t = i / 44100.0;
            phase += 2 * M_PI * 196.0 * std::pow(2.0, (30.0 * std::sin(2 * M_PI * 5.5 * t) * std::clamp((t - 0.15) / 0.2, 0.0, 1.0) + (t < 0.7 ? 0.0 : 130.0 * std::min(1.0, (t - 0.7) / 0.03) * std::exp(-std::max(0.0, t - 0.7 - 0.03) / 0.1))) / 1200.0) / 44100.0;
            double sum = 0.0;
            for (int k = 1; k <= 4; ++k)
                sum += (k == 1 ? 1.0 : 0.3 / k) * std::sin(k * phase);
            out.push_back(0.15 * std::min(1.0, t / 0.03) * sum);
        }
        return out;
    }();
    const auto expecting = [](int firstMidi, int secondMidi, double secondAt) {
        QList<PitchDetector::NoteInfo> expected;
        for (const auto& [midi, at] : {std::pair<int, double>{firstMidi, 0.3}, {secondMidi, secondAt}}) {
            PitchDetector::NoteInfo note;
            note.note = static_cast<Pitch::Note>(midi % 12);
            note.octave = midi / 12 - 1;
            note.offset = at;
            expected.append(note);
        }
        return expected;
    };
    struct Row {
        const char* name;
        const std::vector<double>& signal;
        QList<PitchDetector::NoteInfo> expected;
        std::vector<bool> attacks; // per onset
    };
    const Row rows[] = {
        {"nothing expected", weak, {}, {true}},
        {"the melody repeats the note then", weak, expecting(69, 69, 1.0), {true}},
        {"the melody repeats it an octave up", weak, expecting(81, 81, 1.0), {true}},
        {"the melody moves on", weak, expecting(69, 71, 1.0), {true}},
        {"the melody repeats another note", weak, expecting(71, 71, 1.0), {true}},
        {"the melody repeats the note later", weak, expecting(69, 69, 1.25), {true}},
        {"a softer strike, nothing expected", soft, {}, {true}},
        {"a softer strike where the melody repeats the note", soft, expecting(69, 69, 1.0), {true}},
        {"held on where the melody repeats the note", heldOn, expecting(69, 69, 1.0), {true}},
        {"bent sharp, nothing expected", bent, {}, {true, false}},
        {"bent sharp where the melody repeats the note", bent, expecting(55, 55, 1.0), {true, false}},
        {"struck bent sharp where the melody moves on", bent, expecting(55, 57, 1.0), {true, false}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PitchDetector detector;
        detector.m_expectedNotes = row.expected;
        DefaultOnsetDetectionStrategy strategy(2048, 512, 44100);
        const std::vector<unsigned long> onsets = runStrategy(strategy, detector, row.signal, 2048);
        expectAttacks(detector, row.attacks);
        // ... at the same times as with nothing expected.
        PitchDetector unexpecting;
        DefaultOnsetDetectionStrategy plain(2048, 512, 44100);
        EXPECT_EQ(onsets, runStrategy(plain, unexpecting, row.signal, 2048));
    }
}

// A held note sung by an ensemble (or a sample with its own chorus): two copies a fraction of a
// semitone apart beat slowly, and each harmonic's peak wanders by its own amount, as a second voice
// struck beside the held note pulls them. Nothing new sounds, the detection function stays at the
// held note's and the level changes slowly: one onset, the note's own.
TEST(DefaultOnsetStrategy, AnEnsemblesOwnBeatingIsNoSecondVoice)
{
    struct Row {
        double hz;
        double apartCents;
        double second; // the second copy's level against the first's
    };
    const Row rows[] = {{220.0, 20.0, 0.7}, {220.0, 30.0, 0.6}, {175.0, 25.0, 0.7}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.hz);
        SCOPED_TRACE(row.apartCents);
        std::vector<double> signal(static_cast<size_t>(0.3 * 44100), 0.0);
        double low = 0.0, high = 0.0;
        for (int i = 0; i < 3 * 44100; ++i) {
            const double t = i / 44100.0;
            low += 2 * M_PI * row.hz * std::pow(2.0, -row.apartCents / 2400.0) / 44100.0;
            high += 2 * M_PI * row.hz * std::pow(2.0, row.apartCents / 2400.0) / 44100.0;
            double sum = 0.0;
            for (int k = 1; k <= 6; ++k)
                sum += (k == 1 ? 1.0 : 0.5 / k) * (std::sin(k * low) + row.second * std::sin(k * high + 0.7 * k));
            signal.push_back(0.1 * std::min(1.0, t / 0.05) * std::min(1.0, (3.0 - t) / 0.06) * sum);
        }
        PitchDetector detector;
        DefaultOnsetDetectionStrategy strategy(2048, 512, 44100);
        const std::vector<unsigned long> onsets = runStrategy(strategy, detector, signal, 2048);
        ASSERT_EQ(onsets.size(), 1u);
        EXPECT_NEAR(onsets[0] / 44100.0, 0.3, 0.03);
    }
}

// A recorded ensemble's slow attack rises in stages: a quarter of the note's level within 30 ms, a
// pause, then the full level 0.1-0.2 s in, at the pitch it began with. The second stage is that
// note's attack, not the note sung again: one onset. The shortest note sung again, 0.25 s after the
// last with a 50 ms gap, is two; so are two notes a tone apart struck in stages as close together.
// A step heard without an attack is no strike: the note struck again at the new pitch 0.15 s after
// its first sign is an onset of its own.
TEST(DefaultOnsetStrategy, AnAttackRisingInStagesIsOneNote)
{
    struct Stroke {
        double start;
        double hz;
        double secondStage; // seconds from the start to the full level's rise
        double duration;
        double steppedHz = 0.0; // sung legato from stepAt on
        double stepAt = 0.0;
    };
    struct Row {
        const char* name;
        std::vector<Stroke> strokes;
        std::vector<double> onsets;
    };
    const Row rows[] = {
        {"second stage at 0.12 s", {{0.3, 220.0, 0.12, 1.5}}, {0.3}},
        {"second stage at 0.16 s", {{0.3, 330.0, 0.16, 1.5}}, {0.3}},
        {"sung again after 0.25 s", {{0.3, 220.0, 0.0, 0.2}, {0.55, 220.0, 0.0, 1.0}}, {0.3, 0.55}},
        {"a new note after 0.25 s", {{0.3, 220.0, 0.0, 0.25}, {0.55, 247.0, 0.12, 1.0}}, {0.3, 0.55}},
        {"struck just after a legato step", {{0.3, 220.0, 0.0, 0.7, 262.0, 0.6}, {1.06, 262.0, 0.0, 0.6}}, {0.3, 0.9, 1.06}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<double> signal(static_cast<size_t>(2.0 * 44100), 0.0);
        for (const Stroke& stroke : row.strokes) {
            double phase = 0.0;
            for (int i = 0; i < static_cast<int>(stroke.duration * 44100); ++i) {
                const double t = i / 44100.0;
                const double first = 0.25 * std::min(1.0, t / 0.03);
                const double rest = 0.75 * std::clamp((t - stroke.secondStage) / 0.05, 0.0, 1.0);
                const double envelope = (first + rest) * std::min(1.0, (stroke.duration - t) / 0.04);
                phase += 2 * M_PI * (stroke.steppedHz > 0.0 && t >= stroke.stepAt ? stroke.steppedHz : stroke.hz) / 44100.0;
                double sum = 0.0;
                for (int k = 1; k <= 6; ++k)
                    sum += std::sin(k * phase) / k;
                signal[static_cast<size_t>(stroke.start * 44100) + i] += 0.1 * envelope * sum;
            }
        }
        PitchDetector detector;
        DefaultOnsetDetectionStrategy strategy(2048, 512, 44100);
        const std::vector<unsigned long> onsets = runStrategy(strategy, detector, signal, 2048);
        ASSERT_EQ(onsets.size(), row.onsets.size());
        for (size_t i = 0; i < onsets.size(); ++i)
            EXPECT_NEAR(onsets[i] / 44100.0, row.onsets[i], 0.03) << i;
    }
}

// The room's floor rises 3 dB a second of sound heard, however the caller cuts it (the pitch
// strategy's pieces of 1025 samples, the onset strategy's hops of 512), holds while a steady pitch
// sounds, and falls to a quieter level at once.
TEST(RoomFloor, RisesThreeDecibelsASecondBetweenNotesAndHoldsUnderOne)
{
    for (int cut : {512, 1025}) {
        SCOPED_TRACE(cut);
        RoomFloor rising(44100), held(44100);
        EXPECT_LT(rising.level(), 0.0);
        rising.hear(0.01, cut, false);
        held.hear(0.01, cut, false);
        for (int heard = 0; heard < 44100; heard += cut) {
            rising.hear(1.0, cut, false);
            held.hear(1.0, cut, true);
        }
        EXPECT_NEAR(20.0 * std::log10(rising.level() / 0.01), 3.0, 0.1);
        EXPECT_DOUBLE_EQ(held.level(), 0.01);
        rising.hear(0.005, cut, false);
        EXPECT_DOUBLE_EQ(rising.level(), 0.005);
        rising.reset();
        EXPECT_LT(rising.level(), 0.0);
    }
}

} // namespace
