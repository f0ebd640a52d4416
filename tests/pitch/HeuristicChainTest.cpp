// The heuristics of the standard chain, each on its own rules.
#include "HeuristicTestSupport.h"
#include "pitch/OnsetDetectionStrategy.h"
#include "pitch/heuristics/AveragingHeuristic.h"
#include "pitch/heuristics/ClosestOctaveHeuristic.h"
#include "pitch/heuristics/OnsetCoordinatorHeuristic.h"
#include "pitch/heuristics/PitchDistanceHeuristic.h"
#include "pitch/heuristics/PitchQuantizationHeuristic.h"
#include "pitch/heuristics/SilenceFilterHeuristic.h"
#include "pitch/heuristics/UniqueFilterHeuristic.h"
#include "debug/Debugging.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using N = PitchDetector::NoteInfo;

class NoOnsets : public OnsetDetectionStrategy {
public:
    void reset() override {}
    void process(QVector<double>&, PitchDetector*) override {}
};

class Chain : public ::testing::Test {
protected:
    void SetUp() override
    {
        AssertRecorder::clear();
        LogCapture::instance().clear();
        detector.mp_onsetDetectionStrategy = &onsets;
    }
    PitchDetector detector;
    NoOnsets onsets;
};

TEST_F(Chain, AveragingNeedsAFullWindowThenVotesWithExpectedNotesWeighingDouble)
{
    AveragingHeuristic averaging(&detector, 16, 8);
    detector.m_expectedNotes = {makeNote(Pitch::A, 4)};
    N note;
    Debugging::setLoggingLevel(QsLogging::TraceLevel);
    for (int i = 0; i < 15; ++i) {
        note = makeNote(i < 10 ? Pitch::NONE : Pitch::A, 4, i * 0.023);
        EXPECT_FALSE(averaging.process(note));
    }
    Debugging::setLoggingLevel(QsLogging::InfoLevel);
    EXPECT_EQ(LogCapture::instance().linesContaining("window is too small").size(), 15);
    // Window: 10 NONE then 6 A (expected: 12 votes) -> A wins.
    note = makeNote(Pitch::A, 4, 15 * 0.023);
    ASSERT_TRUE(averaging.process(note));
    EXPECT_EQ(note.note, Pitch::A);
    EXPECT_EQ(note.octave, 4);
    EXPECT_NEAR(note.offset, 10 * 0.023, 1e-12);
    EXPECT_NEAR(note.duration, 5 * 0.023, 1e-12);
    EXPECT_NEAR(note.frequency, 440.0, 1e-9);
    ASSERT_EQ(averaging.history().size(), 1);
}

TEST_F(Chain, AveragingNoteBelowTheMinimumCountIsNoNote)
{
    AveragingHeuristic averaging(&detector, 16, 8);
    N note;
    // Nine different notes once each, then seven E: nothing reaches 8.
    const Pitch::Note others[9] = {Pitch::C, Pitch::CSharp, Pitch::D, Pitch::DSharp, Pitch::F,
                                   Pitch::FSharp, Pitch::G, Pitch::GSharp, Pitch::A};
    Debugging::setLoggingLevel(QsLogging::TraceLevel);
    for (int i = 0; i < 16; ++i) {
        note = makeNote(i < 9 ? others[i] : Pitch::E, 4, i * 0.023);
        EXPECT_FALSE(averaging.process(note)) << i;
    }
    Debugging::setLoggingLevel(QsLogging::InfoLevel);
    EXPECT_EQ(LogCapture::instance().linesContaining("most frequent note is NONE0").size(), 1);
    // One more E makes eight: now E wins the vote.
    note = makeNote(Pitch::E, 4, 16 * 0.023);
    EXPECT_TRUE(averaging.process(note));
    EXPECT_EQ(note.note, Pitch::E);
}

TEST_F(Chain, AveragingTieGoesToTheLowerNoteAndOctave)
{
    AveragingHeuristic averaging(&detector, 5, 2);
    for (const N& n : {makeNote(Pitch::D, 4), makeNote(Pitch::C, 5), makeNote(Pitch::D, 4), makeNote(Pitch::C, 3)}) {
        N copy = n;
        EXPECT_FALSE(averaging.process(copy)); // window not full yet: only collects
    }
    Pitch::Note winner = Pitch::NONE;
    int octave = -1;
    double frequency = 0.0;
    ASSERT_TRUE(averaging.getMostFrequentNoteInWindow(winner, octave, frequency));
    EXPECT_EQ(winner, Pitch::C);
    EXPECT_EQ(octave, 3);
    EXPECT_NEAR(frequency, Pitch::noteToFreq(Pitch::C, 3), 1e-9);
}

