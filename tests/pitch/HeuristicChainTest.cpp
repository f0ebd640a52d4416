// The heuristics of the standard chain, each on its own rules.
#include "HeuristicFixtures.h"
#include "pitch/heuristics/AveragingHeuristic.h"
#include "pitch/heuristics/ClosestOctaveHeuristic.h"
#include "pitch/heuristics/OnsetCoordinatorHeuristic.h"
#include "pitch/heuristics/PitchDistanceHeuristic.h"
#include "pitch/heuristics/PitchQuantizationHeuristic.h"
#include "pitch/heuristics/SilenceFilterHeuristic.h"
#include "pitch/heuristics/UniqueFilterHeuristic.h"
#include "support/AssertRecorder.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using N = PitchDetector::NoteInfo;
using Chain = HeuristicTest;

// The vote over a full window: expected notes weigh double, a note needs the minimum count (or six
// results and most of the pitched ones), and a mean over nothing (results outside the counted
// octaves) is no note. Each row's results before the last only fill the window.
TEST_F(Chain, AveragingVotesOverAFullWindow)
{
    struct Row {
        const char* name;
        int window, minCount;
        QList<N> expected;
        std::vector<N> results;
        bool accepted;
        N note;
    };
    std::vector<N> weighed;
    for (int i = 0; i < 16; ++i)
        weighed.push_back(makeNote(i < 10 ? Pitch::NONE : Pitch::A, 4, i * 0.023));
    // nine different notes once each, then E
    std::vector<N> belowMinimum;
    const Pitch::Note others[9] = {Pitch::C, Pitch::CSharp, Pitch::D, Pitch::DSharp, Pitch::F,
                                   Pitch::FSharp, Pitch::G, Pitch::GSharp, Pitch::A};
    for (int i = 0; i < 16; ++i)
        belowMinimum.push_back(makeNote(i < 9 ? others[i] : Pitch::E, 4, i * 0.023));
    std::vector<N> reachesMinimum = belowMinimum;
    reachesMinimum.push_back(makeNote(Pitch::E, 4, 16 * 0.023));
    const std::vector<N> octaveNine(4, makeNote(Pitch::A, 9, 0.0, 14080.0));
    // the last note's tail (four G, an F), five silences, then a short B sung for an expected A
    std::vector<N> shortWrong;
    for (int i = 0; i < 16; ++i)
        shortWrong.push_back(makeNote(i < 4 ? Pitch::G : i == 4 ? Pitch::F : i < 10 ? Pitch::NONE : Pitch::B, 4, i * 0.023));
    const Row rows[] = {
        {"six expected A4 outvote ten silences", 16, 8, {makeNote(Pitch::A, 4)}, weighed, true,
         makeNote(Pitch::A, 4, 10 * 0.023, 440.0, 5 * 0.023)},
        {"seven E of sixteen", 16, 8, {}, belowMinimum, false, N()},
        {"eight E of sixteen", 16, 8, {}, reachesMinimum, true, makeNote(Pitch::E, 4, 9 * 0.023, 0.0, 7 * 0.023)},
        {"mean over nothing", 4, 2, {}, octaveNine, false, N()},
        {"six B holding most pitched results", 16, 8, {makeNote(Pitch::A, 4)}, shortWrong, true,
         makeNote(Pitch::B, 4, 10 * 0.023, 0.0, 5 * 0.023)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AveragingHeuristic averaging(&detector, row.window, row.minCount);
        detector.m_expectedNotes = row.expected;
        N note;
        for (size_t i = 0; i + 1 < row.results.size(); ++i) {
            note = row.results[i];
            EXPECT_FALSE(averaging.process(note)) << i;
        }
        note = row.results.back();
        ASSERT_EQ(averaging.process(note), row.accepted);
        EXPECT_FALSE(std::isnan(note.frequency));
        if (row.accepted)
            expectSameNote(note, row.note);
    }
}

TEST_F(Chain, AveragingTieGoesToTheLowerNoteAndOctave)
{
    AveragingHeuristic averaging(&detector, 5, 2);
    for (N n : {makeNote(Pitch::D, 4), makeNote(Pitch::C, 5), makeNote(Pitch::D, 4), makeNote(Pitch::C, 3)})
        averaging.process(n);
    Pitch::Note winner = Pitch::NONE;
    int octave = -1;
    double frequency = 0.0;
    ASSERT_TRUE(averaging.getMostFrequentNoteInWindow(winner, octave, frequency));
    EXPECT_EQ(std::make_pair(winner, octave), std::make_pair(Pitch::C, 3));
    EXPECT_NEAR(frequency, Pitch::noteToFreq(Pitch::C, 3), 1e-9);
}

TEST_F(Chain, AveragingContinuesTheSameNoteUnlessTheMelodyRepeatsIt)
{
    AveragingHeuristic averaging(&detector, 4, 2);
    auto a = [](double t) { return makeNote(Pitch::A, 4, t); };
    expectSteps(averaging, {{0, a(0.0), false}, {0, a(0.1), false}, {0, a(0.2), false},
                            {0, a(0.3), true, makeNote(Pitch::A, 4, 0.0, 0.0, 0.3)},
                            {0, a(0.4), true, makeNote(Pitch::A, 4, 0.0, 0.0, 0.4)}});
    EXPECT_EQ(averaging.history().size(), 1);
    // The melody repeats A: dated from its own run.
    detector.m_expectedNotes = {makeNote(Pitch::A, 4), makeNote(Pitch::A, 4)};
    expectSteps(averaging, {{1, a(0.5), true, makeNote(Pitch::A, 4, 0.2, 0.0, 0.3)}});
    // An earlier capture's notes run on that capture's clock.
    averaging.reset();
    EXPECT_TRUE(averaging.history().isEmpty());
}

TEST_F(Chain, SilenceOctaveFoldingAndQuantisation)
{
    // Against an expected A4. The closest octave moves only the octave (within a fifth) and keeps
    // the measured frequency; quantisation snaps a near miss onto the expected note, comparing the
    // frequency shifted by the folded octaves, so a wrong semitone in another octave stays wrong.
    enum { Silence, Octave, Quantize, Both };
    const struct { int how; Pitch::Note note; int octave; double hz; bool accepted; Pitch::Note toNote; int toOctave; double toHz; } rows[] = {
        {Silence, Pitch::NONE, 0, -1, false, Pitch::NONE, 0, -1},
        {Silence, Pitch::A, 4, 440, true, Pitch::A, 4, 440},
        {Octave, Pitch::A, 5, 880, true, Pitch::A, 4, 880},
        {Octave, Pitch::E, 5, 659.26, true, Pitch::E, 4, 659.26},
        {Octave, Pitch::DSharp, 5, 622.25, true, Pitch::DSharp, 5, 622.25},
        {Octave, Pitch::A, 2, 110, true, Pitch::A, 4, 110},
        {Quantize, Pitch::ASharp, 4, 455, true, Pitch::A, 4, 455},
        {Quantize, Pitch::ASharp, 4, 462, true, Pitch::ASharp, 4, 462},
        {Quantize, Pitch::GSharp, 4, 425, true, Pitch::A, 4, 425},
        {Quantize, Pitch::B, 4, 470, true, Pitch::B, 4, 470},
        {Both, Pitch::GSharp, 5, 830.61, true, Pitch::GSharp, 4, 830.61},  // sung G#5 is no A4
        {Both, Pitch::GSharp, 5, 874, true, Pitch::A, 4, 874},  // slightly sharp: within tolerance once folded
        // named G#4 (folded elsewhere) but measured an octave up or down
        {Quantize, Pitch::GSharp, 4, 830.61, true, Pitch::GSharp, 4, 830.61},
        {Quantize, Pitch::GSharp, 4, 218.5, true, Pitch::A, 4, 218.5},
    };
    SilenceFilterHeuristic silence(&detector);
    ClosestOctaveHeuristic octave(&detector);
    PitchQuantizationHeuristic quantize(&detector, 0.8);
    expectSteps(octave, {{0, makeNote(Pitch::A, 5), true}});  // no expected notes: unchanged
    detector.m_expectedNotes = {makeNote(Pitch::A, 4)};
    for (const auto& r : rows) {
        N n = makeNote(r.note, r.octave, 0.0, r.hz);
        bool accepted = true;
        if (r.how == Silence)
            accepted = silence.process(n);
        if (r.how == Octave || r.how == Both)
            accepted = octave.process(n);
        if (r.how == Quantize || r.how == Both)
            accepted = quantize.process(n) && accepted;
        EXPECT_EQ(accepted, r.accepted) << r.how << " " << r.hz;
        EXPECT_EQ(std::make_pair(int(n.note), n.octave), std::make_pair(int(r.toNote), r.toOctave)) << r.how << " " << r.hz;
        EXPECT_DOUBLE_EQ(n.frequency, r.toHz) << r.how << " " << r.hz;
    }
}

TEST_F(Chain, UniqueFilterRefusesRepeatsUnlessTheMelodyRepeats)
{
    const N c4 = makeNote(Pitch::C, 4);
    const N c5 = makeNote(Pitch::C, 5);
    // Against the last accepted note, octave ignored.
    UniqueFilterHeuristic accepted(&detector, true, true);
    detector.m_expectedNotes = {c4, makeNote(Pitch::D, 4), c4, c4};
    expectSteps(accepted, {{0, c4, true}});
    detector.m_notes.append(c4);
    expectSteps(accepted, {{1, c5, false}, {3, c4, true}});
    // Against its own last result, octave counted.
    UniqueFilterHeuristic ownMemory(&detector, false, false);
    detector.m_expectedNotes.clear();
    expectSteps(ownMemory, {{0, c4, true}, {0, c4, false}, {0, c5, true}});
    ownMemory.reset();
    expectSteps(ownMemory, {{0, c5, true}});
}

TEST_F(Chain, PitchDistanceRefusesThePreviousNoteAndItsNeighbours)
{
    PitchDistanceHeuristic distance(&detector);
    const N c4 = makeNote(Pitch::C, 4);
    const N cs4 = makeNote(Pitch::CSharp, 4);
    const N f4 = makeNote(Pitch::F, 4);
    detector.m_expectedNotes = {c4, cs4, f4};
    distance.prepare();
    // D4 is a semitone from C#4
    expectSteps(distance, {{1, c4, false}, {1, cs4, true}, {2, makeNote(Pitch::D, 4), false}, {2, cs4, false}, {2, f4, true}});
}

TEST_F(Chain, OnsetCoordinatorTiesTheFirstNoteToAnOnsetInRangeAndDatesItByTheOnset)
{
    OnsetCoordinatorHeuristic coordinator(&detector, 0.1, 0.8);
    const N note = makeNote(Pitch::A, 4, 2.0, 0.0, 0.5);
    expectSteps(coordinator, {{0, note, false}}); // no onsets at all
    for (double t : {1.15, 2.6}) { // too early; past the run
        setOnsets({t});
        coordinator.reset();
        expectSteps(coordinator, {{0, note, false}});
    }
    setOnsets({1.30});
    coordinator.reset();
    // The onset dates the note; its end stays.
    expectSteps(coordinator, {{0, note, true, makeNote(Pitch::A, 4, 1.30, 0.0, 1.2)},
                              {0, makeNote(Pitch::B, 4, 2.2), false}}); // never tied twice
    expectSameNote(detector.m_onsets[0].noteInfo, makeNote(Pitch::A, 4, 1.30, 0.0, 1.2));
    // The run began before its onset (the last note's vibrato read as this pitch): the first onset
    // inside the run so far is the note's; the later one stays for a repeat.
    setOnsets({2.15, 2.25});
    coordinator.reset();
    expectSteps(coordinator, {{0, note, true, makeNote(Pitch::A, 4, 2.15, 0.0, 0.35)}});
    EXPECT_EQ(detector.m_onsets[1].noteInfo.note, Pitch::NONE);
}

TEST_F(Chain, OnsetCoordinatorNeedsTimeBetweenOnsetsAndAnOnsetOfItsOwn)
{
    OnsetCoordinatorHeuristic coordinator(&detector, 0.1, 0.8);
    detector.m_expectedNotes = {makeNote(Pitch::C, 4, 1.0), makeNote(Pitch::G, 4, 2.0), makeNote(Pitch::A, 4, 3.0)};
    coordinator.prepare();
    setOnsets({1.0});
    expectSteps(coordinator, {{0, makeNote(Pitch::C, 4, 0.95), true, makeNote(Pitch::C, 4, 1.0)}});
    // No onset left for G: never matched, however clear the step (C->G) and late the note.
    expectSteps(coordinator, {{1, makeNote(Pitch::G, 4, 1.6), false}});
    // An onset too close to the last tied one.
    setOnsets({1.0, 1.2});
    expectSteps(coordinator, {{1, makeNote(Pitch::A, 4, 1.25), false}});
}

// In room noise the onset detector can miss a quiet high vowel's attack, and a legato step read as
// the two notes' common subharmonic while the last one fades; the note was refused and every later
// one graded against the one before it. A run of one steady pitch after silence is taken 0.2 s after
// it began (when any onset would have come), short or not, and a new pitch held throughout for
// 0.25 s out of another, each dated where its run began; noise read as pitch now and then, a swing
// away and back, a wavering run and a held note's own run are not.
TEST_F(Chain, OnsetCoordinatorTakesASteadyRunWithoutAnOnset)
{
    const double hop = 1024.0 / 44100.0;
    const Pitch::Note O = Pitch::NONE, E = Pitch::E, C = Pitch::C, G = Pitch::G;
    struct Row {
        const char* name;
        std::vector<Pitch::Note> results;
        std::vector<double> onsets;
        std::vector<Pitch::Note> taken;
        std::vector<double> dates;
        bool repeatWritten = false; // the melody C C D, else C E
    };
    std::vector<Pitch::Note> silence(20, O), steadyE(20, E), steadyC(20, C);
    auto join = [](std::vector<Pitch::Note> a, const std::vector<Pitch::Note>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const std::vector<Pitch::Note> comesAndGoes = {E, E, E, O, E, O, E, E, O, E, E, O, E, E, E, O, E, E, O, E};
    const Row rows[] = {
        {"struck from silence", join(silence, steadyE), {}, {E}, {20 * hop}},
        {"noise read as pitch now and then", join(silence, comesAndGoes), {}, {}, {}},
        {"out of another note, a swing of 0.14 s", join(join(join(silence, steadyC), std::vector<Pitch::Note>(6, E)), steadyC), {20 * hop}, {C}, {20 * hop}},
        // a legato step whose onset was not heard: a new pitch held throughout for 0.25 s
        {"out of another note, held", join(join(silence, steadyC), steadyE), {20 * hop}, {C, E}, {20 * hop, 40 * hop}},
        // held 0.25 s up to the next note's attack (the tracker holds it one result past that): the
        // vote has to run again with each result, or the next vote finds the attack inside the run
        {"out of another note, a short step up to the next attack", join(join(join(silence, steadyC), std::vector<Pitch::Note>(12, E)), steadyC), {20 * hop, 51 * hop}, {C, E, C}, {20 * hop, 40 * hop, 51 * hop}},
        // as long a step to a note not expected (the right pitch of a note taken misread) is none
        {"out of another note, a step of 0.23 s to a note not expected", join(join(join(silence, steadyC), std::vector<Pitch::Note>(11, G)), steadyC), {20 * hop}, {C}, {20 * hop}},
        {"out of another note, held but wavering", join(join(silence, steadyC), join(std::vector<Pitch::Note>(4, E), comesAndGoes)), {20 * hop}, {C}, {20 * hop}},
        {"short, struck from silence", join(join(silence, std::vector<Pitch::Note>(7, E)), silence), {}, {E}, {20 * hop}},
        {"after a note and a silence", join(join(join(silence, steadyC), silence), steadyE), {20 * hop}, {C, E}, {20 * hop, 60 * hop}},
        // where the melody repeats, the vote dates the repeat from the first run of the note in its
        // window: a held note's level dipping near a room floor risen over a long phrase began one,
        // read as a strike out of silence, and the repeat was taken early, its strike no note
        {"the note taken, dipping, then struck again", join(join(join(silence, steadyC), {O, O, O}), join(steadyC, steadyC)), {20 * hop, 55 * hop}, {C, C}, {20 * hop, 55 * hop}, true},
        {"the note taken, dipping, held on", join(join(join(silence, steadyC), {O, O, O}), join(steadyC, steadyC)), {20 * hop}, {C}, {20 * hop}, true},
        {"the note taken, sung again after a rest", join(join(join(silence, steadyC), std::vector<Pitch::Note>(6, O)), steadyC), {20 * hop, 46 * hop}, {C, C}, {20 * hop, 46 * hop}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        detector.m_notes.clear();
        detector.m_expectedIndex = 0;
        detector.m_expectedNotes = {makeNote(C, 4, 0.5), makeNote(E, 5, 1.0)};
        if (row.repeatWritten)
            detector.m_expectedNotes = {makeNote(C, 4, 0.5), makeNote(C, 4, 55 * hop), makeNote(Pitch::D, 4, 2.0)};
        AveragingHeuristic averaging(&detector, 16, 8);
        OnsetCoordinatorHeuristic coordinator(&detector, 0.1, 0.8);
        detector.m_heuristics = {&averaging, &coordinator};
        coordinator.prepare();
        setOnsets(row.onsets);
        for (PitchDetector::OnsetInfo& onset : detector.m_onsets)
            onset.rise = 6.0;
        for (size_t i = 0; i < row.results.size(); ++i) {
            N note = makeNote(row.results[i], row.results[i] == E ? 5 : 4, i * hop);
            // A note goes on while the run keeps its date.
            if (averaging.process(note) && coordinator.process(note) &&
                (detector.m_notes.isEmpty() || std::fabs(detector.m_notes.last().offset - note.offset) > 0.05)) {
                detector.m_notes.append(note);
                ++detector.m_expectedIndex;
            }
        }
        ASSERT_EQ(detector.m_notes.size(), static_cast<int>(row.taken.size()));
        for (size_t i = 0; i < row.taken.size(); ++i) {
            EXPECT_EQ(detector.m_notes[static_cast<int>(i)].note, row.taken[i]) << i;
            EXPECT_NEAR(detector.m_notes[static_cast<int>(i)].offset, row.dates[i], 0.001) << i;
        }
    }
}

// A held note whose run the quantiser named as the next note (a few cents flat of it) is taken at
// that note's onset; the same run named as itself a moment later is the note before, still in the
// window, not a legato step after the note just taken: taken, it is one note too many and every
// later note is graded against the one before it. A run that begins after the last note taken is.
TEST_F(Chain, OnsetCoordinatorTakesNoHeldStepBegunBeforeTheLastNote)
{
    const double hop = 1024.0 / 44100.0;
    const double runStart = 20 * hop;
    struct Row {
        const char* name;
        double lastTaken;
        bool taken;
    };
    const Row rows[] = {
        {"the last note taken inside the run", runStart + 6 * hop, false},
        {"the last note taken before the run", runStart - 6 * hop, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        detector.m_expectedNotes = {makeNote(Pitch::E, 4, 0.5), makeNote(Pitch::DSharp, 4, 1.0),
                                    makeNote(Pitch::DSharp, 4, 1.5)};
        detector.m_expectedIndex = 2;
        detector.m_notes = {makeNote(Pitch::E, 4, 0.0), makeNote(Pitch::DSharp, 4, row.lastTaken)};
        AveragingHeuristic averaging(&detector, 16, 8);
        OnsetCoordinatorHeuristic coordinator(&detector, 0.1, 0.8);
        detector.m_heuristics = {&averaging, &coordinator};
        coordinator.prepare();
        setOnsets({});
        for (int i = 0; i < 20; ++i) {
            N result = makeNote(Pitch::E, 4, runStart + i * hop);
            averaging.process(result);
        }
        N run = makeNote(Pitch::E, 4, runStart, 0.0, 19 * hop);
        EXPECT_EQ(coordinator.process(run), row.taken);
    }
}

// A slow, wide vibrato swinging back reads as a legato step inside a held note; where the melody
// repeats that note, the averaging offers the note again and it was tied to the step, taking the
// place of the repeat sung later. A note sung again needs an attack, wherever the melody has it;
// any other note takes a step.
TEST_F(Chain, OnsetCoordinatorTiesANoteSungAgainToAnAttackOnly)
{
    struct Row {
        const char* name;
        Pitch::Note second;
        double rise;    // of the onset at 1.4 s; 0 for a step
        double written; // where the melody puts the second note
        bool accepted;
    };
    const Row rows[] = {
        {"the same note at a step", Pitch::C, 0.0, 2.0, false},
        {"the same note at an attack", Pitch::C, 6.0, 2.0, true},
        {"another note at a step", Pitch::D, 0.0, 2.0, true},
        {"the same note at a step near where the melody has it", Pitch::C, 0.0, 1.5, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        detector.m_expectedNotes = {makeNote(Pitch::C, 4, 1.0), makeNote(Pitch::C, 4, row.written), makeNote(Pitch::D, 4, 2.5)};
        detector.m_notes.clear();
        OnsetCoordinatorHeuristic coordinator(&detector, 0.1, 0.8);
        coordinator.prepare();
        setOnsets({1.0, 1.4});
        detector.m_onsets[0].rise = 20.0;
        detector.m_onsets[1].rise = row.rise;
        expectSteps(coordinator, {{0, makeNote(Pitch::C, 4, 1.0), true}});
        detector.m_notes.append(makeNote(Pitch::C, 4, 1.0));
        expectSteps(coordinator, {{1, makeNote(row.second, 4, 1.38), row.accepted, makeNote(row.second, 4, 1.4)}});
    }
}

// A recorded voice's level dips inside a held note and comes back like an attack; where the melody
// repeats the note, the repeat was tied to that onset, up to half a second before its strike, and
// the strike's own onset made no note. An early onset rising no more than 12 dB waits, while the
// run goes on, for one nearer the repeat's time; with none, the repeat is dated at the onset heard,
// once the repeat is due or, for a learner singing early, before a note sung from it would end.
TEST_F(Chain, OnsetCoordinatorDatesARepeatAtTheOnsetNearestItsTime)
{
    const double hop = 1024.0 / 44100.0;
    struct Row {
        const char* name;
        Pitch::Note second; // what the melody has at 2.0 s
        double next;        // where the melody's note after it begins
        std::vector<double> onsets;
        std::vector<double> rises;
        double takenBy; // the run's end from which the note is taken
        double date;
    };
    const Row rows[] = {
        {"the held note's dip, then the strike", Pitch::C, 2.5, {1.6, 1.98}, {3.0, 4.0}, 1.98, 1.98},
        {"the dip heard as a surge, then the strike a little early", Pitch::C, 2.5, {1.6, 1.85}, {4.0, 2.5}, 2.1, 1.85},
        {"sung early, one onset", Pitch::C, 2.5, {1.6}, {3.0}, 2.1, 1.6},
        {"sung early and short, the next note early too", Pitch::C, 2.25, {1.6}, {3.0}, 1.85, 1.6},
        {"sung early, struck out of a gap", Pitch::C, 2.5, {1.6, 1.98}, {20.0, 4.0}, 1.6, 1.6},
        {"the melody moves on: the note sung again", Pitch::D, 2.5, {1.6, 1.98}, {3.0, 4.0}, 1.6, 1.6},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        detector.m_expectedNotes = {makeNote(Pitch::C, 4, 1.0), makeNote(row.second, 4, 2.0),
                                    makeNote(Pitch::E, 4, row.next)};
        detector.m_notes.clear();
        OnsetCoordinatorHeuristic coordinator(&detector, 0.1, 0.8);
        coordinator.prepare();
        setOnsets({1.0});
        detector.m_onsets[0].rise = 20.0;
        expectSteps(coordinator, {{0, makeNote(Pitch::C, 4, 1.0), true}});
        detector.m_notes.append(makeNote(Pitch::C, 4, 1.0));
        detector.m_expectedIndex = 1;
        // The vote offers the held pitch again with each result, its run from 1.3 s on.
        double takenAt = -1.0;
        N taken;
        for (double end = 1.3; end < 2.3 && takenAt < 0.0; end += hop) {
            for (size_t i = static_cast<size_t>(detector.m_onsets.size()) - 1; i < row.onsets.size() && row.onsets[i] <= end; ++i) {
                PitchDetector::OnsetInfo onset;
                onset.time = row.onsets[i];
                onset.rise = row.rises[i];
                detector.m_onsets.append(onset);
            }
            N run = makeNote(Pitch::C, 4, 1.3, 0.0, end - 1.3);
            if (coordinator.process(run)) {
                takenAt = end;
                taken = run;
            }
        }
        // Taken with the first result from then on, dated at an onset heard.
        EXPECT_GE(takenAt, row.takenBy - 1e-9);
        EXPECT_LT(takenAt, row.takenBy + hop);
        EXPECT_NEAR(taken.offset, row.date, 1e-9);
    }
}

TEST_F(Chain, OnsetCoordinatorRemovesOnsetsInsideAnEarlierSustainedNote)
{
    AveragingHeuristic averaging(&detector, 4, 2);
    OnsetCoordinatorHeuristic coordinator(&detector, 0.1, 0.8);
    detector.m_heuristics = {&averaging, &coordinator};
    coordinator.prepare();
    // Two averaged notes: C from 0.0 lasting 1.0 s, then D.
    for (int i = 0; i < 15; ++i) {
        N note = makeNote(i <= 10 ? Pitch::C : Pitch::D, 4, i * 0.1);
        averaging.process(note);
    }
    ASSERT_EQ(averaging.history().size(), 2);
    setOnsets({0.5, 1.1});
    expectSteps(coordinator, {{0, makeNote(Pitch::D, 4, 1.1), true}});
    ASSERT_EQ(detector.m_onsets.size(), 1);
    EXPECT_EQ(detector.m_onsets[0].time, 1.1);
}

TEST_F(Chain, OnsetCoordinatorWithoutOnsetStrategyAsserts)
{
    detector.mp_onsetDetectionStrategy = nullptr;
    OnsetCoordinatorHeuristic coordinator(&detector, 0.1, 0.8);
    expectSteps(coordinator, {{0, makeNote(Pitch::A, 4, 1.0), false}});
    ASSERT_EQ(AssertRecorder::count(), 1);
    EXPECT_EQ(AssertRecorder::expressions()[0], "mp_detector->getOnsetDetectionStrategy()");
}

// A short note between two attacks: the tracker holds the note before for a result or two, then
// gives two or three results of the new one before the release; too few for the vote, with the window
// full of the note before. It is the expected note, dated at its attack and lasting to the next, and
// the window starts afresh there. Not when another note has two results in a row between the
// attacks, nor when the attacks lie under 0.11 s or over 0.3 s apart, nor when the first is a step
// or rises less than 12 dB (a swell, a choir's beating).
TEST_F(Chain, AveragingTakesAShortExpectedNoteBetweenTwoAttacks)
{
    struct Row {
        const char* name;
        std::vector<Pitch::Note> between; // results from the attack, 23 ms apart
        double next;                      // the next attack
        double firstRise;
        bool taken;
    };
    const Pitch::Note C = Pitch::C, D = Pitch::D, X = Pitch::NONE;
    const Row rows[] = {
        {"two of D in a row", {C, X, D, D, Pitch::CSharp, X}, 1.25, 10.0, true},
        {"D twice, apart", {C, D, X, D, X, X}, 1.25, 10.0, false},
        // the tracker holds the last note's pitch across the attack: not a note of its own
        {"C held over the attack", {C, C, D, D, X, X}, 1.25, 10.0, true},
        {"C again after a silence", {X, C, C, D, D, X}, 1.25, 10.0, false},
        {"D twice around a neighbour (vibrato)", {C, C, D, Pitch::CSharp, D, X}, 1.25, 10.0, true},
        {"D and C#, once each", {C, C, D, Pitch::CSharp, X, X}, 1.25, 10.0, false},
        {"next attack too soon", {D, D, X, X}, 1.09, 10.0, false},
        {"next attack too late", {C, X, D, D, X, X}, 1.35, 10.0, false},
        {"a step, not an attack", {C, X, D, D, X, X}, 1.25, 0.0, false},
        {"a swell of 9 dB", {C, X, D, D, X, X}, 1.25, 2.8, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        detector.m_notes.clear();
        detector.m_expectedNotes = {makeNote(C, 4, 0.5), makeNote(D, 4, 1.0), makeNote(Pitch::E, 4, 1.25)};
        detector.m_expectedIndex = 1;
        detector.m_notes.append(makeNote(C, 4, 0.5));
        setOnsets({0.5, 1.0, row.next});
        detector.m_onsets[0].noteInfo = makeNote(C, 4, 0.5);
        detector.m_onsets[1].rise = row.firstRise;
        detector.m_onsets[2].rise = 10.0;
        AveragingHeuristic averaging(&detector, 16, 8);
        double t = 0.5;
        for (; t < 0.99; t += 0.023) {
            N result = makeNote(C, 4, t);
            averaging.process(result);
        }
        bool taken = false;
        N result;
        for (size_t i = 0; t < row.next + 0.01; t += 0.023, ++i) {
            result = makeNote(i < row.between.size() ? row.between[i] : X, 4, t);
            if (averaging.process(result) && result.note == D) {
                taken = true;
                break;
            }
        }
        EXPECT_EQ(taken, row.taken);
        if (row.taken) {
            EXPECT_EQ(result.octave, 4);
            EXPECT_NEAR(result.offset, 1.0, 1e-9);
            EXPECT_NEAR(result.duration, row.next - 1.0, 1e-9);
            EXPECT_EQ(averaging.history().last().note, D);
        }
    }
}

// A take's last note (or one before a rest), short, has an attack but no next one: it ends where four
// results without pitch in a row begin, 0.11 to 0.3 s after the attack, and is taken there as between
// two attacks. Not when the silence comes sooner, nor without two results of it in a row, nor when
// its attack is a step.
TEST_F(Chain, AveragingTakesAShortExpectedNoteBeforeASilence)
{
    struct Row {
        const char* name;
        std::vector<Pitch::Note> between; // results from the attack, 23 ms apart; silence after
        double rise;
        bool taken;
    };
    const Pitch::Note C = Pitch::C, D = Pitch::D, X = Pitch::NONE;
    const Row rows[] = {
        {"C held over the attack, then D", {C, C, D, D, Pitch::CSharp, D}, 10.0, true},
        {"D from the attack, one dropout", {D, D, Pitch::CSharp, X, Pitch::CSharp, D}, 10.0, true},
        {"silence too soon", {D, D, D}, 10.0, false},
        {"D once among others", {C, C, D, Pitch::E, D, Pitch::E}, 10.0, false},
        {"a step, not an attack", {C, C, D, D, Pitch::CSharp, D}, 0.0, false},
        {"D, then sagging to C# as it fades", {C, C, D, D, D, Pitch::CSharp, Pitch::CSharp}, 10.0, true},
        {"C# twice before D", {C, C, Pitch::CSharp, Pitch::CSharp, D, D}, 10.0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        detector.m_notes.clear();
        detector.m_expectedNotes = {makeNote(C, 4, 0.5), makeNote(D, 4, 1.0)};
        detector.m_expectedIndex = 1;
        detector.m_notes.append(makeNote(C, 4, 0.5));
        setOnsets({0.5, 1.0});
        detector.m_onsets[0].noteInfo = makeNote(C, 4, 0.5);
        detector.m_onsets[1].rise = row.rise;
        AveragingHeuristic averaging(&detector, 16, 8);
        double t = 0.5;
        for (; t < 0.99; t += 0.023) {
            N result = makeNote(C, 4, t);
            averaging.process(result);
        }
        bool taken = false;
        double silence = -1.0;
        N result;
        for (size_t i = 0; t < 1.8; t += 0.023, ++i) {
            if (i == row.between.size())
                silence = t;
            result = makeNote(i < row.between.size() ? row.between[i] : X, 4, t);
            if (averaging.process(result) && result.note == D) {
                taken = true;
                break;
            }
        }
        EXPECT_EQ(taken, row.taken);
        if (row.taken) {
            EXPECT_NEAR(result.offset, 1.0, 1e-9);
            EXPECT_NEAR(result.duration, silence - 1.0, 1e-9);
            EXPECT_EQ(averaging.history().last().note, D);
        }
    }
}

// A short note struck over the last one's release reads pulled towards it: every other result lies
// 0.65 of a semitone off the expected F3 and is named its neighbour. The vote hears those within the
// quantiser's reach as F3, and a run of it forms; not a result further off or an octave away, not
// around the note just taken (that note going on, or its repeat due), and not where most of the
// neighbour's results lie beyond reach (a scoop into a wrong note sung there, then its own pitch).
TEST_F(Chain, AveragingHearsAResultPulledTowardsANeighbourAsTheExpectedNote)
{
    struct Row {
        const char* name;
        Pitch::Note taken;             // the last note taken
        std::vector<double> semitones; // the results from F3, after eight without pitch
        bool accepted;
    };
    const Pitch::Note F = Pitch::F;
    const double s = 0.65;
    const Row rows[] = {
        {"pulled sharp", Pitch::ASharp, {0, s, 0, s, 0, s, 0, s}, true},
        {"pulled flat", Pitch::ASharp, {0, -s, 0, -s, 0, -s, 0, -s}, true},
        {"too far towards the neighbour", Pitch::ASharp, {0, 0.9, 0, 0.9, 0, 0.9, 0, 0.9}, false},
        {"an octave up", Pitch::ASharp, {0, 12 + s, 0, 12 + s, 0, 12 + s, 0, 12 + s}, false},
        {"the note just taken going on", Pitch::FSharp, {0, s, 0, s, 0, s, 0, s}, false},
        {"the melody repeats the note just taken", F, {0, s, 0, s, 0, s, 0, s}, false},
        {"a scoop into the neighbour, then its own pitch", Pitch::ASharp, {0, 0.2, 0.4, 0.7, 1.0, 0.95, 1.05, 1.0}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        detector.m_notes.clear();
        detector.m_notes.append(makeNote(row.taken, 3, 0.5));
        detector.m_expectedNotes = {makeNote(row.taken, 3, 0.5), makeNote(F, 3, 1.0)};
        detector.m_expectedIndex = 1;
        AveragingHeuristic averaging(&detector, 16, 8);
        bool accepted = false;
        N result;
        for (int i = 0; i < 16 && !accepted; ++i) {
            const double t = 0.8 + i * 0.023;
            if (i < 8) {
                result = makeNote(Pitch::NONE, 0, t);
            } else {
                const double f = Pitch::noteToFreq(F, 3) * std::pow(2.0, row.semitones[i - 8] / 12.0);
                result = N();
                result.frequency = f;
                result.offset = t;
                Pitch::freqToNote(f, result.note, result.octave);
            }
            accepted = averaging.process(result);
        }
        EXPECT_EQ(accepted, row.accepted);
        if (row.accepted) {
            EXPECT_EQ(result.note, F);
            EXPECT_EQ(result.octave, 3);
            EXPECT_NEAR(result.offset, 0.8 + 8 * 0.023, 1e-9);
        }
    }
}

// Results heard as the expected note are heard again once it moves on: the last note's own results,
// pulled towards the next one, name that next note again.
TEST_F(Chain, AveragingHearsTheWindowAgainForTheNextExpectedNote)
{
    detector.m_expectedNotes = {makeNote(Pitch::F, 3, 0.5), makeNote(Pitch::FSharp, 3, 1.0)};
    detector.m_expectedIndex = 0;
    AveragingHeuristic averaging(&detector, 16, 8);
    const double pulled = Pitch::noteToFreq(Pitch::F, 3) * std::pow(2.0, 0.65 / 12.0); // named F#3
    for (int i = 0; i < 6; ++i) {
        N result = makeNote(Pitch::FSharp, 3, 0.5 + i * 0.023, pulled);
        EXPECT_FALSE(averaging.process(result));
    }
    Pitch::Note winner = Pitch::NONE;
    int octave = -1;
    double frequency = 0.0;
    ASSERT_TRUE(averaging.getMostFrequentNoteInWindow(winner, octave, frequency));
    EXPECT_EQ(winner, Pitch::F);
    detector.m_notes.append(makeNote(Pitch::F, 3, 0.5));
    detector.m_expectedIndex = 1;
    N result = makeNote(Pitch::FSharp, 3, 0.5 + 6 * 0.023, pulled);
    EXPECT_FALSE(averaging.process(result));
    ASSERT_TRUE(averaging.getMostFrequentNoteInWindow(winner, octave, frequency));
    EXPECT_EQ(std::make_pair(winner, octave), std::make_pair(Pitch::FSharp, 3));
}

// The last note's release frozen at its vibrato's crest, 0.6 of a semitone over it and named the
// neighbour, which the tracker holds over the next note's first readings: heard as the last note
// going on, not a note of its own, unless the neighbour is the note expected next or the results
// lie at the neighbour's own pitch (a wrong note sung there).
TEST_F(Chain, AveragingHearsTheLastNotesReleaseFrozenOffItAsThatNote)
{
    struct Row {
        const char* name;
        Pitch::Note next;  // the note expected next
        double semitones;  // where the release lies from F3
        Pitch::Note voted; // the vote's note
    };
    const Pitch::Note F = Pitch::F, FSharp = Pitch::FSharp;
    const Row rows[] = {
        {"frozen sharp, another note due", Pitch::C, 0.6, F},
        {"frozen flat, another note due", Pitch::C, -0.6, F},
        {"the neighbour due next", FSharp, 0.6, FSharp},
        {"a wrong note sung on the neighbour", Pitch::C, 1.0, FSharp},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        detector.m_notes.clear();
        detector.m_notes.append(makeNote(F, 3, 0.5));
        detector.m_expectedNotes = {makeNote(F, 3, 0.5), makeNote(row.next, 3, 1.0)};
        detector.m_expectedIndex = 1;
        AveragingHeuristic averaging(&detector, 16, 8);
        N result;
        bool accepted = false;
        for (int i = 0; i < 16; ++i) {
            const double t = 0.8 + i * 0.023;
            result = N();
            result.offset = t;
            if (i < 12) {
                result.frequency = Pitch::noteToFreq(F, 3) * std::pow(2.0, (i < 4 ? 0.0 : row.semitones) / 12.0);
                Pitch::freqToNote(result.frequency, result.note, result.octave);
            }
            accepted = averaging.process(result);
            if (i < 15) {
                EXPECT_FALSE(accepted) << i;
            }
        }
        ASSERT_TRUE(accepted);
        EXPECT_EQ(result.note, row.voted);
    }
}

// E5 struck twice, then an attack where the melody moves on to B4. A recorded voice's release can
// hold E5 in the tracker for 0.2 s into B4: that is no third E5 (B4 would come one note late). E5
// sung on through the attack is E5 struck again, wherever the melody goes.
// What sounds after an attack at 1 s says whether E4 was struck again there: results every 23 ms,
// those in the tracker's first tenth of a second after it aside.
TEST_F(Chain, ARepeatIsWhatSoundsAfterItsAttack)
{
    const double e4 = Pitch::noteToFreq(Pitch::E, 4);
    struct Row {
        const char* name;
        std::vector<double> after; // Hz of each result from the attack on, 0 for none
        int verdict;
    };
    const Row rows[] = {
        {"E4 sung on", std::vector<double>(12, e4), 1},
        {"E5, an octave up", std::vector<double>(12, 2 * e4), 1},
        {"a vibrato's crest 60 cents up", {e4, e4, e4, e4, e4, e4 * 1.035, e4, e4 * 1.035, e4, e4}, 1},
        {"too few yet", {e4, e4, e4, e4, e4, e4, e4}, 0},
        {"the release held over F#4", {e4, e4, e4, e4, e4, e4, e4, 370.0, 370.0, 370.0}, -1},
        {"F4 a semitone up", {e4, e4, e4, e4, 349.2, 349.2, 349.2, 349.2}, -1},
        {"a short E4 sagging into a silence", {e4, e4, e4, e4, e4, e4, 311.1, 0.0, 0.0}, 1},
        {"a low E4 fading flat for two results", {e4, e4, e4, e4, e4, e4, e4, e4, 311.1, 311.1, 0.0}, 1},
        {"flat for longer than a fade", {e4, e4, e4, e4, e4, e4, e4, e4, 311.1, 311.1, 311.1, 311.1, 0.0}, -1},
        {"flat twice, then E4 again", {e4, e4, e4, e4, e4, e4, e4, e4, 311.1, 311.1, e4, e4, e4}, -1},
        {"flat twice before E4 held long enough", {e4, e4, e4, e4, e4, e4, e4, 311.1, 311.1, 0.0}, -1},
        {"a silence after the tracker's lag", {e4, e4, e4, e4, e4, 0.0, 0.0, 0.0}, 1},
        {"a silence with nothing at E4", {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0}, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AveragingHeuristic averaging(&detector, 16, 8);
        for (size_t i = 0; i < row.after.size(); ++i) {
            N result = row.after[i] > 0.0 ? makeNote(Pitch::NONE, 0, 1.0 + 0.023 * i, row.after[i])
                                          : makeNote(Pitch::NONE, 0, 1.0 + 0.023 * i);
            Pitch::freqToNote(result.frequency, result.note, result.octave);
            averaging.process(result);
        }
        EXPECT_EQ(averaging.soundsFrom(1.0, Pitch::E), row.verdict);
    }
}

TEST_F(Chain, AveragingTakesNoRepeatFromAReleaseHeldOverTheNextStrike)
{
    struct Row {
        const char* name;
        double held; // how long E5 reads on after the attack at 1.6 s
        bool repeat;
    };
    const Row rows[] = {
        {"the release held 0.2 s", 0.2, false},
        {"E5 sung on", 0.6, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        detector.m_expectedNotes = {makeNote(Pitch::E, 5, 0.5), makeNote(Pitch::E, 5, 1.0), makeNote(Pitch::B, 4, 1.6)};
        detector.m_expectedIndex = 2;
        detector.m_notes = {makeNote(Pitch::E, 5, 0.5), makeNote(Pitch::E, 5, 1.0)};
        setOnsets({0.5, 1.0, 1.6});
        for (int i = 0; i < 3; ++i)
            detector.m_onsets[i].rise = 5.0;
        detector.m_onsets[0].noteInfo = detector.m_notes[0];
        detector.m_onsets[1].noteInfo = detector.m_notes[1];
        AveragingHeuristic averaging(&detector, 16, 8);
        bool repeated = false;
        for (double t = 1.05; t < 2.3; t += 0.023) {
            N result = makeNote(t < 1.6 + row.held ? Pitch::E : Pitch::B, t < 1.6 + row.held ? 5 : 4, t);
            if (averaging.process(result) && result.note == Pitch::E && std::fabs(result.offset - 1.6) < 0.05)
                repeated = true;
        }
        EXPECT_EQ(repeated, row.repeat);
    }
}

} // namespace
