#pragma once

#include "pitch/OnsetDetectionStrategy.h"
#include "pitch/Pitch.h"
#include "pitch/PitchDetectionHeuristic.h"
#include "pitch/PitchDetector.h"
#include "support/AssertRecorder.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

inline PitchDetector::NoteInfo makeNote(Pitch::Note note, int octave, double offset = 0.0, double frequency = 0.0,
                                        double duration = 0.0)
{
    PitchDetector::NoteInfo info;
    info.note = note;
    info.octave = octave;
    info.offset = offset;
    info.duration = duration;
    info.frequency = frequency > 0.0 ? frequency : (note == Pitch::NONE ? -1.0 : Pitch::noteToFreq(note, octave));
    return info;
}

// One result through a heuristic: the expected index at the time, the result, whether it is accepted
// and what an accepted result has become (unchanged when left out).
struct HeuristicStep {
    int expectedIndex;
    PitchDetector::NoteInfo in;
    bool accepted;
    std::optional<PitchDetector::NoteInfo> out = std::nullopt;
};

inline void expectSameNote(const PitchDetector::NoteInfo& actual, const PitchDetector::NoteInfo& expected)
{
    EXPECT_EQ(actual.note, expected.note);
    EXPECT_EQ(actual.octave, expected.octave);
    EXPECT_NEAR(actual.offset, expected.offset, 1e-12);
    EXPECT_NEAR(actual.duration, expected.duration, 1e-12);
    EXPECT_NEAR(actual.frequency, expected.frequency, 1e-9);
}

// A detector without a worker's say: heuristics are called directly, with an onset strategy that
// finds nothing (onsets are set by hand).
class HeuristicTest : public ::testing::Test {
protected:
    class NoOnsets : public OnsetDetectionStrategy {
    public:
        void reset() override {}
        void process(QVector<double>&, PitchDetector*) override {}
    };

    void SetUp() override
    {
        AssertRecorder::clear();
        detector.mp_onsetDetectionStrategy = &noOnsets;
    }
    void expectSteps(PitchDetectionHeuristic& heuristic, const std::vector<HeuristicStep>& steps)
    {
        for (size_t i = 0; i < steps.size(); ++i) {
            SCOPED_TRACE("step " + std::to_string(i));
            detector.m_expectedIndex = steps[i].expectedIndex;
            PitchDetector::NoteInfo note = steps[i].in;
            EXPECT_EQ(heuristic.process(note), steps[i].accepted);
            if (steps[i].accepted)
                expectSameNote(note, steps[i].out.value_or(steps[i].in));
        }
    }
    void setOnsets(const std::vector<double>& times)
    {
        detector.m_onsets.clear();
        for (double time : times) {
            PitchDetector::OnsetInfo onset;
            onset.time = time;
            detector.m_onsets.append(onset);
        }
    }

    NoOnsets noOnsets;
    PitchDetector detector;
};
