#include "EvaluatorFixture.h"

#include "notation/NotationPainter.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <cmath>

// Rhythm and pitch grading, skipped positions, marks and the entry text.

namespace {

using E = Evaluator;
const QString FourQuarters = "[ c1/4 d1/4 e1/4 f1/4 ]";  // starts 0.0, 0.6, 1.2, 1.8 s

struct Tap {
    double offset;
    bool complete;
    QList<int> newGrades;  // indexes emitted by this tap
};

} // namespace

TEST_F(EvaluatorTest, RhythmSequenceNearestNoteAndOverflow)
{
    load(FourQuarters, E::RhythmMode);
    const QList<Tap> taps = {
        {0.62, false, {1}},        // within reach of note 1: PERFECT
        {0.70, false, {}},         // nearest to the graded note 1: ignored
        {0.95, false, {2}},        // nothing within 0.25 s; nearest is note 2 at 0.25: WRONG
        {-0.3, false, {}},         // before the first note's reach
        {2.9, true, {0, 3}},       // 1.1 s after the last start: overflow grades the rest
    };
    for (const Tap& tap : taps) {
        const int before = spy->count();
        EXPECT_EQ(evaluator->evaluate(Pitch::C, 4, tap.offset), tap.complete) << tap.offset;
        EXPECT_EQ(gradedIndexes().mid(before), tap.newGrades) << tap.offset;
    }
    EXPECT_EQ(entry(1).rhythm, E::PERFECT);
    EXPECT_EQ(entry(2).rhythm, E::WRONG);
    EXPECT_FALSE(entry(2).skipped);
    for (int i : {0, 3}) {
        EXPECT_EQ(entry(i).rhythm, E::WRONG);
        EXPECT_EQ(entry(i).pitch, E::NONE);
        EXPECT_TRUE(entry(i).skipped);
    }
    EXPECT_TRUE(LogCapture::instance().contains("Terminating due to overflow."));
    EXPECT_DOUBLE_EQ(evaluator->getOutcome(), 0.25);
}

TEST_F(EvaluatorTest, RhythmLastNoteEndsAndSkipsTheUnplayed)
{
    load(FourQuarters, E::RhythmMode);
    EXPECT_FALSE(evaluator->evaluate(Pitch::C, 4, 0.02));
    EXPECT_FALSE(evaluator->evaluate(Pitch::C, 4, 1.25));
    // the first unevaluated note within reach wins over a nearer graded one
    EXPECT_TRUE(evaluator->evaluate(Pitch::C, 4, 1.83));
    EXPECT_EQ(gradedIndexes(), QList<int>({0, 2, 3, 1}));
    EXPECT_EQ(entry(3).rhythm, E::PERFECT);
    EXPECT_EQ(entry(1).rhythm, E::WRONG);
    EXPECT_TRUE(entry(1).skipped);
    const auto skipped = spy->at(3).at(1).value<Evaluator::EvaluationEntry>();
    EXPECT_TRUE(skipped.skipped && skipped.evaluated);
}

TEST_F(EvaluatorTest, RhythmThresholds)
{
    const QList<QPair<double, E::accuracy_e>> rows = {
        {0.0, E::PERFECT},    {0.074, E::PERFECT},  {-0.074, E::PERFECT}, {0.1, E::LATE},
        {-0.1, E::EARLY},     {0.15, E::VERY_LATE}, {-0.15, E::VERY_EARLY}, {0.2, E::VERY_LATE},
        {0.25, E::WRONG},     {-0.25, E::WRONG},
    };
    for (const auto& row : rows) {
        load("[ _/4 c1/4 ]", E::RhythmMode);  // the note at 0.6 s
        EXPECT_TRUE(evaluator->evaluate(Pitch::C, 4, 0.6 + row.first)) << row.first;
        EXPECT_EQ(entry(1).rhythm, row.second) << row.first;
        EXPECT_EQ(entry(1).pitch, E::NONE);
    }
}

