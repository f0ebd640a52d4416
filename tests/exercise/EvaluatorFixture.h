#pragma once

#include "exercise/Evaluator.h"
#include "score/ScoreFixture.h"

#include <QSignalSpy>

#include <memory>

// An evaluator over a score made from a code, with its grades recorded.
class EvaluatorTest : public ScoreTest {
protected:
    void load(const QString& code, int mode)
    {
        ASSERT_TRUE(score.setGMNCode(code)) << code.toStdString();
        evaluator.reset(new Evaluator(score));
        evaluator->setMode(mode);
        spy.reset(new QSignalSpy(evaluator.get(), &Evaluator::inputEvaluated));
    }

    // Indexes of the grades emitted so far, in order.
    QList<int> gradedIndexes() const
    {
        QList<int> out;
        for (const QList<QVariant>& args : *spy)
            out << args.at(0).toInt();
        return out;
    }

    Evaluator::EvaluationEntry entry(int index) const { return evaluator->evaluationList().at(index); }

    // A note sung or played the given number of semitones from a MIDI note (detector numbering).
    static void fromMidi(int midi, Pitch::Note& note, int& octave)
    {
        note = Pitch::Note((midi - 12) % 12);
        octave = (midi - 12) / 12;
    }

    Score score;
    std::unique_ptr<Evaluator> evaluator;
    std::unique_ptr<QSignalSpy> spy;
};
