// The heuristics outside the standard chain: temporal filters, temporal masking, the boolean
// transform and the octave heuristic.
#include "HeuristicFixtures.h"
#include "pitch/heuristics/AbsoluteTemporalFilterHeuristic.h"
#include "pitch/heuristics/BooleanTransformHeuristic.h"
#include "pitch/heuristics/OctaveHeuristic.h"
#include "pitch/heuristics/RelativeTemporalFilterHeuristic.h"
#include "pitch/heuristics/TemporalMaskingHeuristic.h"
#include "support/AssertRecorder.h"

#include <gtest/gtest.h>

namespace {

using N = PitchDetector::NoteInfo;
using Others = HeuristicTest;

TEST_F(Others, TemporalFiltersNeedAGapSinceTheLastNote)
{
    const N first = makeNote(Pitch::C, 4, 1.0);
    const N early = makeNote(Pitch::D, 4, 1.25);
    const N onTime = makeNote(Pitch::D, 4, 1.35);
    // Relative: more than 0.6 of the expected gap.
    RelativeTemporalFilterHeuristic relative(&detector, 0.6, false);
    expectSteps(relative, {{0, first, true}}); // no expected notes
    detector.m_expectedNotes = {makeNote(Pitch::C, 4, 1.0), makeNote(Pitch::D, 4, 1.5)};
    expectSteps(relative, {{0, first, true}, {1, early, false}, {1, onTime, true}});
    relative.reset();
    expectSteps(relative, {{1, early, true}});
    // Absolute: strictly more than 0.2 s; the first note always passes.
    AbsoluteTemporalFilterHeuristic absolute(&detector, 0.2);
    expectSteps(absolute, {{0, first, true}, {1, makeNote(Pitch::D, 4, 1.15), false}, {1, onTime, true}});
}

TEST_F(Others, BooleanTransformMarksEveryPitchedResult)
{
    BooleanTransformHeuristic transform(&detector);
    N marked = makeNote(Pitch::C, 1);
    marked.frequency = -1.0;
    expectSteps(transform, {{0, makeNote(Pitch::A, 4), true, marked}, {0, makeNote(Pitch::NONE, 0), true}});
}

TEST_F(Others, OctaveHeuristicLearnsOneShiftFromTheFirstResult)
{
    OctaveHeuristic octave(&detector);
    detector.m_expectedNotes = {makeNote(Pitch::A, 4), makeNote(Pitch::B, 4)};
    const N a4 = makeNote(Pitch::A, 4);
    // Silence before the first note teaches nothing; a second high result while k is still 0 adds
    // no other octave.
    expectSteps(octave, {{0, makeNote(Pitch::NONE, 0), true}, {0, makeNote(Pitch::A, 5), true, a4},
                         {0, makeNote(Pitch::A, 5), true, a4}, {1, makeNote(Pitch::B, 5), true, makeNote(Pitch::B, 4)}});
    octave.reset();
    expectSteps(octave, {{0, makeNote(Pitch::A, 2), true, a4}});
}

TEST_F(Others, TemporalMaskingPairsResultsWithExpectedNotesByTime)
{
    TemporalMaskingHeuristic masking(&detector, 0.3);
    detector.m_expectedNotes = {makeNote(Pitch::C, 4, 1.0), makeNote(Pitch::E, 4, 2.0)};
    masking.prepare();
    // C is held as C's match until its window has passed; past the last window, the last match
    // comes out.
    expectSteps(masking, {{0, makeNote(Pitch::C, 4, 1.1), false}, {0, makeNote(Pitch::NONE, 0, 1.2), true},
                          {0, makeNote(Pitch::E, 4, 1.9), true, makeNote(Pitch::C, 4, 1.1)},
                          {0, makeNote(Pitch::G, 4, 2.5), true, makeNote(Pitch::E, 4, 1.9)}});
    masking.reset();
    EXPECT_FALSE(masking.entries().last().used);
    EXPECT_EQ(masking.entries().last().match.note, Pitch::NONE);
}

TEST_F(Others, TemporalMaskingWithoutExpectedNotesAssertsAndRejects)
{
    TemporalMaskingHeuristic masking(&detector, 0.3);
    masking.prepare();
    ASSERT_GE(AssertRecorder::count(), 1);
    EXPECT_EQ(AssertRecorder::expressions()[0], "expectedNoteList.count()");
    expectSteps(masking, {{0, makeNote(Pitch::A, 4, 1.0), false}});
    EXPECT_EQ(AssertRecorder::expressions().last(), "m_entries.size()");
}

} // namespace
