// The exercise timeline as laid out on the engine's sequencer and read back through its accessors,
// the expected notes handed to the detector, and the engine's choice of mode and input.
#include "ExerciseFixture.h"

#include "exercise/ImitationQuestionSettings.h"
#include "exercise/MicNoteInputSource.h"
#include "pitch/DetectorThread.h"

#include <QThread>

#include <atomic>
#include <mutex>
#include <thread>

namespace {

using Markers = QList<QPair<int, double>>;

void expectMarkers(const TimelineSnapshot& shot, const Markers& expected)
{
    ASSERT_EQ(shot.markers.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(shot.markers[i].first, expected[i].first) << "marker " << i;
        EXPECT_NEAR(shot.markers[i].second, expected[i].second, 1e-9) << "marker " << expected[i].first;
    }
}

class EngineTimelineTest : public ExerciseTest {};

// Rhythm, no count-in, D = 2.4 s: the worked example, with a silence for the keyboard and an input
// region for the microphone.
TEST_F(EngineTimelineTest, RhythmCaptureFollowsTheWorkedExample)
{
    const QString code = "[ \\meter<\"4/4\"> c1/4 d e f ]";
    for (bool mic : {false, true}) {
        SCOPED_TRACE(mic ? "microphone" : "keyboard");
        engine.reset(new ImitationQuestionEngine());
        NoteInputManager* m = NoteInputManager::getInstance();
        m->mp_clappingInput->setActiveSource(mic ? static_cast<NoteInputSource*>(m->mp_micSource)
                                                 : m->mp_keyboardSource);
        setUp(code, code, settings(ImitationQuestionSettings::CaptureRhythm));
        const QList<PitchDetector::NoteInfo> before = m->mp_micSource->mp_detector->m_expectedNotes;
        const TimelineSnapshot shot = startAndReadTimeline();
        const double passEnd = shot.marker(1001);
        EXPECT_NEAR(passEnd, 4.4, 0.05);  // the question pass ends with the score
        expectMarkers(shot, {{1000, 2.0}, {1001, passEnd}, {1003, passEnd}, {1002, passEnd + 1.0},
                             {1004, passEnd + 2.0}, {1005, passEnd + 4.4}, {1006, passEnd + 4.7}});
        EXPECT_NEAR(shot.duration, passEnd + 4.7 + 0.1, 1e-9);  // with the sequencer's tail
        if (mic)
            EXPECT_EQ(shot.inputs, (QList<QPair<double, double>>{{passEnd, 4.7}}));
        else
            EXPECT_TRUE(shot.inputs.isEmpty());
        EXPECT_EQ(engine->evaluator()->mode(), Evaluator::RhythmMode);
        EXPECT_DOUBLE_EQ(engine->evaluator()->rhythmSevere(), 0.25);
        EXPECT_EQ(engine->noteInput(), m->mp_clappingInput);
        EXPECT_EQ(shot.expected.size(), before.size());  // rhythm leaves the detector's notes alone
    }
}

// Pitch with both count-ins at tempo 100 in 4/4: four beats 0.6 s apart before each pass, a window
// of max(10, 2D), and the answer's sounding notes handed to the detector 2 s after the capture begin.
TEST_F(EngineTimelineTest, PitchCaptureWithCountInsAndExpectedNotes)
{
    setUp("[ \\meter<\"4/4\"> c1/4 d e f ]", "[ \\meter<\"4/4\"> c1/4 _ e g ]",
          settings(ImitationQuestionSettings::CapturePitch, true));
    const TimelineSnapshot shot = startAndReadTimeline();
    const double t2 = shot.marker(1002) + 1.0;  // the capture pass begins
    const double c = t2 + 2.4;                   // after its count-in
    expectMarkers(shot, {{1, 2.0}, {2, 2.6}, {3, 3.2}, {4, 3.8}, {1000, 4.4}, {1001, t2 - 2.0},
                         {1002, t2 - 1.0}, {1, t2}, {1003, c - 2.0}, {2, t2 + 0.6}, {3, t2 + 1.2},
                         {4, t2 + 1.8}, {1004, c}, {1005, c + 10.0}, {1006, c + 10.0}});
    EXPECT_NEAR(t2 - 2.0, 6.8, 0.05);
    ASSERT_EQ(shot.inputs.size(), 1);
    EXPECT_NEAR(shot.inputs[0].first, c - 2.0, 1e-9);
    EXPECT_DOUBLE_EQ(shot.inputs[0].second, 10.0);
    EXPECT_EQ(engine->noteInput(), NoteInputManager::getInstance()->mp_singingInput);
    EXPECT_EQ(engine->evaluator()->mode(), Evaluator::PitchMode);

    ASSERT_EQ(shot.expected.size(), 3);
    const int notes[] = {Pitch::C, Pitch::E, Pitch::G};
    const double offsets[] = {2.0, 3.2, 3.8};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(shot.expected[i].note, notes[i]);
        EXPECT_EQ(shot.expected[i].octave, 4);
        EXPECT_NEAR(shot.expected[i].offset, offsets[i], 1e-9);
    }
    const QStringList lines = LogCapture::instance().linesContaining("expected note ");
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].contains("expected note 0\tC\t2.0")) << qPrintable(lines[0]);
    EXPECT_TRUE(lines[1].contains("expected note 2\tE\t3.2")) << qPrintable(lines[1]);  // the rest counts
    EXPECT_TRUE(lines[2].contains("expected note 3\tG\t3.8")) << qPrintable(lines[2]);
}

