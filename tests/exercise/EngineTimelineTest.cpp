// The exercise timeline as laid out on the engine's sequencer and read back through its accessors,
// the expected notes handed to the detector, and the engine's choice of mode and input.
#include "ExerciseFixture.h"

#include "exercise/ImitationQuestionSettings.h"
#include "exercise/MicNoteInputSource.h"
#include "pitch/DetectorThread.h"

#include <QThread>

#include <atomic>
#include <functional>
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

// Each capture type's timeline. Markers are given from two reference points read back: p, where the
// question pass ends (the score's own length), and c, where the learner's input begins.
TEST_F(EngineTimelineTest, TimelinesOfTheThreeCaptureTypes)
{
    const QString plain = "[ \\meter<\"4/4\"> c1/4 d e f ]";
    const QString withRest = "[ \\meter<\"4/4\"> c1/4 _ e g ]";
    const QString compound = "[ \\meter<\"6/8\"> c1/8 d e f g a ]";
    struct Row {
        const char* name;
        int type;
        bool countIns, mic;
        QString question, answer;
        double passEnd;
        std::function<Markers(double p, double c)> markers;
        double inputLength;  // 0: a silence instead of an input region
        int mode;
        NoteInput* input;
        QList<double> expectedOffsets;  // for the detector; empty: left as it was
    };
    NoteInputManager* m = NoteInputManager::getInstance();
    const auto rhythm = [](double p, double) {
        return Markers{{1000, 2.0}, {1001, p}, {1003, p}, {1002, p + 1.0}, {1004, p + 2.0}, {1005, p + 4.4}, {1006, p + 4.7}};
    };
    const Row rows[] = {
        // the worked example, D = 2.4 s: the keyboard gets a silence, the microphone an input region
        {"rhythm, keyboard", 1, false, false, plain, plain, 4.4, rhythm, 0.0, Evaluator::RhythmMode, m->mp_clappingInput, {}},
        {"rhythm, microphone", 1, false, true, plain, plain, 4.4, rhythm, 4.7, Evaluator::RhythmMode, m->mp_clappingInput, {}},
        // four count-in beats 0.6 s apart before each pass; a window of max(10, 2D); the rest counts
        {"pitch, count-ins", 2, true, true, plain, withRest, 6.8,
         [](double p, double c) { return Markers{{1, 2.0}, {2, 2.6}, {3, 3.2}, {4, 3.8}, {1000, 4.4}, {1001, p},
                                                 {1002, p + 1.0}, {1, p + 2.0}, {1003, c - 2.0}, {2, p + 2.6},
                                                 {3, p + 3.2}, {4, p + 3.8}, {1004, c}, {1005, c + 10.0},
                                                 {1006, c + 10.0}}; },
         10.0, Evaluator::PitchMode, m->mp_singingInput, {2.0, 3.2, 3.8}},
        // rhythm and pitch drops the count-ins it was given
        {"rhythm and pitch", 3, true, true, compound, compound, 3.8,
         [](double p, double c) { return Markers{{1000, 2.0}, {1001, p}, {1003, p}, {1002, p + 1.0}, {1004, c},
                                                 {1005, c + 10.0}, {1006, c + 10.0}}; },
         10.0, Evaluator::PitchMode, m->mp_playingInput, {2.0, 2.3, 2.6, 2.9, 3.2, 3.5}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        engine.reset(new ImitationQuestionEngine());
        m->mp_clappingInput->setActiveSource(row.mic ? static_cast<NoteInputSource*>(m->mp_micSource)
                                                     : static_cast<NoteInputSource*>(m->mp_keyboardSource));
        {
            std::lock_guard<std::mutex> processing(m->mp_micSource->mp_detector->mp_thread->processingMutex());
            m->mp_micSource->mp_detector->m_expectedNotes.clear();
        }
        LogCapture::instance().clear();
        setUp(row.question, row.answer, settings(row.type, row.countIns));
        const TimelineSnapshot shot = startAndReadTimeline();
        const double p = shot.marker(1001);
        const double c = shot.marker(1004);
        EXPECT_NEAR(p, row.passEnd, 0.05);  // the pass ends with the score
        expectMarkers(shot, row.markers(p, c));
        EXPECT_NEAR(shot.duration, shot.marker(1006) + 0.1, 1e-9);  // with the sequencer's tail
        if (row.inputLength > 0.0) {
            ASSERT_EQ(shot.inputs.size(), 1);
            EXPECT_NEAR(shot.inputs[0].first, c - 2.0, 1e-9);
            EXPECT_NEAR(shot.inputs[0].second, row.inputLength, 1e-9);
        } else {
            EXPECT_TRUE(shot.inputs.isEmpty());
        }
        EXPECT_EQ(engine->evaluator()->mode(), row.mode);
        EXPECT_EQ(engine->noteInput(), row.input);
        ASSERT_EQ(shot.expected.size(), row.expectedOffsets.size());
        for (int i = 0; i < shot.expected.size(); ++i)
            EXPECT_NEAR(shot.expected[i].offset, row.expectedOffsets[i], 1e-9) << "expected note " << i;
        if (row.type == ImitationQuestionSettings::CapturePitch) {
            // C4 E4 G4, logged with their index among all records: the rest counts
            EXPECT_EQ(shot.expected[1].note, Pitch::E);
            EXPECT_EQ(shot.expected[1].octave, 4);
            const QStringList lines = LogCapture::instance().linesContaining("expected note ");
            ASSERT_EQ(lines.size(), 3);
            EXPECT_TRUE(lines[1].contains("expected note 2\tE\t3.2")) << qPrintable(lines[1]);
        }
    }
}

// Refused starts: a missing score (a later start runs), an unknown capture type (its assertion
// kept, nothing started).
TEST_F(EngineTimelineTest, StartsThatCannotRun)
{
    ASSERT_TRUE(questionScore.setGMNCode("[ c1/4 d ]"));
    engine->setQuestionScore(&questionScore);
    engine->setSettingsMap(settings(7));
    QSignalSpy requested(engine.get(), &ImitationQuestionEngine::startRequested);
    EXPECT_EQ(engine->start(), 0);
    EXPECT_TRUE(LogCapture::instance().contains("not enough properties set to initialize"));
    engine->setAnswerScore(&questionScore);
    EXPECT_EQ(engine->start(), 0);
    EXPECT_EQ(AssertRecorder::expressions(), QStringList{"0"});
    EXPECT_FALSE(engine->isInitialized());
    EXPECT_EQ(engine->evaluator(), nullptr);

    engine->setSettingsMap(settings(ImitationQuestionSettings::CaptureRhythm));
    EXPECT_EQ(run().size(), 2);
    EXPECT_EQ(requested.count(), 1);
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
    run();
    pass.join();
    EXPECT_EQ(sizeWhileHeld, 0);
    EXPECT_EQ(detector->m_expectedNotes.size(), 2);
}

}  // namespace
