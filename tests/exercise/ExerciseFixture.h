#pragma once

#include "audio/Audio.h"
#include "audio/AudioInputRegion.h"
#include "audio/AudioMarkerRegion.h"
#include "exercise/ImitationQuestionEngine.h"
#include "exercise/KeyboardNoteInputSource.h"
#include "exercise/MicNoteInputSource.h"
#include "exercise/NoteInput.h"
#include "exercise/NoteInputManager.h"
#include "score/ScoreFixture.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <QSignalSpy>
#include <QTest>

#include <cstdlib>
#include <memory>

// What an exercise laid out on the engine's sequencer, read back through its accessors.
struct TimelineSnapshot {
    QList<QPair<int, double>> markers;  // (id, position) of the engine's markers, in timeline order
    QList<QPair<double, double>> inputs;  // (position, duration) of the input regions
    double duration = 0.0;
    QList<PitchDetector::NoteInfo> expected;  // the detector's expected notes

    double marker(int id) const
    {
        for (const auto& m : markers)
            if (m.first == id)
                return m.second;
        return -1.0;
    }
};

// An engine over a question score and an answer score, on the test card (a whole timeline runs
// at once), with the note input manager set up once per process.
class ExerciseTest : public ScoreTest {
protected:
    static void SetUpTestSuite()
    {
        if (const char* alsaHome = std::getenv("ALSA_HOME"))
            setenv("HOME", alsaHome, 1);
        ScoreTest::SetUpTestSuite();
        Debugging::setLoggingLevel(QsLogging::DebugLevel);
        Audio::initialize();
        NoteInputManager::getInstance()->initialize();
    }
    void SetUp() override
    {
        if (!std::getenv("ALSA_HOME") || !Audio::outputDeviceList().contains("testcard"))
            GTEST_SKIP() << "needs the test card of scripts/test-env.sh";
        Audio::setOutputDevice("testcard");
        Audio::setInputDevice("testcard");
        NoteInputManager* m = NoteInputManager::getInstance();
        m->mp_clappingInput->setActiveSource(m->mp_keyboardSource);
        AssertRecorder::clear();
        LogCapture::instance().clear();
        engine.reset(new ImitationQuestionEngine());
    }
    void TearDown() override
    {
        engine.reset();
        NoteInputManager* m = NoteInputManager::getInstance();
        m->mp_clappingInput->setActiveSource(m->mp_micSource);
    }

    static QVariantMap settings(int captureType, bool countIns = false, bool metronome = false)
    {
        return {{"playbackMetronomeCountIn", countIns}, {"playbackMetronome", metronome},
                {"captureMetronomeCountIn", countIns},  {"captureMetronome", metronome},
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
    // One attempt to its end: the outcome rows, and the mark it finished with (-1 if it did not).
    QList<int> run(double* mark = nullptr, int timeoutMs = 20000)
    {
        QSignalSpy finished(engine.get(), &ImitationQuestionEngine::finished);
        engine->start();
        EXPECT_TRUE(finished.count() > 0 || finished.wait(timeoutMs));
        if (mark)
            *mark = finished.isEmpty() ? -1.0 : finished.first().first().toDouble();
        return outcomes();
    }
    // Starts and reads the timeline back when the stream has started (before anything resets it).
    TimelineSnapshot startAndReadTimeline()
    {
        TimelineSnapshot shot;
        QMetaObject::Connection c = QObject::connect(&engine->sequencer(), &AudioSequencer::started, [&] {
            for (const AudioMarkerRegion* r : engine->sequencer().markerRegions())
                if (r->target() == engine.get())
                    shot.markers << qMakePair(r->id(), r->position());
            for (const AudioInputRegion* r : engine->sequencer().inputRegions())
                shot.inputs << qMakePair(r->position(), r->duration());
            shot.duration = engine->sequencer().duration();
            shot.expected = NoteInputManager::getInstance()->mp_micSource->mp_detector->m_expectedNotes;
        });
        run();
        QObject::disconnect(c);
        return shot;
    }
    // The engine's outcome rows, in order.
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