TEST_F(Chain, AveragingRejectsAMeanOverNothing)
{
    AveragingHeuristic averaging(&detector, 4, 2);
    N note;
    for (int i = 0; i < 3; ++i) {
        note = makeNote(Pitch::A, 9, i * 0.1, 14080.0); // octave 9 is not counted
        EXPECT_FALSE(averaging.process(note));
    }
    note = makeNote(Pitch::A, 9, 0.3, 14080.0);
    EXPECT_FALSE(averaging.process(note));
    EXPECT_FALSE(std::isnan(note.frequency));
}

TEST_F(Chain, AveragingContinuesTheSameNoteUnlessTheMelodyRepeatsIt)
{
    AveragingHeuristic averaging(&detector, 4, 2);
    N note;
    auto push = [&](Pitch::Note n, double t) {
        note = makeNote(n, 4, t);
        return averaging.process(note);
    };
    push(Pitch::A, 0.0);
    push(Pitch::A, 0.1);
    push(Pitch::A, 0.2);
    ASSERT_TRUE(push(Pitch::A, 0.3));
    EXPECT_EQ(note.offset, 0.0);
    ASSERT_TRUE(push(Pitch::A, 0.4));
    EXPECT_EQ(note.offset, 0.0); // continues the earlier A
    EXPECT_EQ(averaging.history().size(), 1);

    detector.m_expectedNotes = {makeNote(Pitch::A, 4), makeNote(Pitch::A, 4)};
    detector.m_expectedIndex = 1;
    ASSERT_TRUE(push(Pitch::A, 0.5));
    EXPECT_NEAR(note.offset, 0.2, 1e-12); // the melody repeats A: dated from its own run

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
    N alone = makeNote(Pitch::A, 5);
    EXPECT_TRUE(octave.process(alone));  // no expected notes: unchanged
    EXPECT_EQ(alone.octave, 5);
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
    UniqueFilterHeuristic unique(&detector, true, true);
    N c4 = makeNote(Pitch::C, 4);
    N c5 = makeNote(Pitch::C, 5);
    detector.m_expectedNotes = {makeNote(Pitch::C, 4), makeNote(Pitch::D, 4)};
    EXPECT_TRUE(unique.process(c4)); // nothing accepted yet
    detector.m_notes.append(c4);
    detector.m_expectedIndex = 1;
    EXPECT_FALSE(unique.process(c5)); // same pitch class in another octave
    detector.m_expectedNotes = {makeNote(Pitch::C, 4), makeNote(Pitch::C, 4)};
    EXPECT_TRUE(unique.process(c4));

    UniqueFilterHeuristic ownMemory(&detector, false, false);
    detector.m_expectedNotes.clear();
    detector.m_expectedIndex = 0;
    EXPECT_TRUE(ownMemory.process(c4));
    EXPECT_FALSE(ownMemory.process(c4));
    EXPECT_TRUE(ownMemory.process(c5)); // octave counts here
    ownMemory.reset();
    EXPECT_TRUE(ownMemory.process(c5));
}

TEST_F(Chain, PitchDistanceRefusesThePreviousNoteAndItsNeighbours)
{
    PitchDistanceHeuristic distance(&detector);
    LogCapture::instance().clear();
    Debugging::setLoggingLevel(QsLogging::DebugLevel);
    distance.prepare();
    Debugging::setLoggingLevel(QsLogging::InfoLevel);
    EXPECT_TRUE(LogCapture::instance().contains("pdh - expected note list is empty"));
    detector.m_expectedNotes = {makeNote(Pitch::C, 4), makeNote(Pitch::CSharp, 4), makeNote(Pitch::F, 4)};
    distance.prepare();
    EXPECT_EQ(distance.steps(), (QList<int>{0, 1, 2}));
    N c4 = makeNote(Pitch::C, 4);
    N d4 = makeNote(Pitch::D, 4);
    N cs4 = makeNote(Pitch::CSharp, 4);
    detector.m_expectedIndex = 1;
    EXPECT_FALSE(distance.process(c4));
    EXPECT_TRUE(distance.process(cs4));
    detector.m_expectedIndex = 2;
    EXPECT_FALSE(distance.process(d4));  // a semitone from C#4
    EXPECT_FALSE(distance.process(cs4));
    N f4 = makeNote(Pitch::F, 4);
    EXPECT_TRUE(distance.process(f4));
}

