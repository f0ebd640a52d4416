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
#include <atomic>
#include <cmath>
#include <random>
#include <utility>

namespace {

const QString kQuestion = "[ \\meter<\"4/4\"> c1/4 d e g ]";
const int kMidi[] = {60, 62, 64, 67};
const double kStarts[] = {0.0, 0.6, 1.2, 1.8};

class RealTimeExerciseTest : public ExerciseTest {
protected:
    void SetUp() override { useDevice("default", "PULSE_SERVER"); }
};

// The offsets the evaluator graded for pitch or rhythm (seconds from the first note), from its log lines.
QList<double> gradedOffsets(const QString& kind = QStringLiteral("pitch"))
{
    QList<double> out;
    const QRegularExpression re("-> " + kind + " +offset:(-?[0-9.]+)");
    for (const QString& line : LogCapture::instance().linesContaining("offset:")) {
        const QRegularExpressionMatch m = re.match(line);
        if (m.hasMatch())
            out << m.captured(1).toDouble();
    }
    return out;
}

// The start of each sound louder than `level` after at least 50 ms below it, in seconds.
QList<double> onsets(const QVector<short>& samples, int level = 1000)
{
    QList<double> out;
    int quiet = 2205;
    for (int i = 0; i < samples.size(); ++i) {
        if (std::abs(samples[i]) > level) {
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
// region like sung notes, however late the main thread started the input: each graded clap at the
// moment it is heard in what the detector was given. The room is heard all along: noise that began
// with the capture would be an attack out of silence, heard or not as the player's start fell before
// or inside the input region. The players keep two seconds queued in the sound server, so one that a
// busy machine is slow to refill leaves no gap (an attack when the sound comes back). The claps'
// player is connected before the question and gets its samples when the capture begins; it may still
// start late on a busy machine, so the grades are checked against what the grading rules make of the
// claps where they were heard.
// The answer is heard to the capture end before it is graded: with the detector's worker held in its
// first grade until just after the capture end (a busy machine), the claps it had not reached count.
TEST_F(RealTimeExerciseTest, ClappedAnswersAreGradedForRhythm)
{
    const int P = Evaluator::PERFECT;
    const int W = Evaluator::WRONG;
    const struct {
        const char* name;
        QList<int> claps;  // notes clapped
        QList<int> outcomes;
        bool workerLagging;
    } rows[] = {
        {"in time", {0, 1, 2, 3}, {P, P, P, P}, false},
        {"third left out", {0, 1, 3}, {P, P, W, P}, false},
        {"room noise only", {}, {W, W, W, W}, false},
        {"in time, the worker lagging", {0, 1, 2, 3}, {P, P, P, P}, true},
    };
    const QStringList player = {"-p", "-d", "mic", "--raw", "--format=s16le", "--channels=1", "--rate=44100"};
    NoteInputManager* manager = NoteInputManager::getInstance();
    ExerciseDebugContext::setDebugMode(true);  // keeps what the detector was given
    std::mt19937 rng(11);
    std::normal_distribution<double> gauss(0.0, 1.0);
    auto pcm = [](const QVector<double>& v) {
        QByteArray bytes(v.size() * 2, Qt::Uninitialized);
        auto* out = reinterpret_cast<short*>(bytes.data());
        for (double x : v)
            *out++ = short(std::clamp(x, -1.0, 1.0) * 32767.0);
        return bytes;
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fresh(ImitationQuestionSettings::CaptureRhythm, kQuestion);
        manager->mp_clappingInput->setActiveSource(manager->mp_micSource);
        // Room noise at -45 dBFS throughout, a clap peaking near -8 dBFS on each clapped note.
        QVector<double> roomNoise(int(40.0 * 44100));
        for (double& v : roomNoise)
            v = 0.0056 * gauss(rng);
        QProcess roomPlayer;
        roomPlayer.start("pacat", player);
        ASSERT_TRUE(roomPlayer.waitForStarted());
        roomPlayer.write(pcm(roomNoise));
        roomPlayer.closeWriteChannel();
        QVector<double> clap(int(0.05 * 44100));
        for (int k = 0; k < clap.size(); ++k)
            clap[k] = 0.4 * gauss(rng) / 3.0 * std::exp(-k / (0.012 * 44100));
        // The take's lead is shortened by how far the stream is past the region's start by then.
        QProcess takePlayer;
        takePlayer.start("pacat", player);
        ASSERT_TRUE(takePlayer.waitForStarted());
        QObject::connect(engine.get(), &ImitationQuestionEngine::captureBegin, engine.get(), [&] {
            double regionStart = 0.0;
            for (const AudioMarkerRegion* r : engine->sequencer().markerRegions())
                if (r->target() == engine.get() && r->id() == ImitationQuestionEngine::MarkerCaptureBegin)
                    regionStart = r->position();
            const double late = engine->sequencer().playbackPosition() - regionStart;
            QVector<double> take(int(5.0 * 44100), 0.0);
            for (int note : row.claps) {
                const int a = int((2.0 - late + kStarts[note]) * 44100);
                for (int k = 0; k < clap.size(); ++k)
                    take[a + k] += clap[k];
            }
            takePlayer.write(pcm(take));
            takePlayer.closeWriteChannel();
        });
        std::atomic<bool> ended{false};
        bool held = false;  // the worker's
        QObject::connect(engine.get(), &ImitationQuestionEngine::captureEnd, engine.get(), [&] { ended = true; },
                         Qt::DirectConnection);
        QObject::connect(engine.get(), &ImitationQuestionEngine::started, engine.get(), [&] {
            if (row.workerLagging)
                QObject::connect(engine->evaluator(), &Evaluator::inputEvaluated, engine.get(), [&] {
                    if (std::exchange(held, true))
                        return;
                    while (!ended)
                        QThread::usleep(100);
                    QThread::msleep(200);
                }, Qt::DirectConnection);
        });
        double mark = -1.0;
        const QList<int> outcomes = run(&mark, 40000);
        EXPECT_EQ(held, row.workerLagging);
        for (QProcess* p : {&takePlayer, &roomPlayer}) {
            p->kill();
            p->waitForFinished();
        }
        EXPECT_EQ(engine->micSource(), manager->mp_micSource);

        // where each clap was heard, on the region's clock from the first note
        const double shift = engine->micSource()->clockShift();
        QList<double> heard;
        for (double t : onsets(AudioFixtures::readWavSamples(QDir::temp().filePath("zq_question_capture.wav")), 3000))
            heard << t + shift - ImitationQuestionEngine::kCaptureLead;
        const QList<double> graded = gradedOffsets("rhythm");
        auto seconds = [](const QList<double>& l) {
            QStringList out;
            for (double t : l)
                out << QString::number(t, 'f', 3);
            return out.join(' ').toStdString();
        };
        SCOPED_TRACE("heard " + seconds(heard) + "; graded " + seconds(graded));
        // The claps the grading rules take as they were heard: each one with the player in time. With
        // a player a third of a beat late or more each clap takes the next note, and the grading ends
        // at the last note, before the last clap.
        Evaluator rules(answerScore);
        rules.setMode(Evaluator::RhythmMode);
        rules.setRhythmThresholds(0.075, 0.15, 0.25);
        auto gradedNotes = [&rules] {
            const QList<Evaluator::EvaluationEntry> entries = rules.evaluationList();
            return std::count_if(entries.begin(), entries.end(),
                                 [](const Evaluator::EvaluationEntry& e) { return e.evaluated && !e.skipped; });
        };
        QList<double> taken;
        int fed = 0;
        for (double h : heard) {
            ++fed;
            const auto before = gradedNotes();
            const bool complete = rules.evaluate(Pitch::C, -1, h);
            if (gradedNotes() > before)
                taken << h;
            if (complete)
                break;
        }
        if (LogCapture::instance().contains("ended the stream by itself")) {
            // What the sound system lost is in neither the capture nor the answer: a clap lost whole is
            // not heard, one that lost its head may be graded from its tail. Each clap the rules take is
            // graded, and nothing more than was clapped.
            EXPECT_LE(graded.size(), row.claps.size());
            for (double h : taken)
                EXPECT_TRUE(std::any_of(graded.begin(), graded.end(), [h](double g) { return std::fabs(g - h) < 0.015; }))
                    << h;
            continue;
        }
        ASSERT_EQ(graded.size(), taken.size());  // nothing of the room's noise
        EXPECT_EQ(engine->noteInput()->inputCount(), fed);
        for (int i = 0; i < taken.size(); ++i)
            EXPECT_NEAR(graded[i], taken[i], 0.015) << "clap " << i;
        double playerLate = 0.0;
        for (int i = 0; i < heard.size() && i < row.claps.size(); ++i)
            playerLate = std::max(playerLate, std::fabs(heard[i] - kStarts[row.claps[i]]));
        std::printf("claps %s: mark %.3f, %d of %d heard, up to %.1f ms off the beat\n", row.name, mark,
                    int(heard.size()), int(row.claps.size()), playerLate * 1000.0);
        // every clap heard where it was meant to be (the player in time): graded as the row says
        if (heard.size() == row.claps.size() && playerLate < 0.05) {
            EXPECT_EQ(outcomes, row.outcomes);
            if (row.claps.size() == 4)
                EXPECT_GE(mark, 0.95);
            else
                EXPECT_DOUBLE_EQ(mark, row.claps.size() / 4.0);
        }
    }
    ExerciseDebugContext::setDebugMode(false);
    engine->micSource()->setCaptureFile(QString());
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