TEST_F(EvaluatorTest, PitchGradesAndColouredNote)
{
    struct Row {
        int semitones;
        E::accuracy_e grade;
        QString token;
    };
    const QString green = "\\noteFormat<color=\"green\"> ";
    const QString red = "\\noteFormat<color=\"red\"> ";
    const QString black = " \\noteFormat<color=\"black\">";
    const QList<Row> rows = {
        {0, E::PERFECT, green + "a1/4" + black},   {1, E::HIGH, red + "a#1/4" + black},
        {-1, E::LOW, red + "g#1/4" + black},       {2, E::VERY_HIGH, red + "b1/4" + black},
        {-2, E::LOW, red + "g1/4" + black},        {4, E::VERY_HIGH, red + "c#2/4" + black},
        {-4, E::VERY_LOW, red + "f1/4" + black},   {5, E::WRONG, red + "d2/4" + black},
        {-5, E::WRONG, red + "e1/4" + black},
    };
    NotationPainter parser;
    for (const Row& row : rows) {
        load("[ a1/4 c2/4 ]", E::PitchMode);
        Pitch::Note note;
        int octave;
        fromMidi(69 + row.semitones, note, octave);
        EXPECT_FALSE(evaluator->evaluate(note, octave, 5.0)) << row.semitones;
        EXPECT_EQ(entry(0).pitch, row.grade) << row.semitones;
        EXPECT_EQ(entry(0).rhythm, E::NONE);
        const QString coloured = evaluator->getGmnBasedOnInput();
        EXPECT_EQ(coloured, QString(score.gmnCode()).replace("a1/4", row.token)) << row.semitones;
        EXPECT_TRUE(parser.setGMNCode(coloured)) << coloured.toStdString();
    }
}

TEST_F(EvaluatorTest, PitchInputsTakeTheNextSoundingNote)
{
    // sung in order whatever the time; the rest and the tie's continuation are not positions to sing
    load("[ c1/4 _/4 \\tie(e1/4 e1/4) g1/4 _/4 ]", E::PitchMode);
    ASSERT_EQ(evaluator->noteInfoList().size(), 6);
    EXPECT_FALSE(evaluator->evaluate(Pitch::C, 4, 3.0));
    EXPECT_FALSE(evaluator->evaluate(Pitch::NONE, 0, 0.1));
    EXPECT_FALSE(evaluator->evaluate(Pitch::E, 4, 0.0));
    // the last sounding note ends the evaluation; the trailing rest is not waited for
    EXPECT_TRUE(evaluator->evaluate(Pitch::G, 4, 0.2));
    EXPECT_EQ(gradedIndexes(), QList<int>({0, 2, 4}));
    for (int i : {0, 2, 4})
        EXPECT_EQ(entry(i).pitch, E::PERFECT) << i;
    for (int i : {1, 3, 5}) {
        EXPECT_TRUE(entry(i).evaluated) << i;
        EXPECT_EQ(entry(i).pitch, E::NONE) << i;
    }
    EXPECT_DOUBLE_EQ(evaluator->getOutcome(), 1.0);

    load("[ c1/4 _/4 e1/4 ]", E::PitchMode);
    EXPECT_FALSE(evaluator->evaluate(Pitch::C, 4, 0.0));
    EXPECT_TRUE(evaluator->evaluate(Pitch::E, 4, 1.2));
    EXPECT_EQ(entry(2).pitch, E::PERFECT);
    EXPECT_DOUBLE_EQ(evaluator->getOutcome(), 1.0);
}

TEST_F(EvaluatorTest, RhythmRestsDoNotTakeTaps)
{
    // rest 0.0-0.3, notes at 0.3 and 0.9, a rest at 1.5
    load("[ _/8 c1/4 d1/4 _/4 ]", E::RhythmMode);
    EXPECT_FALSE(evaluator->evaluate(Pitch::C, 4, 0.12));
    EXPECT_EQ(gradedIndexes(), QList<int>({1}));
    EXPECT_EQ(entry(1).rhythm, E::VERY_EARLY);
    // nearest to the rest at 1.5 but the last sounding note is d
    EXPECT_TRUE(evaluator->evaluate(Pitch::C, 4, 1.1));
    EXPECT_EQ(gradedIndexes(), QList<int>({1, 2}));
    EXPECT_EQ(entry(2).rhythm, E::VERY_LATE);
    EXPECT_TRUE(entry(3).evaluated);
    EXPECT_EQ(entry(3).rhythm, E::NONE);
    // a tap before the first sounding note's reach is ignored
    load("[ _/2 c1/4 ]", E::RhythmMode);  // the note at 1.2
    EXPECT_FALSE(evaluator->evaluate(Pitch::C, 4, 0.9));
    EXPECT_TRUE(gradedIndexes().isEmpty());
}

