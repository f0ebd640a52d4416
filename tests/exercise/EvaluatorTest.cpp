#include "EvaluatorFixture.h"

#include "notation/NotationPainter.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <cmath>

// Rhythm and pitch grading, skipped positions, marks and the entry text.

namespace {

using E = Evaluator;

// One grade per character: - NONE, P PERFECT, e EARLY, l LATE, E VERY_EARLY, L VERY_LATE,
// o LOW, h HIGH, O VERY_LOW, H VERY_HIGH, W WRONG.
QString gradeText(const QList<E::EvaluationEntry>& entries, bool pitch)
{
    const QString letters = "-PelELohOHW";
    QString out;
    for (const E::EvaluationEntry& e : entries)
        out += letters.at(pitch ? e.pitch : e.rhythm);
    return out;
}

struct Scenario {
    const char* what;
    QString code;  // at the default 100 bpm a quarter lasts 0.6 s
    int mode;
    QList<QPair<int, double>> inputs;  // MIDI note (-1 none), offset
    int completeAt;                    // the input that ends the evaluation, -1 none
    QList<int> emitted;                // indexes of the grades emitted, in order, finalize included
    QString rhythm, pitch;
    QList<int> skipped;
    double mark;
};

} // namespace

TEST_F(EvaluatorTest, Scenarios)
{
    const QString four = "[ c1/4 d1/4 e1/4 f1/4 ]";
    const QList<Scenario> rows = {
        {"nearest-note rule and overflow", four, E::RhythmMode,
         {{60, 0.62}, {60, 0.70}, {60, 0.95}, {60, -0.3}, {60, 2.9}}, 4, {1, 2, 0, 3}, "WPWW", "----", {0, 3}, 0.25},
        {"the first unevaluated note within reach wins; the last note ends", four, E::RhythmMode,
         {{60, 0.02}, {60, 1.25}, {60, 1.83}}, 2, {0, 2, 3, 1}, "PWPP", "----", {1}, 0.75},
        {"a rest does not take the tap meant for the next note", "[ _/8 c1/4 d1/4 _/4 ]", E::RhythmMode,
         {{60, 0.12}, {60, 1.1}}, 1, {1, 2}, "-EL-", "----", {}, 0.5},
        {"a tap before the first sounding note's reach", "[ _/2 c1/4 ]", E::RhythmMode,
         {{60, 0.9}}, -1, {1}, "-W", "--", {1}, 0.0},
        {"rhythm mark; a rest does not count", "[ c1/4 d1/4 _/4 e1/4 f1/4 ]", E::RhythmMode,
         {{60, 0.0}, {60, 0.7}, {60, 1.6}, {60, 3.5}}, 3, {0, 1, 3, 4}, "Pl-EW", "-----", {4}, 0.5625},
        {"sung in order whatever the time; rests and tie continuations are no positions",
         "[ c1/4 _/4 \\tie(e1/4 e1/4) g1/4 _/4 ]", E::PitchMode,
         {{60, 3.0}, {-1, 0.1}, {64, 0.0}, {67, 0.2}}, 3, {0, 2, 4}, "------", "P-P-P-", {}, 1.0},
        {"c _ e sung as c, e", "[ c1/4 _/4 e1/4 ]", E::PitchMode, {{60, 0.0}, {64, 1.2}}, 1, {0, 2}, "---", "P-P", {}, 1.0},
        {"pitch mark", "[ a1/4 a1/4 _/4 a1/4 a1/4 ]", E::PitchMode,
         {{69, 0.0}, {68, 0.0}, {71, 0.0}}, -1, {0, 1, 3, 4}, "-----", "Po-HW", {4}, 0.5625},
        {"rhythm and pitch mark", "[ a1/4 a1/4 ]", E::RhythmAndPitchMode,
         {{69, 0.1}, {71, 0.6}}, 1, {0, 1}, "lP", "PH", {}, ((0.75 + 1) / 2 + (1 + 0.5) / 2) * 0.5},
        {"rests only", "[ _/4 _/2 ]", E::RhythmAndPitchMode, {{60, 0.0}}, -1, {}, "--", "--", {}, 0.0},
        {"rests only, pitch", "[ _/4 ]", E::PitchMode, {{60, 0.0}}, -1, {}, "-", "-", {}, 0.0},
    };
    for (const Scenario& row : rows) {
        SCOPED_TRACE(row.what);
        load(row.code, row.mode);
        for (int i = 0; i < row.inputs.size(); ++i)
            EXPECT_EQ(input(row.inputs[i].first, row.inputs[i].second), i == row.completeAt) << "input " << i;
        evaluator->finalize();
        EXPECT_EQ(gradedIndexes(), row.emitted);
        const QList<E::EvaluationEntry> entries = evaluator->evaluationList();
        EXPECT_EQ(gradeText(entries, false), row.rhythm);
        EXPECT_EQ(gradeText(entries, true), row.pitch);
        for (int i = 0; i < entries.size(); ++i) {
            EXPECT_TRUE(entries[i].evaluated) << i;
            EXPECT_EQ(entries[i].skipped, row.skipped.contains(i)) << i;
        }
        const double mark = evaluator->getOutcome();
        EXPECT_TRUE(std::isfinite(mark));
        EXPECT_DOUBLE_EQ(mark, row.mark);
    }
    EXPECT_TRUE(LogCapture::instance().contains("Terminating due to overflow."));
}

