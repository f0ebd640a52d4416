// Whole exercises in real time through the private PulseAudio: answers played into the "mic" sink
// with paplay, key presses at moments of the stream, the main thread made late on purpose.
#include "ExerciseFixture.h"
#include "SungAnswer.h"

#include "audio/AudioFixtures.h"

#include "exercise/ExerciseDebugContext.h"
#include "exercise/ImitationQuestionSettings.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <cstdio>

namespace {

const QString kQuestion = "[ \\meter<\"4/4\"> c1/4 d e g ]";
const double kStarts[] = {0.0, 0.6, 1.2, 1.8};
const double kHz[] = {261.63, 293.66, 329.63, 392.0};
// Taps come this long after each note's start, well inside PERFECT.
const double kTapLag = 0.02;

class RealTimeExerciseTest : public ExerciseTest {
protected:
    void SetUp() override
    {
        if (!std::getenv("PULSE_SERVER") || !Audio::outputDeviceList().contains("default"))
            GTEST_SKIP() << "needs the private PulseAudio of scripts/test-env.sh";
        Audio::setOutputDevice("default");
        Audio::setInputDevice("default");
        AssertRecorder::clear();
        LogCapture::instance().clear();
        engine.reset(new ImitationQuestionEngine());
    }
    // Plays the answer into the microphone when the capture begins (2 s before the input).
    void feedAtCaptureBegin(const QString& wav)
    {
        QObject::connect(engine.get(), &ImitationQuestionEngine::captureBegin, engine.get(), [wav] {
            QProcess::startDetached("paplay", {"-d", "mic", wav});
        });
    }
    // The capture begin lies where the question pass ends: hold the main thread there for 0.3 s.
    void makeCaptureBeginLate()
    {
        QObject::connect(engine.get(), &ImitationQuestionEngine::playbackEnd, engine.get(),
                         [] { QThread::msleep(300); });
    }
    // The offsets the evaluator graded (seconds from the first note), from its log lines.
    static QList<double> gradedOffsets(const char* kind)
    {
        QList<double> out;
        const QRegularExpression re(QStringLiteral("-> %1 +offset:(-?[0-9.]+)").arg(kind));
        for (const QString& line : LogCapture::instance().linesContaining("offset:")) {
            const QRegularExpressionMatch m = re.match(line);
            if (m.hasMatch())
                out << m.captured(1).toDouble();
        }
        return out;
    }
    static void report(const char* what, const QList<double>& errors)
    {
        double sum = 0.0, worst = 0.0;
        for (double e : errors) {
            sum += std::fabs(e);
            worst = std::max(worst, std::fabs(e));
        }
        std::printf("[ timing   ] %s: %d inputs, mean %.1f ms, worst %.1f ms\n", what, int(errors.size()),
                    errors.isEmpty() ? 0.0 : 1000.0 * sum / errors.size(), 1000.0 * worst);
    }
    QTemporaryDir dir;
};

// Sung answers: right on every note, or wrong by -1, +2 and +7 semitones on three of them. The
// main thread is made 0.3 s late for the capture begin; notes are still dated from the region.
TEST_F(RealTimeExerciseTest, SungAnswersAreGradedNoteByNote)
{
    const struct {
        const char* name;
        int semitones[4];
        QList<int> outcomes;
        double mark;
    } rows[] = {
        {"right", {0, 0, 0, 0}, {Evaluator::PERFECT, Evaluator::PERFECT, Evaluator::PERFECT, Evaluator::PERFECT}, 1.0},
        {"wrong", {-1, 0, 2, 7}, {Evaluator::LOW, Evaluator::PERFECT, Evaluator::VERY_HIGH, Evaluator::WRONG}, 0.5625},
    };
    QList<double> errors;
    ExerciseDebugContext::setDebugMode(true);  // keeps what the detector was given
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fresh(ImitationQuestionSettings::CapturePitch, kQuestion);
        QList<SungAnswer::Note> notes;
        for (int i = 0; i < 4; ++i)
            notes << SungAnswer::Note{2.0 + kStarts[i], 0.5, kHz[i] * std::pow(2.0, row.semitones[i] / 12.0)};
        const QString wav = dir.filePath(QString("%1.wav").arg(row.name));
        ASSERT_TRUE(AudioFixtures::writeWav(wav, SungAnswer::voice(notes, 5.0), 1, 44100));
        feedAtCaptureBegin(wav);
        makeCaptureBeginLate();
        double mark = -1.0;
        EXPECT_EQ(run(&mark, 40000), row.outcomes);
        EXPECT_DOUBLE_EQ(mark, row.mark);

        // Graded offsets against the onsets in what the detector was given, on the region's clock.
        const double shift = engine->micSource()->clockShift();
        EXPECT_GT(shift, 0.2);  // the samples before the late start were not given to the detector
        const QList<double> truth =
            SungAnswer::onsets(AudioFixtures::readWavSamples(QDir::temp().filePath("zq_question_capture.wav")));
        const QList<double> graded = gradedOffsets("pitch");
        ASSERT_EQ(graded.size(), 4);
        ASSERT_GE(truth.size(), 4);
        for (int i = 0; i < 4; ++i) {
            const double onset = truth[i] + shift - ImitationQuestionEngine::kCaptureLead;
            EXPECT_NEAR(graded[i], onset, 0.1) << "note " << i;
            errors << graded[i] - onset;
        }
    }
    ExerciseDebugContext::setDebugMode(false);
    engine->micSource()->setCaptureFile(QString());
    report("microphone, sung notes", errors);
}

// Key presses at stream moments of the first notes, with the main thread 0.3 s late for the
// capture begin: graded on the stream's clock, every one is on time.
TEST_F(RealTimeExerciseTest, KeyPressesAreTimedOnTheStream)
{
    fresh(ImitationQuestionSettings::CaptureRhythm, kQuestion);
    NoteInputManager* m = NoteInputManager::getInstance();
    m->mp_clappingInput->setActiveSource(m->mp_keyboardSource);
    makeCaptureBeginLate();
    QObject::connect(engine.get(), &ImitationQuestionEngine::userInputBegin, engine.get(), [this] {
        double c = 0.0;  // where the learner's input begins on the timeline
        for (const AudioMarkerRegion* r : engine->sequencer().markerRegions())
            if (r->target() == engine.get() && r->id() == ImitationQuestionEngine::MarkerUserInputBegin)
                c = r->position();
        for (double start : kStarts) {
            while (engine->sequencer().playbackPosition() - c < start + kTapLag)
                QThread::usleep(200);
            engine->handleKeyPress();
        }
    });
    double mark = -1.0;
    EXPECT_EQ(run(&mark, 40000), (QList<int>{Evaluator::PERFECT, Evaluator::PERFECT, Evaluator::PERFECT,
                                      Evaluator::PERFECT}));
    EXPECT_DOUBLE_EQ(mark, 1.0);
    QList<double> errors;
    const QList<double> graded = gradedOffsets("rhythm");
    for (int i = 0; i < graded.size() && i < 4; ++i)
        errors << graded[i] - (kStarts[i] + kTapLag);
    report("keyboard, taps on the stream", errors);
}

}  // namespace
