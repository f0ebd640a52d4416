#include "EvaluatorFixture.h"

#include <QThread>

// The coloured answer: each graded note found where it is written, always valid GMN, and handed
// with each grade to a receiver on another thread.

namespace {

using E = Evaluator;
const QString Black = " \\noteFormat<color=\"black\">";
QString right(const QString& text) { return "\\noteFormat<color=\"green\"> " + text + Black; }
QString wrong(const QString& text) { return "\\noteFormat<color=\"red\"> " + text + Black; }

} // namespace

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
        ASSERT_EQ(score.gmnCode(), code);
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
}

// (a new score at the next start: the engine's reuse test)
TEST_F(EvaluatorTest, RegradingRecoloursFromTheWrittenNote)
{
    load("[ a1/4 b1/4 ]", E::PitchMode);
    input(67, 0.0);
    const QString first = evaluator->getGmnBasedOnInput();
    EXPECT_EQ(first, "[ " + wrong("g1/4") + " b1/4 ]");
    // colours stay until the note is graded again, then start from the written note
    evaluator->reset();
    EXPECT_EQ(evaluator->getGmnBasedOnInput(), first);
    input(69, 0.0);
    EXPECT_EQ(evaluator->getGmnBasedOnInput(), "[ " + right("a1/4") + " b1/4 ]");
}

TEST_F(EvaluatorTest, EachGradeCarriesItsColouredCodeAcrossThreads)
{
    load("[ c1/4 d1/4 e1/4 ]", E::PitchMode);
    QList<QPair<int, QString>> received;
    QObject receiver;
    QObject::connect(evaluator.get(), &Evaluator::inputEvaluated, &receiver,
                     [&](int index, Evaluator::EvaluationEntry entry) { received << qMakePair(index, entry.colouredGmn); });

    // graded on a worker, as the pitch detector's thread does; delivered queued to this one
    QThread* worker = QThread::create([&] {
        input(60, 0.0);
        input(63, 0.6);
    });
    worker->start();
    worker->wait();
    delete worker;
    evaluator->finalize();  // e never sung: graded here, on this thread
    QCoreApplication::processEvents();

    const QString c = right("c1/4"), d = wrong("d#1/4");
    const QList<QPair<int, QString>> expected = {
        {0, "[ " + c + " d1/4 e1/4 ]"}, {1, "[ " + c + " " + d + " e1/4 ]"}, {2, "[ " + c + " " + d + " e1/4 ]"}};
    ASSERT_EQ(received.size(), 3);
    // the finalize grade came directly; the worker's two arrive after it, each with the code it left
    for (const auto& grade : expected)
        EXPECT_TRUE(received.contains(grade)) << grade.first;
    EXPECT_EQ(evaluator->getGmnBasedOnInput(), expected.last().second);
}
