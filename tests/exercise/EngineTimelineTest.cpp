// The exercise timeline as laid out on the engine's sequencer and read back through its accessors,
// the expected notes handed to the detector, and the engine's choice of mode and input.
#include "ExerciseFixture.h"

#include "audio/AudioInputRegion.h"
#include "exercise/ImitationQuestionSettings.h"
#include "pitch/DetectorThread.h"

#include <QThread>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace {

using Markers = QList<QPair<int, double>>;

QString number(double value)
{
    return QString::number(value, 'g', 6);
}
// In time order; markers at one time (to the digits shown: one may be laid an ulp before the other) by id.
QStringList texts(Markers markers)
{
    std::sort(markers.begin(), markers.end(), [](const QPair<int, double>& a, const QPair<int, double>& b) {
        return qMakePair(number(a.second).toDouble(), a.first) < qMakePair(number(b.second).toDouble(), b.first);
    });
    QStringList out;
    for (const auto& m : markers)
        out << QString("%1@%2").arg(m.first).arg(number(m.second));
    return out;
}
double positionOf(const Markers& markers, int id)
{
    for (const auto& m : markers)
        if (m.first == id)
            return m.second;
    return -1.0;
}

class EngineTimelineTest : public ExerciseTest {};

// Each capture type's timeline. Markers are given from two reference points read back: p, where the
// question pass ends (with the question's sound, the score and its release), and c, where the
// learner's input begins.
TEST_F(EngineTimelineTest, TimelinesOfTheThreeCaptureTypes)
{
    const QString plain = "[ \\meter<\"4/4\"> c1/4 d e f ]";
    const QString compound = "[ \\meter<\"6/8\"> c1/8 d e f g a ]";
    struct Row {
        const char* name;
        int type;
        bool countIns, mic;
        QString question, answer;
        double scoreEnd;
        std::function<Markers(double p, double c)> markers;
        double inputLength;  // 0: a silence instead of an input region
        int mode;
        NoteInput* input;
        QStringList expected;  // the detector's expected notes; empty: left as they were
    };
    NoteInputManager* m = NoteInputManager::getInstance();
    PitchDetector* detector = m->mp_micSource->mp_detector;
    const auto rhythm = [](double p, double) {
        return Markers{{1000, 2.0}, {1001, p}, {1003, p}, {1002, p + 1.0}, {1004, p + 2.0}, {1005, p + 4.4}, {1006, p + 4.7}};
    };
    const Row rows[] = {
        // the worked example, D = 2.4 s: the keyboard gets a silence, the microphone an input region
        {"rhythm, keyboard", 1, false, false, plain, plain, 4.4, rhythm, 0.0, Evaluator::RhythmMode, m->mp_clappingInput, {}},
        {"rhythm, microphone", 1, false, true, plain, plain, 4.4, rhythm, 4.7, Evaluator::RhythmMode, m->mp_clappingInput, {}},
        // four count-in beats 0.6 s apart before each pass; a window of max(10, 2D); the rest counts
        {"pitch, count-ins", 2, true, true, plain, "[ \\meter<\"4/4\"> c1/4 _ e g ]", 6.8,
         [](double p, double c) { return Markers{{1, 2.0}, {2, 2.6}, {3, 3.2}, {4, 3.8}, {1000, 4.4}, {1001, p},
                                                 {1002, p + 1.0}, {1, p + 2.0}, {1003, c - 2.0}, {2, p + 2.6},
                                                 {3, p + 3.2}, {4, p + 3.8}, {1004, c}, {1005, c + 10.0},
                                                 {1006, c + 10.0}}; },
         10.0, Evaluator::PitchMode, m->mp_singingInput, {"C4@2", "E4@3.2", "G4@3.8"}},
        // rhythm and pitch drops the count-ins it was given
        {"rhythm and pitch", 3, true, true, compound, compound, 3.8,
         [](double p, double c) { return Markers{{1000, 2.0}, {1001, p}, {1003, p}, {1002, p + 1.0}, {1004, c},
                                                 {1005, c + 10.0}, {1006, c + 10.0}}; },
         10.0, Evaluator::PitchMode, m->mp_playingInput, {"C4@2", "D4@2.3", "E4@2.6", "F4@2.9", "G4@3.2", "A4@3.5"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        engine.reset(new ImitationQuestionEngine());
        m->mp_clappingInput->setActiveSource(row.mic ? static_cast<NoteInputSource*>(m->mp_micSource)
                                                     : static_cast<NoteInputSource*>(m->mp_keyboardSource));
        setUp(row.question, row.answer, settings(row.type, row.countIns));
        // the expected notes are replaced under the detector's processing lock, never beside a pass
        std::atomic<bool> holding{false};
        int sizeWhileHeld = -1;
        std::thread pass([&] {
            std::lock_guard<std::mutex> processing(detector->mp_thread->processingMutex());
            detector->m_expectedNotes.clear();
            holding = true;
            QThread::msleep(300);  // the engine lays its timeline out meanwhile
            sizeWhileHeld = detector->m_expectedNotes.size();
        });
        while (!holding)
            QThread::usleep(100);
        // read back when the stream has started, before anything resets it
        Markers markers;
        QStringList inputs, expected;
        double duration = 0.0, soundEnd = -1.0;
        QMetaObject::Connection started = QObject::connect(&engine->sequencer(), &AudioSequencer::started, [&] {
            for (const AudioMarkerRegion* r : engine->sequencer().markerRegions())
                if (r->target() == engine.get())
                    markers << qMakePair(r->id(), r->position());
            for (const AudioInputRegion* r : engine->sequencer().inputRegions())
                inputs << number(r->position()) + "+" + number(r->duration());
            duration = engine->sequencer().duration();
            for (const AudioOutputRegion* r : engine->sequencer().outputRegions())
                soundEnd = r->ownsBuffer() && soundEnd < 0 ? r->position() + r->duration() : soundEnd;
            for (const PitchDetector::NoteInfo& n : detector->m_expectedNotes)
                expected << Pitch::noteToStr(n.note) + QString::number(n.octave) + "@" + number(n.offset);
        });
        run();
        QObject::disconnect(started);
        pass.join();
        EXPECT_EQ(sizeWhileHeld, 0);

        const double p = positionOf(markers, 1001);
        const double c = positionOf(markers, 1004);
        EXPECT_NEAR(p, soundEnd, 1e-9);  // the pass ends with the question's sound
        EXPECT_GT(soundEnd, row.scoreEnd);
        EXPECT_EQ(texts(markers), texts(row.markers(p, c)));
        EXPECT_NEAR(duration, positionOf(markers, 1006) + 0.1, 1e-9);  // with the sequencer's tail
        EXPECT_EQ(inputs, row.inputLength > 0 ? QStringList{number(c - 2.0) + "+" + number(row.inputLength)} : QStringList());
        EXPECT_EQ(engine->evaluator()->mode(), row.mode);
        EXPECT_EQ(engine->noteInput(), row.input);
        EXPECT_EQ(expected, row.expected);
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
    engine->start();
    EXPECT_TRUE(LogCapture::instance().contains("not enough properties set to initialize"));
    engine->setAnswerScore(&questionScore);
    engine->start();
    EXPECT_EQ(AssertRecorder::expressions(), QStringList{"0"});
    EXPECT_EQ(engine->evaluator(), nullptr);

    engine->setSettingsMap(settings(ImitationQuestionSettings::CaptureRhythm));
    EXPECT_EQ(run().size(), 2);
    EXPECT_EQ(requested.count(), 1);

    // a question whose meter the analysis refused has no measures: nothing is laid out
    AssertRecorder::clear();
    ASSERT_TRUE(questionScore.setGMNCode("[ \\meter<\"C\"> e f g a ]"));
    ASSERT_TRUE(questionScore.measureInfoList().isEmpty());
    engine->start();
    EXPECT_EQ(AssertRecorder::expressions(), QStringList{"!mp_questionScore->measureInfoList().isEmpty()"});
    EXPECT_TRUE(engine->sequencer().markerRegions().isEmpty());
}

}  // namespace
