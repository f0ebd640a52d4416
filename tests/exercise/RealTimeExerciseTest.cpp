// Whole exercises in real time through the private PulseAudio: answers played into the "mic" sink
// with paplay, key presses at moments of the stream, the main thread made 0.3 s late for the capture
// begin (where the question pass ends) on purpose.
#include "ExerciseFixture.h"

#include "audio/AudioFixtures.h"
#include "exercise/ExerciseDebugContext.h"
#include "exercise/ImitationQuestionSettings.h"
#include "pitch/SignalFactory.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

namespace {

const QString kQuestion = "[ \\meter<\"4/4\"> c1/4 d e g ]";
const int kMidi[] = {60, 62, 64, 67};
const double kStarts[] = {0.0, 0.6, 1.2, 1.8};

class RealTimeExerciseTest : public ExerciseTest {
protected:
    void SetUp() override { useDevice("default", "PULSE_SERVER"); }
};

// The offsets the evaluator graded for pitch (seconds from the first note), from its log lines.
QList<double> gradedOffsets()
{
    QList<double> out;
    const QRegularExpression re("-> pitch +offset:(-?[0-9.]+)");
    for (const QString& line : LogCapture::instance().linesContaining("offset:")) {
        const QRegularExpressionMatch m = re.match(line);
        if (m.hasMatch())
            out << m.captured(1).toDouble();
    }
    return out;
}

// The start of each sound after at least 50 ms of quiet, in seconds.
QList<double> onsets(const QVector<short>& samples)
{
    QList<double> out;
    int quiet = 2205;
    for (int i = 0; i < samples.size(); ++i) {
        if (std::abs(samples[i]) > 1000) {
            if (quiet >= 2205)
                out << i / 44100.0;
            quiet = 0;
        } else {
            ++quiet;
        }
    }
    return out;
}

// Sung answers, played into the microphone from the capture begin (2 s before the input): right on
// every note, or wrong by -1, +2 and +7 semitones on three of them. Notes are dated from the region,
// however late the main thread started the input.
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
    QTemporaryDir dir;
    ExerciseDebugContext::setDebugMode(true);  // keeps what the detector was given
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fresh(ImitationQuestionSettings::CapturePitch, kQuestion);
        std::vector<SignalFactory::Note> notes;
        for (int i = 0; i < 4; ++i)
            notes.push_back({kMidi[i] + row.semitones[i], 2.0 + kStarts[i], 0.5});
        QVector<short> samples;
        for (double v : SignalFactory::melody(notes, 5.0))
            samples << short(v * 32767.0);
        const QString wav = dir.filePath(QString("%1.wav").arg(row.name));
        ASSERT_TRUE(AudioFixtures::writeWav(wav, samples, 1, 44100));
        QObject::connect(engine.get(), &ImitationQuestionEngine::captureBegin,
                         [wav] { QProcess::startDetached("paplay", {"-d", "mic", wav}); });
        QObject::connect(engine.get(), &ImitationQuestionEngine::playbackEnd, [] { QThread::msleep(300); });
        double mark = -1.0;
        EXPECT_EQ(run(&mark, 40000), row.outcomes);
        EXPECT_DOUBLE_EQ(mark, row.mark);

        // graded offsets against the onsets in what the detector was given, on the region's clock
        const double shift = engine->micSource()->clockShift();
        EXPECT_GT(shift, 0.2);  // the samples before the late start were not given to the detector
        const QList<double> truth = onsets(AudioFixtures::readWavSamples(QDir::temp().filePath("zq_question_capture.wav")));
        const QList<double> graded = gradedOffsets();
        ASSERT_EQ(graded.size(), 4);
        ASSERT_GE(truth.size(), 4);
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(graded[i], truth[i] + shift - ImitationQuestionEngine::kCaptureLead, 0.1) << "note " << i;
    }
    ExerciseDebugContext::setDebugMode(false);
    engine->micSource()->setCaptureFile(QString());
}

// Key presses at stream moments just after each note's start: graded on the stream's clock, every
// one is on time although the main thread was late.
TEST_F(RealTimeExerciseTest, KeyPressesAreTimedOnTheStream)
{
    fresh(ImitationQuestionSettings::CaptureRhythm, kQuestion);
    QObject::connect(engine.get(), &ImitationQuestionEngine::playbackEnd, [] { QThread::msleep(300); });
    QObject::connect(engine.get(), &ImitationQuestionEngine::userInputBegin, engine.get(), [this] {
        double c = 0.0;  // where the learner's input begins on the timeline
        for (const AudioMarkerRegion* r : engine->sequencer().markerRegions())
            if (r->target() == engine.get() && r->id() == ImitationQuestionEngine::MarkerUserInputBegin)
                c = r->position();
        for (double start : kStarts) {
            while (engine->sequencer().playbackPosition() - c < start + 0.02)
                QThread::usleep(200);
            engine->handleKeyPress();
        }
    });
    double mark = -1.0;
    EXPECT_EQ(run(&mark, 40000), (QList<int>{Evaluator::PERFECT, Evaluator::PERFECT, Evaluator::PERFECT,
                                      Evaluator::PERFECT}));
    EXPECT_DOUBLE_EQ(mark, 1.0);
}

}  // namespace