TEST_F(Chain, OnsetCoordinatorTiesTheFirstNoteToAnOnsetInRange)
{
    OnsetCoordinatorHeuristic coordinator(&detector, 0.1, 0.8);
    N note = makeNote(Pitch::A, 4, 2.0);
    EXPECT_FALSE(coordinator.process(note)); // no onsets at all

    for (double t : {1.15, 2.15}) {
        PitchDetector::OnsetInfo onset;
        onset.time = t;
        detector.m_onsets = {onset};
        coordinator.reset();
        EXPECT_FALSE(coordinator.process(note)) << t;
    }
    PitchDetector::OnsetInfo onset;
    onset.time = 1.30;
    detector.m_onsets = {onset};
    coordinator.reset();
    note.duration = 0.5;
    EXPECT_TRUE(coordinator.process(note));
    EXPECT_EQ(detector.m_onsets[0].noteInfo.note, Pitch::A);
    // The onset dates the note; its end stays.
    EXPECT_DOUBLE_EQ(note.offset, 1.30);
    EXPECT_DOUBLE_EQ(note.duration, 1.2);
    EXPECT_DOUBLE_EQ(detector.m_onsets[0].noteInfo.offset, 1.30);
    // Never tied twice.
    N later = makeNote(Pitch::B, 4, 2.2);
    EXPECT_FALSE(coordinator.process(later));
}

TEST_F(Chain, OnsetCoordinatorNeedsTimeBetweenOnsetsAndAnOnsetOfItsOwn)
{
    OnsetCoordinatorHeuristic coordinator(&detector, 0.1, 0.8);
    detector.m_expectedNotes = {makeNote(Pitch::C, 4, 1.0), makeNote(Pitch::G, 4, 2.0), makeNote(Pitch::A, 4, 3.0)};
    coordinator.prepare();
    PitchDetector::OnsetInfo first;
    first.time = 1.0;
    detector.m_onsets = {first};
    N c = makeNote(Pitch::C, 4, 0.95);
    ASSERT_TRUE(coordinator.process(c));
    detector.m_notes.append(c);
    detector.m_expectedIndex = 1;

    // No onset left for G: never matched, however clear the step (C->G) and late the note.
    N g = makeNote(Pitch::G, 4, 1.6);
    EXPECT_FALSE(coordinator.process(g));

    // Onset too close to the last tied one.
    PitchDetector::OnsetInfo close;
    close.time = 1.2;
    detector.m_onsets.append(close);
    N a = makeNote(Pitch::A, 4, 1.25);
    EXPECT_FALSE(coordinator.process(a));
}

TEST_F(Chain, OnsetCoordinatorRemovesOnsetsInsideAnEarlierSustainedNote)
{
    AveragingHeuristic averaging(&detector, 4, 2);
    OnsetCoordinatorHeuristic coordinator(&detector, 0.1, 0.8);
    detector.m_heuristics = {&averaging, &coordinator};
    coordinator.prepare();
    // Two averaged notes: C from 0.0 lasting 1.0 s, then D.
    N note;
    for (int i = 0; i <= 10; ++i) {
        note = makeNote(Pitch::C, 4, i * 0.1);
        averaging.process(note);
    }
    for (int i = 0; i < 4; ++i) {
        note = makeNote(Pitch::D, 4, 1.1 + i * 0.1);
        averaging.process(note);
    }
    ASSERT_EQ(averaging.history().size(), 2);
    PitchDetector::OnsetInfo inside;
    inside.time = 0.5;
    PitchDetector::OnsetInfo atD;
    atD.time = 1.1;
    detector.m_onsets = {inside, atD};
    N d = makeNote(Pitch::D, 4, 1.1);
    EXPECT_TRUE(coordinator.process(d));
    ASSERT_EQ(detector.m_onsets.size(), 1);
    EXPECT_EQ(detector.m_onsets[0].time, 1.1);
}

TEST_F(Chain, OnsetCoordinatorWithoutOnsetStrategyAsserts)
{
    detector.mp_onsetDetectionStrategy = nullptr;
    OnsetCoordinatorHeuristic coordinator(&detector, 0.1, 0.8);
    N note = makeNote(Pitch::A, 4, 1.0);
    EXPECT_FALSE(coordinator.process(note));
    ASSERT_EQ(AssertRecorder::count(), 1);
    EXPECT_EQ(AssertRecorder::expressions()[0], "mp_detector->getOnsetDetectionStrategy()");
}

} // namespace
