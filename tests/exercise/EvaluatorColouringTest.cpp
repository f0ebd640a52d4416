#include "EvaluatorFixture.h"

#include "notation/GmnReader.h"
#include "notation/NotationPainter.h"

#include <QThread>

#include <atomic>

// The coloured answer: each graded note found where it is written, always valid GMN, readable
// while the grading thread writes it.

namespace {

using E = Evaluator;
const QString Red = "\\noteFormat<color=\"red\">";
const QString Green = "\\noteFormat<color=\"green\">";
const QString Black = "\\noteFormat<color=\"black\">";

QString right(const QString& text) { return Green + " " + text + " " + Black; }
QString wrong(const QString& text) { return Red + " " + text + " " + Black; }

} // namespace

TEST_F(EvaluatorTest, ColouredWhereWrittenAndValid)
{
    struct Row {
        QString code;
        QList<int> sung;  // MIDI notes, one per sounding note
        QString coloured;
    };
    const QList<Row> rows = {
        // a rest has no letter-initial token
        {"[ c1/4 _/4 e1/4 g1/4 ]", {60, 65, 67},
         "[ " + right("c1/4") + " _/4 " + wrong("f1/4") + " " + right("g1/4") + " ]"},
        // brackets glued to notes; a tie's range opening in the note's token; its continuation
        {"[c1/4 \\tie(d1/4 d1/4) e1/4]", {60, 63, 64},
         "[" + right("c1/4") + " \\tie(" + wrong("d#1/4") + " " + wrong("d#1/4") + ") " + right("e1/4") + "]"},
        // a blank inside a tag's parameter
        {"[ \\title<\"Slow air\"> a1/4 b1/4 ]", {69, 72},
         "[ \\title<\"Slow air\"> " + right("a1/4") + " " + wrong("c2/4") + " ]"},
        // a wrong octave does not move the notes that inherit theirs
        {"[ c1/4 d e ]", {60, 76, 64}, "[ " + right("c1/4") + " " + wrong("e2") + " " + right("e1") + " ]"},
    };
    for (const Row& row : rows) {
        load(row.code, E::PitchMode);
        ASSERT_EQ(score.gmnCode(), row.code);
        for (int midi : row.sung) {
            Pitch::Note note;
            int octave;
            fromMidi(midi, note, octave);
            evaluator->evaluate(note, octave, 0.0);
        }
        const QString coloured = evaluator->getGmnBasedOnInput();
        EXPECT_EQ(coloured, row.coloured) << row.code.toStdString();

        // the notation layer takes it and reads the notes that were sung
        Score shown;
        ASSERT_TRUE(shown.setGMNCode(coloured)) << coloured.toStdString();
        QList<int> heard;
        for (const Score::NoteInfo& n : shown.noteList()) {
            if (n.note != 12)
                heard << Pitch::midiNote(Pitch::Note(n.note), Pitch::gmnToMidiOctave(n.octave));
        }
        EXPECT_EQ(heard, row.sung) << coloured.toStdString();
    }
}

TEST_F(EvaluatorTest, RegradingRecoloursAndANewScoreStartsPlain)
{
    load("[ a1/4 b1/4 ]", E::PitchMode);
    evaluator->evaluate(Pitch::G, 4, 0.0);
    const QString first = evaluator->getGmnBasedOnInput();
    EXPECT_EQ(first, "[ " + wrong("g1/4") + " b1/4 ]");
    // the colours of an attempt stay until the note is graded again, then start from the written note
    evaluator->reset();
    EXPECT_EQ(evaluator->getGmnBasedOnInput(), first);
    evaluator->evaluate(Pitch::A, 4, 0.0);
    EXPECT_EQ(evaluator->getGmnBasedOnInput(), "[ " + right("a1/4") + " b1/4 ]");

    Score next;
    ASSERT_TRUE(next.setGMNCode("[ c1/4 _/4 e1/4 ]"));
    evaluator->setScore(next);
    EXPECT_EQ(evaluator->getGmnBasedOnInput(), next.gmnCode());
    EXPECT_EQ(evaluator->noteInfoList().size(), 3);
    EXPECT_EQ(evaluator->lastIndex(), -1);
    EXPECT_FALSE(evaluator->evaluate(Pitch::C, 4, 0.0));
    EXPECT_TRUE(evaluator->evaluate(Pitch::E, 4, 0.0));
    EXPECT_DOUBLE_EQ(evaluator->getOutcome(), 1.0);
}

TEST_F(EvaluatorTest, ColouredCodeReadWhileAWorkerGrades)
{
    QString code = "[";
    for (int i = 0; i < 24; ++i)
        code += " c1/8 e1/8 g1/8";
    load(code + " ]", E::PitchMode);

    QList<int> received;
    QObject receiver;
    QObject::connect(evaluator.get(), &Evaluator::inputEvaluated, &receiver,
                     [&](int index, Evaluator::EvaluationEntry entry) {
                         if (entry.evaluated)
                             received << index;
                     });

    std::atomic<bool> done{false};
    const int attempts = 40;
    QThread* worker = QThread::create([&] {
        for (int attempt = 0; attempt < attempts; ++attempt) {
            evaluator->reset();
            for (int i = 0; i < 72; ++i)
                evaluator->evaluate(i % 2 ? Pitch::C : Pitch::D, 4, 0.0);
        }
        done = true;
    });
    worker->start();
    int reads = 0;
    while (!done) {
        const QString shown = evaluator->getGmnBasedOnInput();
        ASSERT_TRUE(GmnReader::read(shown).ok) << shown.toStdString();
        ASSERT_EQ(shown.count("\\noteFormat<color=\"black\">"),
                  shown.count("\\noteFormat<color=\"red\">") + shown.count("\\noteFormat<color=\"green\">"));
        ++reads;
    }
    worker->wait();
    delete worker;
    EXPECT_GT(reads, 0);
    // the grades reached this thread through a queued connection
    QCoreApplication::processEvents();
    EXPECT_EQ(received.size(), attempts * 72);
    NotationPainter parser;
    EXPECT_TRUE(parser.setGMNCode(evaluator->getGmnBasedOnInput()));
}
