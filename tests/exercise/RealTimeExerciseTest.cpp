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

#include <algorithm>
#include <cmath>
#include <random>

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

// A rhythm answered by claps (noise bursts) into the microphone, the microphone being the clapping
// input's source: in time; with the third clap left out; room noise alone. Claps are dated from the
// region like sung notes, however late the main thread started the input. The room is heard all
// along: noise that began with the capture would be an attack out of silence, heard or not as the
// player's start fell before or inside the input region.
TEST_F(RealTimeExerciseTest, ClappedAnswersAreGradedForRhythm)
{
    const int P = Evaluator::PERFECT;
    const int W = Evaluator::WRONG;
    const struct {
        const char* name;
        QList<int> claps;  // notes clapped
        QList<int> outcomes;
        int inputs;
    } rows[] = {
        {"in time", {0, 1, 2, 3}, {P, P, P, P}, 4},
        {"third left out", {0, 1, 3}, {P, P, W, P}, 3},
        {"room noise only", {}, {W, W, W, W}, 0},
    };
    NoteInputManager* manager = NoteInputManager::getInstance();
    QTemporaryDir dir;
    std::mt19937 rng(11);
    std::normal_distribution<double> gauss(0.0, 1.0);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fresh(ImitationQuestionSettings::CaptureRhythm, kQuestion);
        manager->mp_clappingInput->setActiveSource(manager->mp_micSource);
        // Room noise at -45 dBFS throughout, a clap peaking near -8 dBFS on each clapped note. The take
        // is written when the capture begins, its lead shortened by how far the stream is past the
        // region's start by then, so the claps reach the microphone in time.
        QVector<short> roomNoise(int(40.0 * 44100));
        for (short& v : roomNoise)
            v = short(std::clamp(0.0056 * gauss(rng), -1.0, 1.0) * 32767.0);
        const QString room = dir.filePath(QString("room %1.wav").arg(row.name));
        ASSERT_TRUE(AudioFixtures::writeWav(room, roomNoise, 1, 44100));
        QProcess roomPlayer;
        roomPlayer.start("paplay", {"--latency-msec=10", "-d", "mic", room});
        ASSERT_TRUE(roomPlayer.waitForStarted());
        const QString wav = dir.filePath(QString("claps %1.wav").arg(row.name));
        QObject::connect(engine.get(), &ImitationQuestionEngine::captureBegin, engine.get(), [&] {
            double regionStart = 0.0;
            for (const AudioMarkerRegion* r : engine->sequencer().markerRegions())
                if (r->target() == engine.get() && r->id() == ImitationQuestionEngine::MarkerCaptureBegin)
                    regionStart = r->position();
            const double late = engine->sequencer().playbackPosition() - regionStart;
            QVector<double> take(int(5.0 * 44100), 0.0);
            for (int note : row.claps) {
                const int a = int((2.0 - late + kStarts[note]) * 44100);
                for (int k = 0; k < int(0.05 * 44100); ++k)
                    take[a + k] += 0.4 * gauss(rng) / 3.0 * std::exp(-k / (0.012 * 44100));
            }
            QVector<short> samples;
            for (double v : take)
                samples << short(std::clamp(v, -1.0, 1.0) * 32767.0);
            ASSERT_TRUE(AudioFixtures::writeWav(wav, samples, 1, 44100));
            QProcess::startDetached("paplay", {"--latency-msec=10", "-d", "mic", wav});
        });
        double mark = -1.0;
        EXPECT_EQ(run(&mark, 40000), row.outcomes);
        EXPECT_EQ(engine->noteInput()->inputCount(), row.inputs);
        double worst = 0.0;
        for (const Evaluator::EvaluationEntry& e : engine->evaluator()->evaluationList())
            if (e.evaluated && !e.skipped)
                worst = std::max(worst, std::fabs(e.timing));
        std::printf("claps %s: mark %.3f, worst timing error %.1f ms\n", row.name, mark, worst * 1000.0);
        EXPECT_EQ(engine->micSource(), manager->mp_micSource);
        if (row.inputs == 4)
            EXPECT_GE(mark, 0.95);
        else
            EXPECT_DOUBLE_EQ(mark, row.inputs / 4.0);
        QTest::qWait(500);  // paplay has played the take out
        roomPlayer.kill();
        roomPlayer.waitForFinished();
    }
    manager->mp_clappingInput->setActiveSource(manager->mp_keyboardSource);
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
