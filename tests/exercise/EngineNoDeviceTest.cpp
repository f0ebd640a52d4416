// Runs in its own process with no sound device at all: the exercise's stream (the question's sound
// and the microphone) cannot be opened.
#include "ExerciseFixture.h"

#include "exercise/ImitationQuestionSettings.h"
#include "support/AssertRecorder.h"

#include <QTemporaryDir>

#include <cstdlib>

// A microphone answer whose stream cannot open is no answer: the attempt fails with the stream's
// reason, keeps no row and gives no mark; the engine can be started again.
TEST_F(SequenceTest, AnAttemptWhoseStreamCannotOpenFailsWithItsReason)
{
    static QTemporaryDir home;
    setenv("HOME", qPrintable(home.path()), 1);
    setenv("PULSE_SERVER", "unix:/nonexistent/pulse", 1);
    NoteInputManager* manager = NoteInputManager::getInstance();
    manager->initialize();
    manager->mp_clappingInput->setActiveSource(manager->mp_micSource);
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"4/4\"> c1/4 d e f ]"));
    ImitationQuestionEngine engine;
    engine.setQuestionScore(&score);
    engine.setAnswerScore(&score);
    engine.setSettingsMap({{"playbackMetronomeCountIn", false}, {"playbackMetronome", false},
                           {"captureMetronomeCountIn", false}, {"captureMetronome", false},
                           {"capturePlayback", false}, {"captureType", ImitationQuestionSettings::CaptureRhythm}});
    QSignalSpy failed(&engine, &ImitationQuestionEngine::failed);
    QSignalSpy finished(&engine, &ImitationQuestionEngine::finished);
    for (int attempt = 1; attempt <= 2; ++attempt) {
        SCOPED_TRACE(attempt);
        engine.start();
        ASSERT_TRUE(failed.count() == attempt || failed.wait(20000));
        EXPECT_EQ(engine.micSource(), manager->mp_micSource);
        EXPECT_TRUE(failed.last().first().toString().startsWith("failed to open stream (")) << failed.last().first().toString().toStdString();
        EXPECT_EQ(engine.outcomeModel()->rowCount(), 0);
        EXPECT_FALSE(engine.noteInput()->isStarted());
    }
    QTest::qWait(100);
    EXPECT_EQ(finished.count(), 0);
    manager->mp_clappingInput->setActiveSource(manager->mp_keyboardSource);
}