TEST_F(EvaluatorTest, MarkPerMode)
{
    load("[ c1/4 d1/4 _/4 e1/4 f1/4 ]", E::RhythmMode);  // starts 0, 0.6, (1.2), 1.8, 2.4
    evaluator->evaluate(Pitch::C, 4, 0.0);   // PERFECT
    evaluator->evaluate(Pitch::C, 4, 0.7);   // LATE
    evaluator->evaluate(Pitch::C, 4, 1.6);   // VERY_EARLY
    evaluator->finalize();                   // f WRONG
    EXPECT_DOUBLE_EQ(evaluator->getOutcome(), (1 + 0.75 + 0.5 + 0) / 4);

    load("[ a1/4 a1/4 _/4 a1/4 a1/4 ]", E::PitchMode);
    evaluator->evaluate(Pitch::A, 4, 0.0);   // PERFECT
    evaluator->evaluate(Pitch::GSharp, 4, 0.0);  // LOW
    evaluator->evaluate(Pitch::B, 4, 0.0);   // VERY_HIGH
    evaluator->finalize();
    EXPECT_DOUBLE_EQ(evaluator->getOutcome(), (1 + 0.75 + 0.5 + 0) / 4);

    load("[ a1/4 a1/4 ]", E::RhythmAndPitchMode);
    evaluator->evaluate(Pitch::A, 4, 0.1);   // LATE, PERFECT
    evaluator->evaluate(Pitch::B, 4, 0.6);   // PERFECT, VERY_HIGH
    EXPECT_DOUBLE_EQ(evaluator->getOutcome(), ((0.75 + 1) / 2 + (1 + 0.5) / 2) * 0.5);
    EXPECT_EQ(entry(1).rhythm, E::PERFECT);
    EXPECT_EQ(entry(1).pitch, E::VERY_HIGH);

    // reset forgets the grades
    evaluator->reset();
    EXPECT_EQ(evaluator->getOutcome(), 0.0);
    EXPECT_FALSE(entry(0).evaluated);
}

TEST_F(EvaluatorTest, RestOnlyAnswerGivesZeroMark)
{
    for (int mode : {E::RhythmMode, E::PitchMode, E::RhythmAndPitchMode}) {
        load("[ _/4 _/2 ]", mode);
        EXPECT_FALSE(evaluator->evaluate(Pitch::C, 4, 0.0));
        evaluator->finalize();
        const double mark = evaluator->getOutcome();
        EXPECT_TRUE(std::isfinite(mark)) << mode;
        EXPECT_EQ(mark, 0.0) << mode;
        EXPECT_TRUE(gradedIndexes().isEmpty());
    }
}

TEST_F(EvaluatorTest, EntryTextAndMarkTable)
{
    Evaluator::EvaluationEntry e;
    e.rhythm = E::WRONG;
    e.skipped = true;
    EXPECT_EQ(e.toString(), QString("(skipped)       Rhythm:WRONG      Pitch:NONE      "));
    e = {E::VERY_EARLY, E::VERY_HIGH, true, false};
    EXPECT_EQ(e.toString(), QString("                Rhythm:VERY_EARLY Pitch:VERY_HIGH "));

    const QList<double> marks = {0, 1, 0.75, 0.75, 0.5, 0.5, 0.75, 0.75, 0.5, 0.5, 0, 0, 0};
    for (int a = E::NONE; a <= E::PLACEHOLDER; ++a)
        EXPECT_EQ(Evaluator::accuracyToMark(E::accuracy_e(a)), marks.at(a)) << a;
}

TEST_F(EvaluatorTest, ThresholdsOutOfOrderAssert)
{
    load(FourQuarters, E::RhythmMode);
    AssertRecorder::clear();
    evaluator->setRhythmThresholds(0.1, 0.05, 0.3);
    evaluator->setPitchThresholds(-1, 2, 4);
    evaluator->setRhythmThresholds(0.05, 0.1, 0.2);
    EXPECT_EQ(AssertRecorder::expressions(),
              QStringList({"perfect > 0 && slight > perfect && severe > slight",
                           "perfect >= 0 && slight > perfect && severe > slight"}));
    // the new reach: 0.21 after note 0 is past it, and so graded WRONG as nearest
    evaluator->evaluate(Pitch::C, 4, 0.21);
    EXPECT_EQ(entry(0).rhythm, E::WRONG);
}
