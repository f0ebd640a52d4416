#pragma once

#include "exercise/Evaluator.h"
#include "score/ScoreFixture.h"

#include <QSignalSpy>

#include <memory>

// An evaluator over a score made from a code, with its emitted grades recorded.
class EvaluatorTest : public ScoreTest {
protected:
    void load(const QString& code, int mode)
    {
        ASSERT_TRUE(score.setGMNCode(code)) << code.toStdString();
        evaluator.reset(new Evaluator(score));
        evaluator->setMode(mode);
        spy.reset(new QSignalSpy(evaluator.get(), &Evaluator::inputEvaluated));
    }
    // A note given as a MIDI number (negative: no note), offset in seconds.
    bool input(int midi, double offset)
    {
        const Pitch::Note note = midi < 0 ? Pitch::NONE : Pitch::Note((midi - 12) % 12);
        return evaluator->evaluate(note, midi < 0 ? 0 : (midi - 12) / 12, offset);
    }
    QList<int> gradedIndexes() const
    {
        QList<int> out;
        for (const QList<QVariant>& args : *spy)
            out << args.at(0).toInt();
        return out;
    }
    Evaluator::EvaluationEntry entry(int index) const { return evaluator->evaluationList().at(index); }

    Score score;
    std::unique_ptr<Evaluator> evaluator;
    std::unique_ptr<QSignalSpy> spy;
};