TEST_F(EvaluatorTest, RhythmThresholds)
{
    const QList<QPair<double, QString>> rows = {{0.0, "P"},  {0.074, "P"},  {-0.074, "P"}, {0.1, "l"}, {-0.1, "e"},
                                                {0.15, "L"}, {-0.15, "E"}, {0.2, "L"},    {0.25, "W"}, {-0.25, "W"}};
    for (const auto& row : rows) {
        load("[ _/4 c1/4 ]", E::RhythmMode);  // the note at 0.6 s
        EXPECT_TRUE(input(60, 0.6 + row.first)) << row.first;
        EXPECT_EQ(gradeText(evaluator->evaluationList(), false), "-" + row.second) << row.first;
    }
}

TEST_F(EvaluatorTest, PitchGradesAndColouredNote)
{
    const QList<std::tuple<int, QString, QString>> rows = {
        {0, "P", "green\"> a1"}, {1, "h", "red\"> a#1"}, {-1, "o", "red\"> g#1"}, {2, "H", "red\"> b1"},
        {-2, "o", "red\"> g1"},  {4, "H", "red\"> c#2"}, {-4, "O", "red\"> f1"},  {5, "W", "red\"> d2"},
        {-5, "W", "red\"> e1"},
    };
    NotationPainter parser;
    for (const auto& [semitones, grade, token] : rows) {
        load("[ a1/4 c2/4 ]", E::PitchMode);
        EXPECT_FALSE(input(69 + semitones, 5.0)) << semitones;
        EXPECT_EQ(gradeText(evaluator->evaluationList(), true), grade + "-") << semitones;
        const QString coloured = evaluator->getGmnBasedOnInput();
        EXPECT_EQ(coloured, "[ \\noteFormat<color=\"" + token + "/4 \\noteFormat<color=\"black\"> c2/4 ]");
        EXPECT_TRUE(parser.setGMNCode(coloured)) << coloured.toStdString();
    }
}

TEST_F(EvaluatorTest, EntryTextAndThresholdChecks)
{
    E::EvaluationEntry e;
    e.rhythm = E::WRONG;
    e.skipped = true;
    EXPECT_EQ(e.toString(), QString("(skipped)       Rhythm:WRONG      Pitch:NONE      "));
    e = {E::VERY_EARLY, E::VERY_HIGH, true, false, QString()};
    EXPECT_EQ(e.toString(), QString("                Rhythm:VERY_EARLY Pitch:VERY_HIGH "));

    load("[ c1/4 d1/4 ]", E::RhythmMode);
    AssertRecorder::clear();
    evaluator->setRhythmThresholds(0.1, 0.05, 0.3);
    evaluator->setPitchThresholds(-1, 2, 4);
    evaluator->setRhythmThresholds(0.05, 0.1, 0.2);
    EXPECT_EQ(AssertRecorder::expressions(), QStringList({"perfect > 0 && slight > perfect && severe > slight",
                                                          "perfect >= 0 && slight > perfect && severe > slight"}));
    input(60, 0.21);  // past the narrower reach
    EXPECT_EQ(gradeText(evaluator->evaluationList(), false), "W-");
}