// Rhythm and pitch clears the four metronome flags, plays through the playing input, and a short
// score gets the 10 s minimum window.
TEST_F(EngineTimelineTest, RhythmAndPitchDropsTheMetronomeAndUsesThePlayingInput)
{
    setUp("[ \\meter<\"6/8\"> c1/8 d e f g a ]", "[ \\meter<\"6/8\"> c1/8 d e f g a ]",
          settings(ImitationQuestionSettings::CaptureRhythmAndPitch, true, true));
    const TimelineSnapshot shot = startAndReadTimeline();
    const ImitationQuestionSettings* s = engine->settingsObject();
    EXPECT_FALSE(s->playbackMetronomeCountIn || s->playbackMetronome || s->captureMetronomeCountIn
                 || s->captureMetronome);
    EXPECT_EQ(engine->noteInput(), NoteInputManager::getInstance()->mp_playingInput);
    EXPECT_EQ(engine->evaluator()->mode(), Evaluator::PitchMode);
    const double c = shot.marker(1004);
    EXPECT_DOUBLE_EQ(shot.marker(1000), 2.0);
    EXPECT_DOUBLE_EQ(shot.marker(1003), c - 2.0);
    EXPECT_DOUBLE_EQ(shot.marker(1005), c + 10.0);
    ASSERT_EQ(shot.inputs.size(), 1);
    EXPECT_NEAR(shot.inputs[0].first, c - 2.0, 1e-9);
    EXPECT_DOUBLE_EQ(shot.inputs[0].second, 10.0);
    EXPECT_EQ(shot.expected.size(), 6);
}

// 6/8 counts two dotted-quarter beats of 0.9 s.
TEST_F(EngineTimelineTest, CompoundMeterCountsInDottedBeats)
{
    setUp("[ \\meter<\"6/8\"> c1/8 d e f g a ]", "[ \\meter<\"6/8\"> c1/8 d e f g a ]",
          settings(ImitationQuestionSettings::CaptureRhythm, true));
    const TimelineSnapshot shot = startAndReadTimeline();
    EXPECT_DOUBLE_EQ(shot.marker(1), 2.0);
    EXPECT_DOUBLE_EQ(shot.marker(2), 2.9);
    EXPECT_DOUBLE_EQ(shot.marker(1000), 3.8);
    EXPECT_EQ(shot.marker(3), -1.0);
}

TEST_F(EngineTimelineTest, StartNeedsBothScoresAndASettingsMap)
{
    ASSERT_TRUE(questionScore.setGMNCode("[ c1/4 d ]"));
    engine->setQuestionScore(&questionScore);
    engine->setSettingsMap(settings(ImitationQuestionSettings::CaptureRhythm));
    EXPECT_EQ(engine->start(), 0);
    EXPECT_FALSE(engine->isInitialized());
    EXPECT_TRUE(LogCapture::instance().contains("not enough properties set to initialize"));

    ASSERT_TRUE(answerScore.setGMNCode("[ c1/4 d ]"));
    engine->setAnswerScore(&answerScore);
    QSignalSpy finished(engine.get(), &ImitationQuestionEngine::finished);
    engine->start();
    EXPECT_TRUE(engine->isInitialized());
    EXPECT_TRUE(finished.wait(20000));
}

// An unknown capture type keeps its assertion and starts nothing.
TEST_F(EngineTimelineTest, UnknownCaptureTypeStartsNothing)
{
    setUp("[ c1/4 d ]", "[ c1/4 d ]", settings(7));
    QSignalSpy requested(engine.get(), &ImitationQuestionEngine::startRequested);
    EXPECT_EQ(engine->start(), 0);
    EXPECT_EQ(AssertRecorder::expressions(), QStringList{"0"});
    EXPECT_FALSE(engine->isInitialized());
    EXPECT_EQ(engine->evaluator(), nullptr);
    EXPECT_EQ(requested.count(), 0);
}

TEST_F(EngineTimelineTest, MissingSettingIsReportedByName)
{
    QVariantMap map = settings(ImitationQuestionSettings::CaptureRhythm);
    map.remove("captureType");
    engine->setSettingsMap(map);
    EXPECT_TRUE(LogCapture::instance().contains("invalid attribute \"captureType\""));
    EXPECT_EQ(AssertRecorder::expressions(), QStringList{"success"});
}

// The expected notes are replaced under the detector's processing lock, never beside a pass.
TEST_F(EngineTimelineTest, ExpectedNotesWaitForTheDetectorsPass)
{
    setUp("[ c1/4 d ]", "[ c1/4 d ]", settings(ImitationQuestionSettings::CapturePitch));
    PitchDetector* detector = NoteInputManager::getInstance()->mp_micSource->mp_detector;
    {
        std::lock_guard<std::mutex> processing(detector->mp_thread->processingMutex());
        detector->m_expectedNotes.clear();
    }
    std::atomic<bool> holding{false};
    int sizeWhileHeld = -1;
    std::thread pass([&] {
        std::lock_guard<std::mutex> processing(detector->mp_thread->processingMutex());
        holding = true;
        QThread::msleep(300);  // the engine lays its timeline out meanwhile
        sizeWhileHeld = detector->m_expectedNotes.size();
    });
    while (!holding)
        QThread::usleep(100);
    QSignalSpy finished(engine.get(), &ImitationQuestionEngine::finished);
    engine->start();
    EXPECT_TRUE(finished.wait(20000));
    pass.join();
    EXPECT_EQ(sizeWhileHeld, 0);
    EXPECT_EQ(detector->m_expectedNotes.size(), 2);
}

}  // namespace
