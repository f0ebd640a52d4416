#include "ExerciseFixture.h"

#include <QThread>

#include <cmath>
#include <thread>

// Rhythm and pitch grading, skipped positions, marks, the entry text, and the coloured answer: each
// graded note found where it is written, always valid GMN, and handed with each grade to a receiver
// on another thread.

namespace {

using E = Evaluator;

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

const QString Black = " \\noteFormat<color=\"black\">";
QString right(const QString& text) { return "\\noteFormat<color=\"green\"> " + text + Black; }
QString wrong(const QString& text) { return "\\noteFormat<color=\"red\"> " + text + Black; }

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
        {"pitch thresholds: 0, +1, -1, +2, -2, +4, -4, +5, -5 semitones", "[ a1/4 a a a a a a a a ]", E::PitchMode,
         {{69, 0.0}, {70, 0.0}, {68, 0.0}, {71, 0.0}, {67, 0.0}, {73, 0.0}, {65, 0.0}, {74, 0.0}, {64, 0.0}}, 8,
         {0, 1, 2, 3, 4, 5, 6, 7, 8}, "---------", "PhoHoHOWW", {}, 4.75 / 9},
        {"pitch mark", "[ a1/4 a1/4 _/4 a1/4 a1/4 ]", E::PitchMode,
         {{69, 0.0}, {68, 0.0}, {71, 0.0}}, -1, {0, 1, 3, 4}, "-----", "Po-HW", {4}, 0.5625},
        {"rhythm and pitch mark", "[ a1/4 a1/4 ]", E::RhythmAndPitchMode,
         {{69, 0.1}, {71, 0.6}}, 1, {0, 1}, "lP", "PH", {}, ((0.75 + 1) / 2 + (1 + 0.5) / 2) * 0.5},
        {"rests only", "[ _/4 _/2 ]", E::RhythmAndPitchMode, {{60, 0.0}}, -1, {}, "--", "--", {}, 0.0},
        {"rhythm thresholds, a second per note (the tempo stays for later codes)", "[ \\bpm<60> c1/4 c c c c c c c c c ]", E::RhythmMode,
         {{60, 0.0}, {60, 1.074}, {60, 1.926}, {60, 3.1}, {60, 3.9}, {60, 5.15}, {60, 5.85}, {60, 7.2}, {60, 8.25},
          {60, 8.75}}, 9, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, "PPPleLELWW", "----------", {}, 0.6},
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

TEST_F(EvaluatorTest, EntryText)
{
    E::EvaluationEntry e;
    e.rhythm = E::WRONG;
    e.skipped = true;
    EXPECT_EQ(e.toString(), QString("(skipped)       Rhythm:WRONG      Pitch:NONE      "));
    e = {E::VERY_EARLY, E::VERY_HIGH, true, false, QString()};
    EXPECT_EQ(e.toString(), QString("                Rhythm:VERY_EARLY Pitch:VERY_HIGH "));
}

TEST_F(EvaluatorTest, ColouredWhereWrittenAndValid)
{
    const QList<std::tuple<QString, QList<int>, QString>> rows = {
        // a rest has no letter-initial token
        {"[ c1/4 _/4 e1/4 g1/4 ]", {60, 65, 67}, "[ " + right("c1/4") + " _/4 " + wrong("f1/4") + " " + right("g1/4") + " ]"},
        // brackets glued to notes; a tie opening in the note's token, its continuation shown as sung
        {"[c1/4 \\tie(d1/4 d1/4) e1/4]", {60, 63, 64},
         "[" + right("c1/4") + " \\tie(" + wrong("d#1/4") + " " + wrong("d#1/4") + ") " + right("e1/4") + "]"},
        // a blank inside a tag's parameter
        {"[ \\title<\"Slow air\"> a1/4 b1/4 ]", {69, 72}, "[ \\title<\"Slow air\"> " + right("a1/4") + " " + wrong("c2/4") + " ]"},
        // a wrong octave does not move the notes that inherit theirs
        {"[ c1/4 d e ]", {60, 76, 64}, "[ " + right("c1/4") + " " + wrong("e2") + " " + right("e1") + " ]"},
    };
    for (const auto& [code, sung, coloured] : rows) {
        load(code, E::PitchMode);
        for (int midi : sung)
            input(midi, 0.0);
        EXPECT_EQ(evaluator->getGmnBasedOnInput(), coloured) << code.toStdString();
        // the notation layer takes it and reads the notes that were sung
        Score shown;
        ASSERT_TRUE(shown.setGMNCode(coloured)) << coloured.toStdString();
        QList<int> heard;
        for (const Score::NoteInfo& n : shown.noteList()) {
            if (n.note != 12)
                heard << Pitch::midiNote(Pitch::Note(n.note), Pitch::gmnToMidiOctave(n.octave));
        }
        EXPECT_EQ(heard, sung) << coloured.toStdString();
    }
    // colours stay until a note is graded again, then start from the written note
    evaluator->reset();
    EXPECT_EQ(evaluator->getGmnBasedOnInput(), std::get<2>(rows.last()));
    input(60, 0.0);
    input(62, 0.0);
    EXPECT_EQ(evaluator->getGmnBasedOnInput(), "[ " + right("c1/4") + " " + right("d") + " " + right("e1") + " ]");
}

TEST_F(EvaluatorTest, EachGradeCarriesItsColouredCodeAcrossThreads)
{
    load("[ c1/4 d1/4 e1/4 ]", E::PitchMode);
    QList<QPair<int, QString>> received;
    QObject receiver;
    QObject::connect(evaluator.get(), &Evaluator::inputEvaluated, &receiver,
                     [&](int index, Evaluator::EvaluationEntry entry) { received << qMakePair(index, entry.colouredGmn); });
    std::thread worker([&] {  // as the pitch detector's thread grades: delivered queued to this one
        input(60, 0.0);
        input(63, 0.6);
    });
    worker.join();
    evaluator->finalize();  // e never sung: graded here, delivered at once
    QCoreApplication::processEvents();
    const QString c = right("c1/4"), d = wrong("d#1/4");
    const QList<QPair<int, QString>> expected = {
        {2, "[ " + c + " " + d + " e1/4 ]"}, {0, "[ " + c + " d1/4 e1/4 ]"}, {1, "[ " + c + " " + d + " e1/4 ]"}};
    EXPECT_EQ(received, expected);
}

// A wrong note keeps the answer on the written notes' clef: a bass-clef question sung too high stays
// in the bass clef, a treble one sung too low in the treble clef; a clef the code names is kept. An
// answer the engine draws in the question's clef anyway gets none: only its graded notes change.
TEST_F(EvaluatorTest, WrongNotesKeepTheWrittenClef)
{
    const QString treble = "[ \\clef<\"g\"> ";
    const QList<std::tuple<QString, int, QString>> rows = {
        {"[ \\meter<\"4/4\"> a0/1 ]", 62, "[ \\clef<\"f\"> \\meter<\"4/4\"> " + wrong("d1/1") + " ]"},
        {"[ c1/2 d1/2 ]", 53, treble + wrong("f0/2") + " d1/2 ]"},
        {"[ c1/2 d1/2 ]", 64, "[ " + wrong("e1/2") + " d1/2 ]"},
        {"[ \\meter<\"4/4\"> a0/1 ]", 55, "[ \\meter<\"4/4\"> " + wrong("g0/1") + " ]"},
        {"[ \\clef<\"g\"> a0/1 ]", 62, "[ \\clef<\"g\"> " + wrong("d1/1") + " ]"},
        {"[ \\meter<\"4/4\"> a0/1 ]", 57, "[ \\meter<\"4/4\"> " + right("a0/1") + " ]"},
    };
    for (const auto& [code, sung, coloured] : rows) {
        load(code, E::PitchMode);
        input(sung, 0.0);
        EXPECT_EQ(evaluator->getGmnBasedOnInput(), coloured) << code.toStdString();
        Score shown;
        EXPECT_TRUE(shown.setGMNCode(coloured)) << coloured.toStdString();
    }
}

// Taps that take no note are not graded, as the rules say, but counted, so that the learner can be
// told why: those before the first note's reach as early, the others (a second tap for a graded
// note, one in a rest, one after the last note) as extra. The grades stay as the rules give them.
TEST_F(EvaluatorTest, InputsThatTakeNoNoteAreCountedNotGraded)
{
    const struct {
        const char* what;
        QString code;  // at 100 bpm a quarter lasts 0.6 s
        int mode;
        QList<QPair<int, double>> inputs;  // MIDI note (-1 none), offset
        QString grades;
        int early, extra;
    } rows[] = {
        {"taps in the count-in; the blank after a key press is no input; a second tap for a graded note",
         "[ c1/4 d1/4 ]", E::RhythmMode, {{60, -1.4}, {60, -0.8}, {60, -0.26}, {-1, -0.5}, {60, -0.2}, {60, 0.3}},
         "EW", 3, 1},
        {"every beat tapped through the rests, a little early there: the notes all right, the taps in the rests extra",
         "[ c1/4 _ c _ c c c/2 ]", E::RhythmMode,
         {{60, 0.0}, {60, 0.58}, {60, 1.2}, {60, 1.78}, {60, 2.4}, {60, 3.0}, {60, 3.6}}, "P-P-PPP", 0, 2},
        {"a tap in a long rest takes the next note far too early; the tap on time for it is extra",
         "[ c1/4 _/2 c1/4 c1/4 ]", E::RhythmMode, {{60, 0.0}, {60, 1.3}, {60, 1.8}, {60, 2.4}}, "P-WP", 0, 1},
        {"a tap after the last note ends the grading", "[ c1/4 d1/4 ]", E::RhythmMode, {{60, 0.0}, {60, 1.7}},
         "PW", 0, 1},
        {"rushed, once for each note: the last tap lands by a note already taken, the last note gets none",
         "[ c1/4 d1/4 e1/4 f1/4 ]", E::RhythmMode, {{60, 0.0}, {60, 0.5}, {60, 1.0}, {60, 1.4}}, "PeEW", 0, 1},
        {"a sung note takes the next note whenever it comes", "[ c1/4 d1/4 ]", E::PitchMode, {{60, -1.0}}, "--", 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        load(row.code, row.mode);
        for (const auto& [midi, offset] : row.inputs)
            input(midi, offset);
        evaluator->finalize();
        EXPECT_EQ(gradeText(evaluator->evaluationList(), false), row.grades);
        EXPECT_EQ(evaluator->earlyInputCount(), row.early);
        EXPECT_EQ(evaluator->extraInputCount(), row.extra);
        evaluator->reset();
        EXPECT_EQ(evaluator->earlyInputCount() + evaluator->extraInputCount(), 0);
    }
}
