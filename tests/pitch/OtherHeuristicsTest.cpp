// The heuristics outside the standard chain: temporal filters, temporal masking, the boolean
// transform and the octave heuristic.
#include "HeuristicTestSupport.h"
#include "pitch/heuristics/AbsoluteTemporalFilterHeuristic.h"
#include "pitch/heuristics/BooleanTransformHeuristic.h"
#include "pitch/heuristics/OctaveHeuristic.h"
#include "pitch/heuristics/RelativeTemporalFilterHeuristic.h"
#include "pitch/heuristics/TemporalMaskingHeuristic.h"
#include "support/AssertRecorder.h"

#include <gtest/gtest.h>

namespace {

using N = PitchDetector::NoteInfo;

class Others : public ::testing::Test {
protected:
    void SetUp() override { AssertRecorder::clear(); }
    PitchDetector detector;
};

TEST_F(Others, RelativeFilterNeedsARatioOfTheExpectedGap)
{
    RelativeTemporalFilterHeuristic filter(&detector, 0.6, false);
    N first = makeNote(Pitch::C, 4, 1.0);
    EXPECT_TRUE(filter.process(first)); // no expected notes
    detector.m_expectedNotes = {makeNote(Pitch::C, 4, 1.0), makeNote(Pitch::D, 4, 1.5)};
    EXPECT_TRUE(filter.process(first)); // k 0: remembers the time
    detector.m_expectedIndex = 1;
    N early = makeNote(Pitch::D, 4, 1.25);
    N onTime = makeNote(Pitch::D, 4, 1.35);
    EXPECT_FALSE(filter.process(early));
    EXPECT_TRUE(filter.process(onTime));
    filter.reset();
    EXPECT_TRUE(filter.process(early));
}

TEST_F(Others, AbsoluteFilterNeedsAStrictlyLargerGap)
{
    AbsoluteTemporalFilterHeuristic filter(&detector, 0.2);
    N a = makeNote(Pitch::C, 4, 1.0);
    EXPECT_TRUE(filter.process(a)); // k 0: always accepted
    detector.m_expectedIndex = 1;
    N soon = makeNote(Pitch::D, 4, 1.15);
    N later = makeNote(Pitch::D, 4, 1.25);
    EXPECT_FALSE(filter.process(soon));
    EXPECT_TRUE(filter.process(later));
}

TEST_F(Others, BooleanTransformMarksEveryPitchedResult)
{
    BooleanTransformHeuristic transform(&detector);
    N a = makeNote(Pitch::A, 4);
    N none = makeNote(Pitch::NONE, 0);
    EXPECT_TRUE(transform.process(a));
    EXPECT_TRUE(transform.process(none));
    EXPECT_EQ(a.note, Pitch::C);
    EXPECT_EQ(a.octave, 1);
    EXPECT_EQ(a.frequency, -1.0);
    EXPECT_EQ(none.note, Pitch::NONE);
}

TEST_F(Others, OctaveHeuristicLearnsOneShiftFromTheFirstResult)
{
    OctaveHeuristic octave(&detector);
    detector.m_expectedNotes = {makeNote(Pitch::A, 4), makeNote(Pitch::B, 4)};
    N silence = makeNote(Pitch::NONE, 0);
    EXPECT_TRUE(octave.process(silence)); // silence before the first note teaches nothing
    EXPECT_EQ(octave.octaveShift(), 0);
    EXPECT_EQ(silence.note, Pitch::NONE);
    N a5 = makeNote(Pitch::A, 5);
    EXPECT_TRUE(octave.process(a5));
    EXPECT_EQ(a5.octave, 4);
    EXPECT_NEAR(a5.frequency, 440.0, 1e-9);
    // A second high result while k is still 0 does not add another octave.
    N again = makeNote(Pitch::A, 5);
    octave.process(again);
    EXPECT_EQ(octave.octaveShift(), 1);
    EXPECT_EQ(again.octave, 4);
    detector.m_expectedIndex = 1;
    N b5 = makeNote(Pitch::B, 5);
    octave.process(b5);
    EXPECT_EQ(b5.octave, 4);
    octave.reset();
    detector.m_expectedIndex = 0;
    N low = makeNote(Pitch::A, 2);
    octave.process(low);
    EXPECT_EQ(octave.octaveShift(), -2);
    EXPECT_EQ(low.octave, 4);
    EXPECT_NEAR(low.frequency, 440.0, 1e-9);
}

TEST_F(Others, TemporalMaskingPairsResultsWithExpectedNotesByTime)
{
    TemporalMaskingHeuristic masking(&detector, 0.3);
    detector.m_expectedNotes = {makeNote(Pitch::C, 4, 1.0), makeNote(Pitch::E, 4, 2.0)};
    masking.prepare();
    ASSERT_EQ(masking.entries().size(), 2);
    N c = makeNote(Pitch::C, 4, 1.1);
    EXPECT_FALSE(masking.process(c)); // stored as C's match, not yet released
    N none = makeNote(Pitch::NONE, 0, 1.2);
    EXPECT_TRUE(masking.process(none));
    N e = makeNote(Pitch::E, 4, 1.9);
    ASSERT_TRUE(masking.process(e)); // C's window has passed: its match comes out
    EXPECT_EQ(e.note, Pitch::C);
    EXPECT_NEAR(e.offset, 1.1, 1e-12);
    // Past the last window, the last entry's match is released.
    N late = makeNote(Pitch::G, 4, 2.5);
    ASSERT_TRUE(masking.process(late));
    EXPECT_EQ(late.note, Pitch::E);
    EXPECT_TRUE(masking.entries().last().used);
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
    N a = makeNote(Pitch::A, 4, 1.0);
    EXPECT_FALSE(masking.process(a));
    EXPECT_EQ(AssertRecorder::expressions().last(), "m_entries.size()");
}

} // namespace
