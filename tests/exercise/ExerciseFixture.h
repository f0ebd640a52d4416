#pragma once

#include "audio/Audio.h"
#include "exercise/Evaluator.h"
#include "exercise/ImitationQuestionEngine.h"
#include "exercise/KeyboardNoteInputSource.h"
#include "exercise/MicNoteInputSource.h"
#include "exercise/NoteInput.h"
#include "exercise/NoteInputManager.h"
#include "score/ScoreFixture.h"

#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

// One grade per character: - NONE, P PERFECT, e EARLY, l LATE, E VERY_EARLY, L VERY_LATE,
// o LOW, h HIGH, O VERY_LOW, H VERY_HIGH, W WRONG.
inline QString gradeText(const QList<Evaluator::EvaluationEntry>& entries, bool pitch)
{
    const QString letters = "-PelELohOHW";
    QString out;
    for (const Evaluator::EvaluationEntry& e : entries)
        out += letters.at(pitch ? e.pitch : e.rhythm);
    return out;
}

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

    Score score;
    std::unique_ptr<Evaluator> evaluator;
    std::unique_ptr<QSignalSpy> spy;
};

// An engine over a question score and an answer score (whose sound is made: a question without it
// is not played), with the note input manager set up once per process; on the test card a whole
// timeline runs at once.
class ExerciseTest : public SequenceTest {
protected:
    static void SetUpTestSuite()
    {
        if (const char* alsaHome = std::getenv("ALSA_HOME"))
            setenv("HOME", alsaHome, 1);
        SequenceTest::SetUpTestSuite();
        Debugging::setLoggingLevel(QsLogging::DebugLevel);
        Audio::initialize();
        NoteInputManager::getInstance()->initialize();
    }
    void SetUp() override { useDevice("testcard", "ALSA_HOME"); }
    // Skips unless scripts/test-env.sh set the device up; claps come from the keyboard.
    void useDevice(const char* device, const char* variable)
    {
        if (!std::getenv(variable) || !Audio::outputDeviceList().contains(device))
            GTEST_SKIP() << "needs the " << device << " device of scripts/test-env.sh";
        Audio::setOutputDevice(device);
        Audio::setInputDevice(device);
        NoteInputManager* m = NoteInputManager::getInstance();
        m->mp_clappingInput->setActiveSource(m->mp_keyboardSource);
        ScoreTest::SetUp();
        engine.reset(new ImitationQuestionEngine());
    }

    static QVariantMap settings(int captureType, bool countIns = false)
    {
        return {{"playbackMetronomeCountIn", countIns}, {"playbackMetronome", false},
                {"captureMetronomeCountIn", countIns},  {"captureMetronome", false},
                {"capturePlayback", false},              {"captureType", captureType}};
    }
    void setUp(const QString& question, const QString& answer, const QVariantMap& map)
    {
        ASSERT_TRUE(questionScore.setGMNCode(question));
        ASSERT_TRUE(answerScore.setGMNCode(answer));
        engine->setQuestionScore(&questionScore);
        engine->setAnswerScore(&answerScore);
        engine->setSettingsMap(map);
    }
    // A new engine whose question and answer are both the code.
    void fresh(int captureType, const QString& code = QStringLiteral("[ c1/4 d e f ]"))
    {
        engine.reset(new ImitationQuestionEngine());
        LogCapture::instance().clear();
        setUp(code, code, settings(captureType));
    }
    // One attempt to its end: the outcome rows, and the mark it finished with (-1 if it did not). An
    // attempt that failed (its stream ended early) says why at once.
    QList<int> run(double* mark = nullptr, int timeoutMs = 20000)
    {
        QSignalSpy finished(engine.get(), &ImitationQuestionEngine::finished);
        QSignalSpy failed(engine.get(), &ImitationQuestionEngine::failed);
        engine->start();
        const bool ended = QTest::qWaitFor([&] { return !finished.isEmpty() || !failed.isEmpty(); }, timeoutMs);
        EXPECT_TRUE(ended);
        EXPECT_TRUE(failed.isEmpty()) << "the attempt failed: " << qPrintable(failed.value(0).value(0).toString());
        if (!ended || !failed.isEmpty()) {
            // what led there, for a failure seen once on a busy machine
            const QStringList log = LogCapture::instance().lines();
            for (int i = std::max(0, int(log.size()) - 60); i < log.size(); ++i)
                std::fprintf(stderr, "log: %s\n", qPrintable(log.at(i)));
        }
        if (mark)
            *mark = finished.isEmpty() ? -1.0 : finished.first().first().toDouble();
        return outcomes();
    }
    QList<int> outcomes() const
    {
        QList<int> out;
        for (int row = 0; row < engine->outcomeModel()->rowCount(); ++row)
            out << engine->outcomeModel()->get(row).value("outcome").toInt();
        return out;
    }

    Score questionScore;
    Score answerScore;
    std::unique_ptr<ImitationQuestionEngine> engine;
};
