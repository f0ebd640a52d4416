// Pitch and onset benchmark: renders its own melodies and takes the generators' (sung as written
// and sung otherwise), runs the standard detector on them as the microphone would feed it, grades
// sung takes as the exercise engine does, runs aubio's command-line tools on its own WAV files, and
// prints note accuracy, false credit, gross pitch error, onset precision/recall/F at +-50 ms, mean
// onset offset and analysis cost.
#include "BenchMetrics.h"
#include "BenchSampledVoice.h"
#include "BenchSignals.h"
#include "BenchSinging.h"
#include "BenchVoiceTakes.h"
#include "debug/Debugging.h"
#include "exercise/Evaluator.h"
#include "exercise/ImitationQuestionEngine.h"
#include "pitch/DyWaPitchTracker.h"
#include "pitch/PitchDetector.h"
#include "pitch/PitchListener.h"
#include "pitch/StandardPitchAssembly.h"
#include "pitch/WaveletStrategy.h"
#include "pitch/onset/HarmonicSpread.h"
#include "pitch/onset/PeakAmpDifferenceODF.h"
#include "pitch/onset/RTOnsetDetection.h"
#include "pitch/onset/RoomFloor.h"
#include "score/Score.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QProcess>
#include <QStandardPaths>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <random>

namespace {

struct Source {
    const char* name;
    int program; // -1 sine, -2 harmonic
};

const Source kSources[] = {{"sine", -1},   {"harmonic", -2}, {"choir", 52},    {"voice", 53},
                           {"flute", 73},  {"violin", 40},   {"clarinet", 71}, {"piano", 0}};
const double kNoises[] = {0.0, -65.0, -45.0};

class Collector : public PitchListener {
public:
    void newNote(const PitchDetector::NoteInfo& note) override
    {
        QMutexLocker locker(&mutex);
        notes.push_back({note.offset, note.note == Pitch::NONE ? 0 : Pitch::midiNote(note.note, note.octave)});
    }
    void newOnset(const PitchDetector::OnsetInfo& onset) override
    {
        QMutexLocker locker(&mutex);
        onsets.push_back(onset.time);
        rises.push_back(onset.rise);
    }
    QMutex mutex;
    std::vector<BenchMetrics::DetectedNote> notes;
    std::vector<double> onsets;
    std::vector<double> rises; // each onset's rise in level; 0 for a legato step
};

double cpuSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

double childCpuSeconds()
{
    rusage usage;
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec * 1e-6;
}

void feed(PitchDetector* detector, const std::vector<qint16>& pcm)
{
    for (qint16 s : pcm)
        detector->addSample(static_cast<short>(s));
    // The input ends as the microphone source ends it, and the exercise waits for all of it.
    detector->endInput();
    detector->waitForInputEnd(std::chrono::milliseconds(3000));
}

struct OurResult {
    std::vector<BenchMetrics::DetectedNote> notes;
    std::vector<double> onsets;
    std::vector<double> rises;
    std::vector<double> tiedOnsets;
    std::vector<BenchMetrics::Frame> frames;
    double cpu = 0.0;
};

// The wavelet tracker alone, without onsets or the chain: one estimate per 1024 samples.
QVector<PitchDetector::NoteInfo> rawTrack(const std::vector<qint16>& pcm)
{
    WaveletStrategy wavelet; // outlives the detector's worker
    PitchDetector raw;
    raw.mp_pitchDetectionStrategy = &wavelet;
    raw.m_blockSize = 2048;
    raw.m_subBlockCount = 2;
    raw.start();
    feed(&raw, pcm);
    return raw.m_notes;
}

QList<PitchDetector::NoteInfo> expectedFrom(const std::vector<BenchSignals::Note>& truth)
{
    QList<PitchDetector::NoteInfo> list;
    for (const BenchSignals::Note& n : truth) {
        PitchDetector::NoteInfo expected;
        expected.note = static_cast<Pitch::Note>(n.midi % 12);
        expected.octave = n.midi / 12 - 1;
        expected.offset = n.start;
        list.append(expected);
    }
    return list;
}

OurResult runOurs(const std::vector<qint16>& pcm, const QList<PitchDetector::NoteInfo>& expected, bool withFrames = true)
{
    OurResult result;
    {
        StandardPitchAssembly assembly;
        PitchDetector* detector = assembly.detector();
        Collector collector;
        detector->m_expectedNotes = expected;
        detector->mp_listener = &collector;
        if (!qgetenv("PITCH_BENCH_TRACE").isEmpty())
            detector->m_debugFlags = PitchDetector::LogResults | PitchDetector::LogVerdicts;
        detector->start();
        const double before = cpuSeconds();
        feed(detector, pcm);
        result.cpu = cpuSeconds() - before;
        detector->mp_listener = nullptr;
        result.notes = collector.notes;
        result.onsets = collector.onsets;
        result.rises = collector.rises;
        for (const PitchDetector::OnsetInfo& onset : detector->m_onsets) {
            if (onset.noteInfo.note != Pitch::NONE)
                result.tiedOnsets.push_back(onset.time);
        }
    }
    // The raw tracker alone, one estimate per 1024 samples, for the per-frame scores.
    if (!withFrames)
        return result;
    for (const PitchDetector::NoteInfo& n : rawTrack(pcm))
        result.frames.push_back({n.offset + 512.0 / 44100.0, n.frequency});
    return result;
}

struct AubioResult {
    bool ok = false;
    std::vector<BenchMetrics::Frame> frames;
    std::vector<double> hfc;
    std::vector<double> complex;
    double cpuPitch = 0.0;
    double cpuOnset = 0.0;
};

QStringList runTool(const QString& program, const QStringList& arguments, double& cpu)
{
    const double before = childCpuSeconds();
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        return {};
    cpu += childCpuSeconds() - before;
    return QString::fromLocal8Bit(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

AubioResult runAubio(const QString& wav)
{
    AubioResult result;
    if (QStandardPaths::findExecutable("aubiopitch").isEmpty())
        return result;
    for (const QString& line : runTool("aubiopitch", {"-p", "yin", "-i", wav}, result.cpuPitch)) {
        const QStringList parts = line.simplified().split(' ');
        if (parts.size() >= 2)
            result.frames.push_back({parts[0].toDouble(), parts[1].toDouble()});
    }
    for (const QString& line : runTool("aubioonset", {"-O", "hfc", "-i", wav}, result.cpuOnset))
        result.hfc.push_back(line.trimmed().toDouble());
    double ignored = 0.0;
    for (const QString& line : runTool("aubioonset", {"-O", "complex", "-i", wav}, ignored))
        result.complex.push_back(line.trimmed().toDouble());
    result.ok = !result.frames.empty();
    return result;
}

// Onsets found against the true attacks at +-50 ms (one to one), summed over files.
struct OnsetTally {
    double truth = 0, detected = 0, matched = 0, offsetSum = 0; // offsets in ms

    void add(const std::vector<double>& found, const std::vector<BenchSignals::Note>& notes)
    {
        const BenchMetrics::OnsetScore s = BenchMetrics::scoreOnsets(found, notes, 0.05);
        truth += notes.size();
        detected += found.size();
        matched += s.recall * notes.size();
        offsetSum += s.meanOffsetMs * s.recall * notes.size();
    }
    double precision() const { return detected > 0 ? matched / detected : 0.0; }
    double recall() const { return truth > 0 ? matched / truth : 0.0; }
    // precision/recall/F and the mean offset (found minus true) of the onsets matched
    QString text() const
    {
        const double p = precision(), r = recall();
        return QString::asprintf("%.2f/%.2f/%.2f %+4.0f", p, r, p + r > 0 ? 2 * p * r / (p + r) : 0.0,
                                 matched > 0 ? offsetSum / matched : 0.0);
    }
};

struct Tally {
    int truthNotes = 0;
    int ourNotes = 0, ourSegment = 0, aubioSegment = 0;
    double ourGpeFrames = 0, ourGpe = 0, aubioGpeFrames = 0, aubioGpe = 0;
    std::vector<double> ourCents, aubioCents;
    OnsetTally onsets[4]; // ours raw, ours tied, aubio hfc, aubio complex
    double audioSeconds = 0, ourCpu = 0, aubioPitchCpu = 0, aubioOnsetCpu = 0;
    bool aubio = false;

    void print(const char* label) const
    {
        auto median = [](std::vector<double> v) {
            if (v.empty())
                return 0.0;
            std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
            return v[v.size() / 2];
        };
        printf("| %-16s | %5.1f %% | %5.1f %% | %4.1f | %4.1f | %3d/%3d | %3d/%3d | %3d/%3d | %s | %s | %s | %s |"
               " %.2f %% | %.2f %% |\n",
               label, 100.0 * (ourGpeFrames > 0 ? ourGpe / ourGpeFrames : 0), 100.0 * (aubioGpeFrames > 0 ? aubioGpe / aubioGpeFrames : 0),
               median(ourCents), median(aubioCents), ourNotes, truthNotes, ourSegment, truthNotes, aubioSegment,
               truthNotes, qPrintable(onsets[0].text()), qPrintable(onsets[1].text()), qPrintable(onsets[2].text()),
               qPrintable(onsets[3].text()), 100.0 * ourCpu / audioSeconds, 100.0 * (aubioPitchCpu + aubioOnsetCpu) / audioSeconds);
    }
};

// The notes and onsets the detector reported, for a look at one take.
void printReported(const OurResult& ours)
{
    for (const BenchMetrics::DetectedNote& n : ours.notes)
        printf("  note %d at %.3f\n", n.midi, n.offset);
    for (size_t i = 0; i < ours.onsets.size(); ++i)
        printf("  onset %.3f %s %.1f\n", ours.onsets[i], ours.rises[i] > 0.0 ? "attack, rise" : "step", ours.rises[i]);
}

std::vector<qint16> toPcm(const std::vector<double>& samples)
{
    std::vector<qint16> pcm(samples.size());
    for (size_t i = 0; i < samples.size(); ++i)
        pcm[i] = static_cast<qint16>(std::lround(std::max(-1.0, std::min(1.0, samples[i])) * 32767.0));
    return pcm;
}

} // namespace

// Sung melodies and claps: the notes the detector reports are graded in sequence as the exercise
// engine grades a sung answer in pitch mode; onsets and note times are scored against the truth.
// A note counts "in time" when it is graded as the truth says and the note that graded it is dated
// within the evaluator's perfect rhythm window (75 ms), "near" within its slight one (150 ms).
struct NoteTally {
    int notes = 0, right = 0, inTime = 0, near = 0;

    void add(bool isRight, double errorSeconds, const Evaluator& evaluator)
    {
        ++notes;
        right += isRight ? 1 : 0;
        inTime += isRight && errorSeconds <= evaluator.rhythmPerfect() ? 1 : 0;
        near += isRight && errorSeconds <= evaluator.rhythmSlight() ? 1 : 0;
    }
    QString text() const
    {
        const double n = std::max(1, notes);
        return QString::asprintf("%4d/%4d %5.1f %% | %4d %5.1f %% | %4d %5.1f %%", right, notes, 100.0 * right / n, inTime,
                                 100.0 * inTime / n, near, 100.0 * near / n);
    }
};

struct SungTally {
    NoteTally graded;
    int reported = 0;
    std::vector<double> timeErrors; // |reported - true| start, ms, of notes reported in sequence
    OnsetTally onsets[3]; // ours raw, ours tied, aubio hfc
    double audioSeconds = 0, ourCpu = 0;
    bool pitched = true;
    bool room = false;

    void print(const QString& label) const
    {
        std::vector<double> errors = timeErrors;
        std::sort(errors.begin(), errors.end());
        auto at = [&errors](double q) { return errors.empty() ? 0.0 : errors[std::min(errors.size() - 1, static_cast<size_t>(q * errors.size()))]; };
        if (room)
            printf("| %-22s | - | - | - | %4d | %3.0f onsets | - | - | - | %.2f %% |\n", qPrintable(label), reported, onsets[0].detected,
                   100.0 * ourCpu / audioSeconds);
        else if (pitched)
            printf("| %-22s | %s | %4d | %s | %s | %s | %3.0f / %3.0f | %.2f %% |\n", qPrintable(label), qPrintable(graded.text()),
                   reported, qPrintable(onsets[0].text()), qPrintable(onsets[1].text()), qPrintable(onsets[2].text()), at(0.5),
                   at(0.9), 100.0 * ourCpu / audioSeconds);
        else
            printf("| %-22s | - | - | - | %4d | %s | - | %s | - | %.2f %% |\n", qPrintable(label), reported,
                   qPrintable(onsets[0].text()), qPrintable(onsets[2].text()), 100.0 * ourCpu / audioSeconds);
    }
};

// The grade the evaluator's default pitch thresholds give a note sung this many semitones off.
Evaluator::accuracy_e truthGrade(int semitones)
{
    if (semitones == 0)
        return Evaluator::PERFECT;
    if (semitones > 0)
        return semitones < 2 ? Evaluator::HIGH : semitones > 4 ? Evaluator::WRONG : Evaluator::VERY_HIGH;
    return semitones >= -2 ? Evaluator::LOW : semitones < -4 ? Evaluator::WRONG : Evaluator::VERY_LOW;
}

// The melody as the answer score's GMN, one token per note (the score's tempo is set apart).
QString scoreCode(const std::vector<int>& midis, const std::vector<int>& eighths)
{
    static const char* const names[12] = {"c", "c#", "d", "d#", "e", "f", "f#", "g", "g#", "a", "a#", "b"};
    static const char* const lengths[5] = {"", "/8", "/4", "/4.", "/2"};
    QStringList tokens;
    for (size_t i = 0; i < midis.size(); ++i)
        tokens << QString("%1%2%3").arg(names[midis[i] % 12]).arg(midis[i] / 12 - 4).arg(lengths[eighths[i]]);
    return QString("[ %1 ]").arg(tokens.join(' '));
}

// Grades the detector's notes as the exercise engine does with a sung answer in pitch mode: every
// reported note goes to the evaluator in order (2 s of capture lead); the pitch grade of each of
// the score's notes.
std::vector<Evaluator::accuracy_e> pitchGrades(Score& score, const std::vector<BenchMetrics::DetectedNote>& reported)
{
    Evaluator evaluator(score);
    evaluator.setMode(Evaluator::PitchMode);
    evaluator.reset();
    for (const BenchMetrics::DetectedNote& note : reported) {
        if (note.midi > 0 && evaluator.evaluate(Pitch::Note(note.midi % 12), note.midi / 12 - 1,
                                                note.offset - ImitationQuestionEngine::kCaptureLead))
            break;
    }
    evaluator.finalize();
    std::vector<Evaluator::accuracy_e> grades;
    for (const Evaluator::EvaluationEntry& entry : evaluator.evaluationList())
        grades.push_back(entry.pitch);
    return grades;
}

// Per note of the melody, whether it is graded as the truth (what was sung there) says.
std::vector<bool> gradedAsSung(Score& score, const std::vector<BenchSinging::Note>& truth,
                               const std::vector<BenchMetrics::DetectedNote>& reported)
{
    const std::vector<Evaluator::accuracy_e> grades = pitchGrades(score, reported);
    std::vector<bool> right;
    for (size_t i = 0; i < truth.size() && i < grades.size(); ++i)
        right.push_back(grades[i] == truthGrade(truth[i].sung - truth[i].expected));
    return right;
}

// The expected notes as the engine hands them to the detector, from the answer score's note list.
QList<PitchDetector::NoteInfo> expectedFromScore(const Score& score)
{
    QList<PitchDetector::NoteInfo> expected;
    for (const Score::NoteInfo& record : score.noteList()) {
        if (record.note == Pitch::NONE)
            continue;
        PitchDetector::NoteInfo info;
        info.note = Pitch::Note(record.note);
        info.octave = Pitch::gmnToMidiOctave(record.octave);
        info.offset = record.start() + ImitationQuestionEngine::kCaptureLead;
        expected.append(info);
    }
    return expected;
}

// The answer score of a melody and the expected notes the engine builds from it; none (with a line
// on standard error) when the score refuses the melody. A note the score dates elsewhere than the
// take's start is told on standard error too.
QList<PitchDetector::NoteInfo> loadScore(Score& score, int tempo, const std::vector<int>& midis,
                                         const std::vector<int>& eighths, const std::vector<double>& starts,
                                         const QString& name)
{
    score.setTempo(tempo);
    const QString code = scoreCode(midis, eighths);
    if (!score.setGMNCode(code) || score.noteList().size() != static_cast<int>(midis.size())) {
        fprintf(stderr, "%s: the score refused %s\n", qPrintable(name), qPrintable(code));
        return {};
    }
    const QList<PitchDetector::NoteInfo> expected = expectedFromScore(score);
    for (int i = 0; i < expected.size() && i < static_cast<int>(starts.size()); ++i) {
        if (std::fabs(expected[i].offset - starts[i]) > 0.002)
            fprintf(stderr, "%s note %d: the score has it at %.3f s, the take at %.3f s\n", qPrintable(name), i,
                    expected[i].offset, starts[i]);
    }
    return expected;
}

std::vector<BenchSignals::Note> sungTruth(const std::vector<BenchSinging::Note>& notes, bool expected)
{
    std::vector<BenchSignals::Note> truth;
    for (const BenchSinging::Note& n : notes)
        truth.push_back({expected ? n.expected : n.sung, n.start, n.duration});
    return truth;
}

const char* rangeName(BenchSinging::Voice voice)
{
    static const char* const names[] = {"male C3-G4", "female G3-D5", "bass G2-D4", "soprano F4-G5"};
    return names[voice];
}

QString levelName(double noise)
{
    return noise == 0.0 ? QString("clean") : QString::number(noise);
}

void runSungSets(const QString& dataDir, bool withAubio)
{
    struct Kind {
        const char* name;
        BenchSinging::Voice voice;
        bool legato;
        std::vector<int> vowels; // empty: a, e, i, o, u in turn
        double vibratoMax;       // cents; drawn from vibratoMin up
        double vibratoMin;
        bool clap;
        bool room;
        BenchSinging::Options shape; // gaps, joins, tempo, lengths, repeats
        unsigned salt;               // draws of the sets added later
    };
    BenchSinging::Options plain;
    BenchSinging::Options soprano = plain; // legato and detached, gaps 0.05-0.12 s
    soprano.joinShare = 0.5;
    soprano.gapMin = 0.05;
    soprano.gapMax = 0.12;
    BenchSinging::Options nearLegato = plain; // half the steps joined, the others 0-50 ms apart
    nearLegato.joinShare = 0.5;
    nearLegato.gapMin = 0.0;
    nearLegato.gapMax = 0.05;
    BenchSinging::Options lowRepeats = plain; // 0.2-0.5 s notes, two in five repeated
    lowRepeats.tempo = 110.0;
    lowRepeats.shortNotes = true;
    lowRepeats.repeatShare = 0.4;
    lowRepeats.gapMin = 0.04;
    lowRepeats.gapMax = 0.08;
    const std::vector<int> all = {0, 1, 2, 3, 4, 5, 6};
    const Kind kinds[] = {{"sung male", BenchSinging::Male, false, {}, 60.0, 0.0, false, false, plain, 0},
                          {"sung female", BenchSinging::Female, false, {}, 60.0, 0.0, false, false, plain, 0},
                          {"legato male", BenchSinging::Male, true, {}, 60.0, 0.0, false, false, plain, 0},
                          {"legato female", BenchSinging::Female, true, {}, 60.0, 0.0, false, false, plain, 0},
                          {"oo female", BenchSinging::Female, false, {4}, 0.0, 0.0, false, false, plain, 0},
                          {"claps", BenchSinging::Male, false, {}, 60.0, 0.0, true, false, plain, 0},
                          {"oo soprano", BenchSinging::Soprano, true, {4}, 30.0, 10.0, false, false, soprano, 1},
                          {"ee soprano", BenchSinging::Soprano, true, {2}, 30.0, 10.0, false, false, soprano, 2},
                          {"sung soprano", BenchSinging::Soprano, false, all, 50.0, 0.0, false, false, plain, 3},
                          {"wide legato male", BenchSinging::Male, true, {4, 1}, 50.0, 35.0, false, false, nearLegato, 4},
                          {"wide legato female", BenchSinging::Female, true, {4, 1}, 50.0, 35.0, false, false, nearLegato, 5},
                          {"sung bass", BenchSinging::Bass, false, all, 50.0, 0.0, false, false, plain, 6},
                          {"low repeats bass", BenchSinging::Bass, false, all, 30.0, 0.0, false, false, lowRepeats, 7},
                          {"room only", BenchSinging::Male, false, {}, 30.0, 0.0, false, true, plain, 8}};
    struct Noise {
        double dbfs; // 0: clean
        BenchSignals::Colour colour;
    };
    const Noise noises[] = {{0.0, BenchSignals::White},   {-65.0, BenchSignals::White}, {-65.0, BenchSignals::Pink},
                            {-65.0, BenchSignals::Brown}, {-45.0, BenchSignals::White}, {-45.0, BenchSignals::Pink},
                            {-45.0, BenchSignals::Brown}};
    std::map<QString, SungTally> tallies;
    std::map<QString, NoteTally> byVowel, byRange, byColour, overall;
    std::map<QString, OnsetTally> legatoOnsets;
    double worstCost = 0.0;
    Score evaluatorScore;
    const Evaluator thresholds(evaluatorScore); // the default rhythm windows
    // Another draw of the same sets, to check that a gain is not tied to the first four takes.
    const unsigned firstSeed = qMax(1, qEnvironmentVariableIntValue("PITCH_BENCH_SEED"));
    const QByteArray only = qgetenv("PITCH_BENCH_KIND"); // one set, e.g. "oo soprano"
    for (const Kind& kind : kinds) {
        if (!only.isEmpty() && only != kind.name)
            continue;
        for (unsigned seed = firstSeed; seed < firstSeed + 4; ++seed) {
            std::mt19937 rng(seed * 13u + static_cast<unsigned>(kind.voice) * 5u + (kind.legato ? 3u : 0u) + kind.salt * 101u);
            BenchSinging::Options options = kind.shape;
            options.voice = kind.voice;
            options.legato = kind.legato;
            options.vowels = kind.vowels;
            options.seed = seed;
            options.silent = kind.room;
            options.vibratoCents = kind.vibratoMax <= 0.0 ? 0.0 : std::uniform_real_distribution<double>(kind.vibratoMin, kind.vibratoMax)(rng);
            options.vibratoHz = std::uniform_real_distribution<double>(4.0, 7.0)(rng);
            options.roomDbfs = std::uniform_real_distribution<double>(-75.0, -40.0)(rng);
            options.breathDbfs = std::uniform_real_distribution<double>(-55.0, -42.0)(rng);
            std::vector<double> clean;
            std::vector<BenchSinging::Note> notes;
            Score score;
            QList<PitchDetector::NoteInfo> expected;
            if (kind.clap) {
                const BenchSinging::Clap clap = BenchSinging::clap(seed, options.roomDbfs);
                clean = clap.samples;
                for (double t : clap.times)
                    notes.push_back({0, 0, t, 0.05, 0});
            } else {
                const BenchSinging::Take take = BenchSinging::sing(options);
                clean = take.samples;
                notes = take.notes;
                std::vector<int> midis;
                std::vector<double> starts;
                for (const BenchSinging::Note& n : take.notes) {
                    midis.push_back(n.expected);
                    starts.push_back(n.start);
                }
                expected = loadScore(score, static_cast<int>(std::lround(60.0 / take.tempoBeat)), midis, take.eighths,
                                     starts, QString("%1 %2").arg(kind.name).arg(seed));
            }
            const std::vector<BenchSignals::Note> truth = kind.room ? std::vector<BenchSignals::Note>() : sungTruth(notes, false);
            const double seconds = clean.size() / 44100.0;
            for (const Noise& noise : noises) {
                std::vector<double> samples = clean;
                if (noise.dbfs != 0.0)
                    BenchSignals::addNoise(samples, noise.dbfs, noise.colour, seed * 31 + 7);
                const QString level = levelName(noise.dbfs);
                const QString tag = noise.dbfs == 0.0 ? level : QString("%1-%2").arg(level, BenchSignals::colourName(noise.colour));
                const QString name = QString("%1-%2-%3").arg(QString(kind.name).replace(' ', '-')).arg(seed).arg(tag);
                if (!qgetenv("PITCH_BENCH_DUMP").isEmpty() && qgetenv("PITCH_BENCH_DUMP") != name.toLatin1())
                    continue;
                const QString wav = QDir(dataDir).filePath(name + ".wav");
                BenchSignals::writeWav(wav, samples);
                const OurResult ours = runOurs(toPcm(samples), expected);
                if (qgetenv("PITCH_BENCH_DUMP") == name.toLatin1()) {
                    for (const BenchSinging::Note& n : notes)
                        printf("  truth %d sung %d at %.3f for %.2f %s\n", n.expected, n.sung, n.start, n.duration,
                               BenchSinging::vowelName(n.vowel));
                    printReported(ours);
                }
                AubioResult aubio;
                if (withAubio)
                    aubio = runAubio(wav);
                SungTally& t = tallies[QString("%1 %2").arg(kind.name).arg(level)];
                t.pitched = !kind.clap;
                t.room = kind.room;
                t.reported += static_cast<int>(ours.notes.size());
                t.onsets[0].add(ours.onsets, truth);
                t.onsets[1].add(ours.tiedOnsets, truth);
                t.onsets[2].add(aubio.hfc, truth);
                t.audioSeconds += seconds;
                t.ourCpu += ours.cpu;
                worstCost = std::max(worstCost, ours.cpu / seconds);
                if (kind.legato)
                    legatoOnsets[level].add(ours.onsets, truth);
                if (kind.clap || kind.room)
                    continue;
                const std::vector<bool> right = gradedAsSung(score, notes, ours.notes);
                if (right.size() != notes.size()) {
                    fprintf(stderr, "%s: the score's notes are not the melody's\n", qPrintable(name));
                    continue;
                }
                std::vector<BenchMetrics::DetectedNote> graded;
                for (const BenchMetrics::DetectedNote& n : ours.notes) {
                    if (n.midi > 0)
                        graded.push_back(n);
                }
                for (size_t i = 0; i < notes.size(); ++i) {
                    const double error = i < graded.size() ? std::fabs(graded[i].offset - notes[i].start) : 1e9;
                    for (NoteTally* n : {&t.graded, &byVowel[QString("%1 %2").arg(BenchSinging::vowelName(notes[i].vowel), level)],
                                         &byRange[QString("%1 %2").arg(rangeName(kind.voice), level)], &overall[level]})
                        n->add(right[i], error, thresholds);
                    if (noise.dbfs != 0.0)
                        byColour[tag].add(right[i], error, thresholds);
                    if (i < graded.size())
                        t.timeErrors.push_back(1000.0 * error);
                }
                fprintf(stderr, "%s done\n", qPrintable(name));
            }
        }
    }
    printf("| set | graded as the truth says | of them dated within 75 ms | within 150 ms | notes reported |"
           " onsets ours raw P/R/F ms | onsets ours tied P/R/F ms | aubio hfc P/R/F ms | note time error median / p90 ms | cost ours |\n");
    printf("|---|---|---|---|---|---|---|---|---|---|\n");
    for (const auto& entry : tallies)
        entry.second.print(entry.first);
    for (const auto* table : {&byVowel, &byRange, &byColour}) {
        printf("\n| %s | graded as the truth says | of them dated within 75 ms | within 150 ms |\n|---|---|---|---|\n",
               table == &byVowel ? "vowel" : table == &byRange ? "range" : "room noise");
        for (const auto& entry : *table)
            printf("| %-22s | %s |\n", qPrintable(entry.first), qPrintable(entry.second.text()));
    }
    printf("\nAll sung notes:\n");
    for (const auto& entry : overall)
        printf("  %-6s %s\n", qPrintable(entry.first), qPrintable(entry.second.text()));
    printf("Onsets on sung legato (P/R at +-50 ms):");
    for (const auto& entry : legatoOnsets)
        printf("  %s %.2f/%.2f", qPrintable(entry.first), entry.second.precision(), entry.second.recall());
    printf("\nWorst cost of one take: %.2f %% of one core\n\n", 100.0 * worstCost);
}

// The generators' takes: melodies sung as written (sung-melodies.py) and sung otherwise
// (sung-deviations.py), each sung by three voices, the generator's own and two SoundFonts' recorded
// voices (BenchSampledVoice), clean and in white room noise; graded in pitch mode as the exercise
// engine grades a sung answer. A note is "right" when graded at its own pitch by a note dated
// within 75 ms of its attack, "near" when dated -250..+300 ms from it.
struct VoiceTally {
    int notes = 0, right = 0, near = 0;
    void add(bool pitchRight, double error)
    {
        ++notes;
        right += pitchRight && std::fabs(error) <= 0.075 ? 1 : 0;
        near += pitchRight && error >= -0.25 && error <= 0.3 ? 1 : 0;
    }
    QString text() const
    {
        const double n = std::max(1, notes);
        return QString::asprintf("%4d | %4d %.3f | %4d %.3f", notes, right, right / n, near, near / n);
    }
};

struct VoiceLevelTally {
    int takes = 0, reported = 0, strayNotes = 0, vibratoOnsets = 0;
    OnsetTally onsets;
    double audioSeconds = 0, cpu = 0, worst = 0;
};

struct SungSource {
    QByteArray prefix; // of its environment variables, folders and take names
    QString name;      // the voice, as every table names it
    QString soundFont; // empty: the generator's own voice; else the generator's notes sung by this preset
    int program = 0;
};

// The generator's voice and the two recorded voices; PITCH_BENCH_<PREFIX>_SOUNDFONT and
// PITCH_BENCH_<PREFIX>_PROGRAM choose another preset for a recorded one.
std::vector<SungSource> sungSources()
{
    std::vector<SungSource> sources = {{"voice", "the generator's voice", QString(), 0},
                                       {"oohs", QString(), "/usr/share/sounds/sf2/TimGM6mb.sf2", 53},
                                       {"fluid", QString(), "/usr/share/sounds/sf2/FluidR3_GM.sf2", 53}};
    for (SungSource& source : sources) {
        if (source.soundFont.isEmpty())
            continue;
        const QByteArray variable = "PITCH_BENCH_" + source.prefix.toUpper();
        if (qEnvironmentVariableIsSet(variable + "_SOUNDFONT"))
            source.soundFont = qEnvironmentVariable(variable + "_SOUNDFONT");
        if (qEnvironmentVariableIsSet(variable + "_PROGRAM"))
            source.program = qEnvironmentVariableIntValue(variable + "_PROGRAM");
        source.name = BenchSampledVoice::name(source.soundFont, source.program);
    }
    return sources;
}

// Seeds as "1-3,9"; fallback when the variable is unset.
QList<unsigned> seedsFrom(const char* variable, const char* fallback)
{
    QList<unsigned> seeds;
    const QByteArray text = qEnvironmentVariableIsSet(variable) ? qgetenv(variable) : QByteArray(fallback);
    for (const QByteArray& part : text.split(',')) {
        const QList<QByteArray> ends = part.split('-');
        const unsigned first = ends.first().trimmed().toUInt();
        const unsigned last = ends.size() == 2 ? ends.last().trimmed().toUInt() : first;
        for (unsigned seed = first; seed > 0 && seed <= last && seed - first < 1000; ++seed)
            seeds << seed;
    }
    return seeds;
}

int countFrom(const char* variable, int fallback)
{
    return qEnvironmentVariableIsSet(variable) ? qEnvironmentVariableIntValue(variable) : fallback;
}

// The room noise levels the generators' takes are graded at (dBFS, 0 clean): PITCH_BENCH_LEVELS as
// "clean,-45", all three when unset.
QList<double> noiseLevels()
{
    QList<double> levels;
    for (const QByteArray& level : qgetenv("PITCH_BENCH_LEVELS").split(','))
        if (!level.isEmpty())
            levels << (level == "clean" ? 0.0 : level.toDouble());
    return levels.isEmpty() ? QList<double>{0.0, -65.0, -45.0} : levels;
}

// The takes a generator makes from each seed, sung by the source's voice; a seed whose takes
// cannot be made has none.
std::vector<std::vector<BenchVoiceTakes::Take>> sourceTakes(const QString& dataDir, const SungSource& source,
                                                            const char* script, const QList<unsigned>& seeds, int count)
{
    std::vector<BenchVoiceTakes::Run> runs;
    for (unsigned seed : seeds) {
        const QString dir = QDir(dataDir).filePath(QString("%1-%2-%3x%4").arg(QFileInfo(script).baseName(), QString(source.prefix)).arg(seed).arg(count));
        QDir().mkpath(dir);
        runs.push_back({dir, seed});
    }
    const bool sampled = !source.soundFont.isEmpty();
    BenchVoiceTakes::generate(script, runs, count, sampled);
    std::vector<std::vector<BenchVoiceTakes::Take>> takes;
    for (const BenchVoiceTakes::Run& run : runs) {
        takes.push_back(BenchVoiceTakes::load(run.dir));
        if (sampled && !BenchSampledVoice::sing(source.soundFont, source.program, takes.back(), run.seed))
            takes.back().clear();
    }
    return takes;
}

// A take's samples with white room noise at noise dBFS (none when 0).
std::vector<qint16> withNoise(const BenchVoiceTakes::Take& take, double noise, unsigned seed)
{
    if (noise == 0.0)
        return std::vector<qint16>(take.pcm.begin(), take.pcm.end());
    std::vector<double> samples;
    for (short v : take.pcm)
        samples.push_back(v / 32768.0);
    BenchSignals::addNoise(samples, noise, seed);
    return toPcm(samples);
}

// The detector run on a take as the exercise engine runs it: the answer score of the melody as
// written, its notes the detector's expected notes; the pitch grade of each written note.
struct VoiceRun {
    OurResult ours;
    std::vector<Evaluator::accuracy_e> grades; // empty when the score refused the melody
    std::vector<BenchMetrics::DetectedNote> graded; // the pitched notes reported, in order
};

VoiceRun runVoiceTake(const BenchVoiceTakes::Take& take, const std::vector<qint16>& pcm, const QString& name)
{
    VoiceRun run;
    Score score;
    std::vector<int> midis;
    std::vector<double> starts;
    for (const BenchVoiceTakes::Note& n : take.notes) {
        midis.push_back(n.midi);
        starts.push_back(n.start);
    }
    const QList<PitchDetector::NoteInfo> expected = loadScore(score, take.tempo, midis, take.eighths, starts, name);
    if (expected.isEmpty())
        return run;
    run.ours = runOurs(pcm, expected, false);
    run.grades = pitchGrades(score, run.ours.notes);
    for (const BenchMetrics::DetectedNote& n : run.ours.notes)
        if (n.midi > 0)
            run.graded.push_back(n);
    return run;
}

void printVoiceTake(const BenchVoiceTakes::Take& take, const QString& name, const VoiceRun& run)
{
    printf("%s (tempo %d, vibrato %d%s):\n", qPrintable(name), take.tempo, take.vibratoCents,
           take.deviation.isEmpty() ? "" : qPrintable(QString(", %1 at note %2").arg(take.deviation).arg(take.at)));
    for (size_t i = 0; i < take.notes.size(); ++i)
        printf("  written %d at %.3f-%.3f, graded %s\n", take.notes[i].midi, take.notes[i].start, take.notes[i].end,
               qPrintable(Evaluator::accuracyName(i < run.grades.size() ? run.grades[i] : Evaluator::NONE)));
    for (const BenchVoiceTakes::Note& n : take.sung)
        printf("  sung %d at %.3f-%.3f%s\n", n.midi, n.start, n.end,
               n.startCents > 0 ? qPrintable(QString(" (starts %1 cents sharp)").arg(n.startCents)) : "");
    printReported(run.ours);
}

// Grades one take sung as written into the tallies per trait and per level; with list, prints a
// take with a miss (or any take when dumped).
void gradeVoiceTake(const BenchVoiceTakes::Take& take, const std::vector<qint16>& pcm, const QString& name,
                    const QString& level, bool list, bool dumped, std::map<QString, VoiceTally>* byTrait,
                    std::map<QString, VoiceLevelTally>* byLevel)
{
    const VoiceRun run = runVoiceTake(take, pcm, name);
    if (run.grades.size() != take.notes.size())
        return;
    const std::vector<BenchMetrics::DetectedNote>& graded = run.graded;
    std::vector<BenchSignals::Note> onsetTruth;
    for (const BenchVoiceTakes::Note& n : take.notes)
        onsetTruth.push_back({n.midi, n.start, n.end - n.start});
    VoiceLevelTally& lt = (*byLevel)[level];
    const double seconds = pcm.size() / 44100.0;
    ++lt.takes;
    lt.reported += static_cast<int>(graded.size());
    lt.audioSeconds += seconds;
    lt.cpu += run.ours.cpu;
    lt.worst = std::max(lt.worst, run.ours.cpu / seconds);
    lt.onsets.add(run.ours.onsets, onsetTruth);
    for (const BenchMetrics::DetectedNote& r : graded) {
        bool nearOne = false;
        for (const BenchVoiceTakes::Note& n : take.notes)
            nearOne = nearOne || (r.offset >= n.start - 0.25 && r.offset <= n.start + 0.3);
        lt.strayNotes += nearOne ? 0 : 1;
    }
    for (double t : run.ours.onsets) {
        for (const BenchVoiceTakes::Note& n : take.notes)
            lt.vibratoOnsets += take.vibratoCents > 0 && t > n.start + 0.12 && t < n.end - 0.06 ? 1 : 0;
    }
    bool missed = false;
    for (size_t i = 0; i < take.notes.size(); ++i) {
        const BenchVoiceTakes::Note& n = take.sung[i];
        const bool right = run.grades[i] == Evaluator::PERFECT;
        const double error = i < graded.size() ? graded[i].offset - n.start : 1e9;
        QStringList traits = {"all notes"};
        if (i > 0) {
            const BenchVoiceTakes::Note& before = take.notes[i - 1];
            const double gap = n.start - before.end;
            const char* gapName = gap < 0.025 ? "0" : gap < 0.085 ? "0.05" : "0.12";
            if (n.midi == before.midi)
                traits << QString("repeat, gap %1 s").arg(gapName);
            else if (gap < 0.025)
                traits << "legato step";
            if (take.vibratoCents > 0 && before.end - before.start >= 0.4)
                traits << "after a long note with late vibrato";
        }
        if ((take.vowel == "oo" || take.vowel == "ee") && n.midi >= 71 && n.midi <= 76)
            traits << "high oo/ee B4-E5";
        if (n.startCents > 0)
            traits << "starts 40-100 cents sharp";
        traits << QString("vowel %1").arg(take.vowel);
        for (const QString& trait : traits)
            (*byTrait)[QString("%1 | %2").arg(trait, level)].add(right, error);
        missed = missed || !right || std::fabs(error) > 0.075;
    }
    if ((list && missed) || dumped)
        printVoiceTake(take, name, run);
}

void printVoiceTables(const QString& voice, const std::map<QString, VoiceTally>& byTrait, const std::map<QString, VoiceLevelTally>& byLevel)
{
    printf("| voice | trait | level | notes | right within 75 ms | near (-250..+300 ms) |\n|---|---|---|---|---|---|\n");
    for (const auto& entry : byTrait)
        printf("| %s | %s | %s |\n", qPrintable(voice), qPrintable(entry.first.section(" | ", 0, 0)),
               qPrintable(entry.first.section(" | ", 1) + " | " + entry.second.text()));
    printf("\n| voice | level | takes | notes reported | stray notes | onsets P/R | onsets inside vibrato notes | cost mean / worst take |\n"
           "|---|---|---|---|---|---|---|---|\n");
    for (const auto& entry : byLevel) {
        const VoiceLevelTally& t = entry.second;
        printf("| %s | %s | %d | %d | %d | %.2f/%.2f | %d | %.2f %% / %.2f %% |\n", qPrintable(voice), qPrintable(entry.first), t.takes, t.reported,
               t.strayNotes, t.onsets.precision(), t.onsets.recall(), t.vibratoOnsets,
               100.0 * t.cpu / std::max(1.0, t.audioSeconds), 100.0 * t.worst);
    }
    printf("\n");
}

void printSeeds(const char* title, const QList<unsigned>& seeds, int count, const char* each)
{
    printf("%s, seeds", title);
    for (unsigned s : seeds)
        printf(" %u", s);
    printf(", %d takes %s:\n\n", count, each);
}

// Calls grade with each take of the seeds at a noise level, its samples and its name
// (prefix-seed-level-take); only the take PITCH_BENCH_DUMP names, when set.
using TakeGrader = std::function<void(const BenchVoiceTakes::Take&, const std::vector<qint16>&, const QString& name)>;
void forEachTake(const std::vector<std::vector<BenchVoiceTakes::Take>>& takes, const QList<unsigned>& seeds, double noise,
                 const QString& prefix, const TakeGrader& grade)
{
    const QByteArray only = qgetenv("PITCH_BENCH_DUMP");
    for (int s = 0; s < seeds.size(); ++s) {
        for (size_t k = 0; k < takes[s].size(); ++k) {
            const BenchVoiceTakes::Take& take = takes[s][k];
            const QString name = QString("%1-%2-%3-%4").arg(prefix).arg(seeds[s]).arg(levelName(noise), take.name);
            if (only.isEmpty() || only == name.toLatin1())
                grade(take, withNoise(take, noise, seeds[s] * 2000u + static_cast<unsigned>(k)), name);
        }
    }
    fprintf(stderr, "%s %s done\n", qPrintable(prefix), qPrintable(levelName(noise)));
}

// Melodies sung as written by one source over its seeds and the noise levels: accuracy per trait
// and per level.
void runVoiceAccuracy(const QString& dataDir, const SungSource& source)
{
    const QByteArray upper = source.prefix.toUpper();
    const QList<unsigned> seeds = seedsFrom("PITCH_BENCH_" + upper + "_SEEDS", "1-3");
    const int count = countFrom("PITCH_BENCH_" + upper + "_COUNT", 24);
    const bool list = !qgetenv("PITCH_BENCH_VOICE_LIST").isEmpty(); // each miss, for a look at the take
    const bool dumped = !qgetenv("PITCH_BENCH_DUMP").isEmpty();
    const std::vector<std::vector<BenchVoiceTakes::Take>> takes = sourceTakes(dataDir, source, BENCH_MELODIES_SCRIPT, seeds, count);
    std::map<QString, VoiceTally> byTrait;
    std::map<QString, VoiceLevelTally> byLevel;
    for (double noise : noiseLevels()) {
        forEachTake(takes, seeds, noise, QString(source.prefix),
                    [&](const BenchVoiceTakes::Take& take, const std::vector<qint16>& pcm, const QString& name) {
                        gradeVoiceTake(take, pcm, name, levelName(noise), list, dumped, &byTrait, &byLevel);
                    });
    }
    printSeeds(QString("Melodies of sung-melodies.py sung as written by %1").arg(source.name).toLatin1(), seeds, count, "each");
    printVoiceTables(source.name, byTrait, byLevel);
}

// Takes sung otherwise than written, per case: how many have every note shown right (graded
// PERFECT), how many show the deviation's note right, how many are graded only there as sung.
struct DeviationTally {
    int takes = 0, allRight = 0, atRight = 0, onlyAtAsSung = 0;
};

// Whether the grading of a deviation take is honest: a held note gives no repeat, a wrong note is
// never shown right, a control has every note right; a split take is graded as the exercise's rules
// say (its extra note against the next written note), so it has no verdict.
bool honest(const BenchVoiceTakes::Take& take, const DeviationTally& one)
{
    if (take.deviation == "hold")
        return !one.allRight;
    if (take.deviation.startsWith("wrong"))
        return !one.atRight;
    return take.deviation == "split" || one.allRight;
}

// One take's tally from the pitch grades of its written notes.
DeviationTally deviationTally(const BenchVoiceTakes::Take& take, const std::vector<Evaluator::accuracy_e>& grades)
{
    DeviationTally one;
    one.takes = 1;
    one.allRight = std::all_of(grades.begin(), grades.end(), [](Evaluator::accuracy_e g) { return g == Evaluator::PERFECT; });
    one.atRight = grades[take.at] == Evaluator::PERFECT;
    // only a wrong note is sung at the written note's place
    one.onlyAtAsSung = take.deviation.startsWith("wrong") && take.sung.size() == take.notes.size()
                       && grades[take.at] == truthGrade(take.sung[take.at].midi - take.notes[take.at].midi);
    for (size_t i = 0; i < grades.size(); ++i)
        one.onlyAtAsSung = one.onlyAtAsSung && (static_cast<int>(i) == take.at || grades[i] == Evaluator::PERFECT);
    return one;
}

void printDeviationRow(const QString& source, const QString& level, const QString& kase, const DeviationTally& t)
{
    auto share = [&t](int n) { return QString::asprintf("%3d (%3.0f %%)", n, 100.0 * n / std::max(1, t.takes)); };
    const bool hold = kase.startsWith("hold") && !kase.contains("ok");
    const bool wrong = kase.startsWith("wrong");
    printf("| %s | %s | %s | %d | %s | %s | %s |\n", qPrintable(source), qPrintable(level), qPrintable(kase), t.takes,
           qPrintable(share(t.allRight)), hold ? qPrintable(share(t.allRight)) : wrong ? qPrintable(share(t.atRight)) : "-",
           wrong ? qPrintable(share(t.onlyAtAsSung)) : "-");
}

// Melodies of sung-deviations.py on the given sources, at the noise levels: the false-credit table.
void runDeviations(const QString& dataDir, const std::vector<SungSource>& sources)
{
    const QList<unsigned> seeds = seedsFrom("PITCH_BENCH_DEV_SEEDS", "1");
    const int count = countFrom("PITCH_BENCH_DEV_COUNT", 5);
    const bool list = !qgetenv("PITCH_BENCH_VOICE_LIST").isEmpty(); // each take graded dishonestly
    const bool dumped = !qgetenv("PITCH_BENCH_DUMP").isEmpty();
    const QStringList cases = {"hold", "hold_ok", "split", "split_ok", "wrong+1", "wrong-1", "wrong+2", "wrong-2"};
    printSeeds("Melodies of sung-deviations.py", seeds, count, "a case");
    printf("| voice | level | case | takes | every note shown right | false credit | only the wrong note graded as sung |\n"
           "|---|---|---|---|---|---|---|\n");
    for (const SungSource& source : sources) {
        const std::vector<std::vector<BenchVoiceTakes::Take>> takes = sourceTakes(dataDir, source, BENCH_DEVIATIONS_SCRIPT, seeds, count);
        for (double noise : noiseLevels()) {
            std::map<QString, DeviationTally> byCase;
            forEachTake(takes, seeds, noise, "dev-" + source.prefix,
                        [&](const BenchVoiceTakes::Take& take, const std::vector<qint16>& pcm, const QString& name) {
                const VoiceRun run = runVoiceTake(take, pcm, name);
                if (run.grades.size() != take.notes.size() || take.at < 0 || take.at >= static_cast<int>(take.notes.size()))
                    return;
                const DeviationTally one = deviationTally(take, run.grades);
                const QString pooled = take.deviation.startsWith("wrong") ? "wrong, all four" : take.deviation.endsWith("_ok") ? "controls, both" : "";
                for (const QString& kase : {take.deviation, pooled}) {
                    if (kase.isEmpty())
                        continue;
                    DeviationTally& t = byCase[kase];
                    t.takes += 1;
                    t.allRight += one.allRight;
                    t.atRight += one.atRight;
                    t.onlyAtAsSung += one.onlyAtAsSung;
                }
                if ((list && !honest(take, one)) || dumped)
                    printVoiceTake(take, name, run);
            });
            for (const QString& kase : cases + QStringList{"wrong, all four", "controls, both"})
                if (byCase.count(kase))
                    printDeviationRow(source.name, levelName(noise), kase, byCase[kase]);
        }
    }
    printf("\n");
}

// PITCH_BENCH_ONSET_FIGURES=1: what the onset rules for recorded voices tell apart, read on a
// recorded voice's clean takes of both generators with the onset strategy's own measures (frames of
// 2048 samples a hop of 512 apart, the peak amplitude difference and its picker, the newest hop's
// level above 300 Hz, the room's floor, the held note's pitch and the spread of its harmonics),
// against the notes sung.
struct OnsetFigures {
    // Held frames whose harmonics spread 13 cents or more after frames of one voice, the level
    // holding, and repeats struck with no gap (their most in 0.15 s): the detection function's peak
    // over the held note's and the level's change in a hop (dB).
    std::vector<double> spreadPeak, spreadLevel, repeatPeak, repeatLevel;
    // The picker's peaks at a level back from a dip of 6-14 dB to where it was with a detection peak
    // over the dip's bound, where only the share a change of level leaves unexplained tells a swell
    // (held notes) from a strike (repeats, their most): that share.
    std::vector<double> swellAlone, struckAlone;
    std::vector<double> laterStages; // attacks 0.1 s or more after a note's first, seconds after it
    int notes = 0;
    double soonestAgain = 1e9; // a note sung again at its pitch, start to start

    static double at(std::vector<double> v, double share)
    {
        if (v.empty())
            return 0.0;
        std::sort(v.begin(), v.end());
        return v[std::min(v.size() - 1, static_cast<size_t>(share * v.size()))];
    }
};

// Shifts a history (newest first) by one and puts value first.
void pushNewest(std::vector<double>& history, double value)
{
    std::rotate(history.rbegin(), history.rbegin() + 1, history.rend());
    history[0] = value;
}

void readOnsetFigures(const BenchVoiceTakes::Take& take, OnsetFigures& f)
{
    constexpr int kFrame = 2048, kHop = 512;
    PeakAmpDifferenceODF odf;
    odf.set_frame_size(kFrame);
    odf.set_hop_size(kHop);
    odf.set_sampling_rate(44100);
    RTOnsetDetection picker;
    HarmonicSpread harmonics(kFrame, 44100);
    RoomFloor room(44100);
    std::vector<double> odfs(24), alone(24), levels(11), heldLevels(32), pitches(21), spreads(12, -1.0), frame(kFrame);
    double frameLevel = 0.0, rumbleIn = 0.0, rumbleOut = 0.0;
    const std::vector<BenchVoiceTakes::Note>& sung = take.sung;
    std::vector<double> repeatPeak(sung.size()), repeatLevel(sung.size()), struck(sung.size(), -1.0);
    std::vector<std::vector<double>> attacks(sung.size());
    f.notes += static_cast<int>(sung.size());
    for (size_t i = 0; i < sung.size(); ++i) {
        for (size_t j = i + 1; j < sung.size(); ++j)
            if (sung[j].midi == sung[i].midi)
                f.soonestAgain = std::min(f.soonestAgain, sung[j].start - sung[i].start);
    }
    for (size_t start = 0; start + kFrame <= take.pcm.size(); start += kHop) {
        for (int i = 0; i < kFrame; ++i)
            frame[i] = take.pcm[start + i] / 32768.0;
        const double before = odf.peakTotal();
        const double value = odf.process_frame(kFrame, frame.data());
        double energy = 0.0, sum = 0.0;
        for (double v : frame)
            energy += v * v;
        const double gain = frameLevel > 0.0 ? std::sqrt(energy / kFrame) / frameLevel : 0.0;
        frameLevel = std::sqrt(energy / kFrame);
        const bool peak = picker.is_onset(value);
        for (int i = kFrame - kHop; i < kFrame; ++i) {
            rumbleOut = 0.958 * (rumbleOut + frame[i] - rumbleIn);
            rumbleIn = frame[i];
            sum += rumbleOut * rumbleOut;
        }
        const double level = std::sqrt(sum / kHop);
        const double hz = _dywapitch_waveletPitch(frame.data(), kFrame - 1024, 1024);
        pushNewest(pitches, hz > 0.0 ? 69.0 + 12.0 * std::log2(hz / 440.0) : 0.0);
        room.hear(level, kHop, pitches[0] > 0.0 && pitches[1] > 0.0 && std::fabs(pitches[0] - pitches[1]) < 0.5);
        std::vector<double> held;
        for (size_t i = 8; i < pitches.size(); ++i)
            if (pitches[i] > 0.0)
                held.push_back(pitches[i]);
        const double heldPitch = held.size() >= 10 ? OnsetFigures::at(held, 0.5) : 0.0;
        pushNewest(spreads, heldPitch > 0.0 && pitches[0] > 0.0 && std::fabs(pitches[0] - heldPitch) < 1.5
                          ? harmonics.spread(frame.data(), heldPitch) : -1.0);
        std::vector<double> oneVoice;
        for (size_t i = 3; i < spreads.size(); ++i)
            if (spreads[i] >= 0.0)
                oneVoice.push_back(spreads[i]);
        const bool secondVoice = spreads[0] >= 13.0 && oneVoice.size() >= 4 && OnsetFigures::at(oneVoice, 0.5) < 6.5;
        const double peakRatio = std::max({value, odfs[0], odfs[1], odfs[2]}) /
                                 std::max(1e-12, OnsetFigures::at(std::vector<double>(odfs.begin() + 4, odfs.end()), 0.5));
        const double levelRatio = levels[0] > 0.0 ? level / levels[0] : 0.0;
        // An attack's rise, and a level back from a dip to where it was (slowly: by 1.8 dB a hop at most).
        const double top = std::max({level, levels[0], levels[1]});
        const double rise = top / std::max(1e-12, *std::min_element(levels.begin() + 2, levels.end()));
        const double heldLevel = *std::max_element(heldLevels.begin() + 12, heldLevels.end());
        bool slow = true;
        for (int i = 0; i < 6; ++i)
            slow = slow && (i == 0 ? level : levels[i - 1]) <= 1.23 * levels[i];
        const bool backFromDip = peak && rise > 2.0 && top <= (slow ? 1.26 : 1.12) * heldLevel && heldLevel < 5.0 * top / rise;
        const double dipBound = slow ? 12.0 : heldLevel > 50.0 * room.level() ? 7.0 : 6.0;
        const bool aloneDecides = backFromDip && *std::max_element(odfs.begin(), odfs.begin() + 6) >=
            dipBound * OnsetFigures::at(std::vector<double>(odfs.begin() + 6, odfs.end()), 0.5);
        const double aloneMost = *std::max_element(alone.begin(), alone.begin() + 6);
        const double t0 = start / 44100.0, t1 = (start + kFrame) / 44100.0;
        for (size_t n = 0; n < sung.size(); ++n) {
            const BenchVoiceTakes::Note& note = sung[n];
            if (t0 >= note.start + 0.2 && t1 <= note.end - 0.1) {
                if (secondVoice && levelRatio > 0.85 && rise <= 2.0) {
                    f.spreadPeak.push_back(peakRatio);
                    f.spreadLevel.push_back(20.0 * std::log10(std::max(1e-6, levelRatio)));
                }
                if (aloneDecides)
                    f.swellAlone.push_back(aloneMost);
            }
            if (peak && rise > 2.0 && t0 >= note.start - 0.05 && t0 < note.end)
                attacks[n].push_back(t0);
            if (n > 0 && note.midi == sung[n - 1].midi && note.start - sung[n - 1].end < 0.025 && t1 >= note.start &&
                t1 < note.start + 0.15) {
                repeatPeak[n] = std::max(repeatPeak[n], peakRatio);
                repeatLevel[n] = std::max(repeatLevel[n], levelRatio);
                if (aloneDecides)
                    struck[n] = std::max(struck[n], aloneMost);
            }
        }
        pushNewest(odfs, value);
        pushNewest(alone, before > 0.0 ? value / before - std::max(0.0, gain - 1.0) : 0.0);
        pushNewest(levels, level);
        pushNewest(heldLevels, level);
    }
    for (size_t n = 0; n < sung.size(); ++n) {
        for (double t : attacks[n])
            if (t - attacks[n].front() >= 0.1)
                f.laterStages.push_back(t - attacks[n].front());
        if (n > 0 && sung[n].midi == sung[n - 1].midi && sung[n].start - sung[n - 1].end < 0.025) {
            f.repeatPeak.push_back(repeatPeak[n]);
            f.repeatLevel.push_back(20.0 * std::log10(std::max(1e-6, repeatLevel[n])));
            if (struck[n] >= 0.0)
                f.struckAlone.push_back(struck[n]);
        }
    }
}

void printOnsetFigures(const QString& dataDir)
{
    for (const SungSource& source : sungSources()) {
        if (source.soundFont.isEmpty())
            continue;
        const QByteArray upper = source.prefix.toUpper();
        OnsetFigures f;
        const auto read = [&](const char* script, const QList<unsigned>& seeds, int count) {
            for (const std::vector<BenchVoiceTakes::Take>& takes : sourceTakes(dataDir, source, script, seeds, count))
                for (const BenchVoiceTakes::Take& take : takes)
                    readOnsetFigures(take, f);
        };
        read(BENCH_MELODIES_SCRIPT, seedsFrom("PITCH_BENCH_" + upper + "_SEEDS", "1-3"), countFrom("PITCH_BENCH_" + upper + "_COUNT", 24));
        read(BENCH_DEVIATIONS_SCRIPT, seedsFrom("PITCH_BENCH_DEV_SEEDS", "1"), countFrom("PITCH_BENCH_DEV_COUNT", 5));
        // the new-sound bounds: 1.8 times the held note's detection peak, 1 dB in a hop
        const auto newSound = [](double peak, double dB) { return peak > 1.8 || dB > 20.0 * std::log10(1.12); };
        int beating = 0, missed = 0;
        for (size_t i = 0; i < f.spreadPeak.size(); ++i)
            beating += newSound(f.spreadPeak[i], f.spreadLevel[i]);
        for (size_t i = 0; i < f.repeatPeak.size(); ++i)
            missed += !newSound(f.repeatPeak[i], f.repeatLevel[i]);
        std::vector<double> soon, late;
        for (double t : f.laterStages)
            (t < 0.2 ? soon : late).push_back(t);
        using F = OnsetFigures;
        printf("%s, %d notes sung, clean:\n", qPrintable(source.name), f.notes);
        printf("  held frames with harmonics 13 cents apart after one voice's, the level holding: %zu; detection peak"
               " over the held note's p90 %.2f, level change p90 %.2f dB, over 1.8 times or 1 dB: %d\n",
               f.spreadPeak.size(), F::at(f.spreadPeak, 0.9), F::at(f.spreadLevel, 0.9), beating);
        printf("  repeats struck with no gap: %zu; their most in 0.15 s: detection peak p10 %.2f, level change p10"
               " %.2f dB, neither over 1.8 times nor 1 dB: %d\n",
               f.repeatPeak.size(), F::at(f.repeatPeak, 0.1), F::at(f.repeatLevel, 0.1), missed);
        printf("  back from a dip with a peak over its bound: in held notes %zu, unexplained max %.3f; at repeats %zu,"
               " unexplained min/p50 %.3f/%.3f\n",
               f.swellAlone.size(), F::at(f.swellAlone, 1.0), f.struckAlone.size(), F::at(f.struckAlone, 0.0),
               F::at(f.struckAlone, 0.5));
        printf("  attacks 0.1 s or more after a note's first: %zu under 0.2 s (%.2f-%.2f s), %zu later (from %.2f s);"
               " a note sung again at its pitch %.2f s after it at the soonest\n\n",
               soon.size(), F::at(soon, 0.0), F::at(soon, 1.0), late.size(), F::at(late, 0.0), f.soonestAgain);
    }
}

// Raw tracker on steady sines and harmonic tones, one per semitone from C2 to C6: the median
// estimate of each note against its true frequency.
static void trackerSweep()
{
    double sineWorst = 0.0, sineSum = 0.0, harmonicWorst = 0.0, harmonicSum = 0.0;
    int notes = 0, sineWrong = 0, harmonicWrong = 0;
    for (int midi = 36; midi <= 84; ++midi) {
        const std::vector<BenchSignals::Note> truth = {{midi, 0.0, 1.0}};
        for (int harmonic = 0; harmonic < 2; ++harmonic) {
            std::vector<double> tone = BenchSignals::renderSynthetic(truth, harmonic == 1, 1.0);
            std::vector<double> values;
            for (const PitchDetector::NoteInfo& n : rawTrack(toPcm(tone))) {
                if (n.offset > 0.1 && n.offset < 0.85 && n.frequency > 0.0)
                    values.push_back(n.frequency);
            }
            double cents = 1200.0;
            if (!values.empty()) {
                std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
                cents = std::fabs(1200.0 * std::log2(values[values.size() / 2] / (440.0 * std::pow(2.0, (midi - 69) / 12.0))));
            }
            if (harmonic) {
                harmonicWorst = std::max(harmonicWorst, cents);
                harmonicSum += cents;
                harmonicWrong += cents > 50.0 ? 1 : 0;
            } else {
                sineWorst = std::max(sineWorst, cents);
                sineSum += cents;
                sineWrong += cents > 50.0 ? 1 : 0;
            }
        }
        ++notes;
    }
    printf("Tracker sweep C2..C6 (%d notes), median estimate per note, |cents|:\n", notes);
    printf("  sines:          mean %.1f, worst %.1f, wrong semitone %d\n", sineSum / notes, sineWorst, sineWrong);
    printf("  harmonic tones: mean %.1f, worst %.1f, wrong semitone %d (25-cent vibrato)\n\n", harmonicSum / notes,
           harmonicWorst, harmonicWrong);
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv); // the answer scores are painted items
    Score::initialize(QString(), false);
    if (!qgetenv("PITCH_BENCH_TRACE").isEmpty()) {
        Debugging::initialize();
        Debugging::setLoggingLevel(QsLogging::TraceLevel);
        Debugging::enableConsoleLogging();
    }
    const QStringList args = app.arguments();
    const QString dataDir = args.size() > 1 ? args[1] : QDir(QApplication::applicationDirPath()).filePath("pitch-data");
    const QString soundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";
    QDir().mkpath(dataDir);

    // "sung" (every sung set), a source's melodies ("voice", "oohs", "fluid"), "deviations" (on
    // every source) or one source's ("dev-oohs"), "instruments"; several with commas; all when unset.
    if (!qgetenv("PITCH_BENCH_ONSET_FIGURES").isEmpty()) {
        printOnsetFigures(dataDir);
        return 0;
    }
    const QList<QByteArray> sets = qgetenv("PITCH_BENCH_SETS").split(',');
    const auto wanted = [&sets](const QByteArray& set, bool sung) {
        return sets.contains(QByteArray()) || sets.contains(set) || (sung && sets.contains("sung"));
    };
    if (sets.contains(QByteArray()) || sets.contains("sung"))
        runSungSets(dataDir, qgetenv("PITCH_BENCH_NO_AUBIO").isEmpty());
    std::vector<SungSource> deviationSources;
    for (const SungSource& source : sungSources()) {
        if (wanted(source.prefix, true))
            runVoiceAccuracy(dataDir, source);
        if (wanted("deviations", true) || sets.contains("dev-" + source.prefix))
            deviationSources.push_back(source);
    }
    if (!deviationSources.empty())
        runDeviations(dataDir, deviationSources);
    if (!wanted("instruments", false))
        return 0;
    trackerSweep();
    std::map<QString, Tally> bySource;
    std::map<double, Tally> byNoise;
    const unsigned seeds[] = {7, 11};
    for (const Source& source : kSources) {
        for (unsigned seed : seeds) {
            const std::vector<BenchSignals::Note> truth = BenchSignals::melody(seed);
            const double seconds = truth.back().start + truth.back().duration + 1.0;
            std::vector<double> clean;
            if (source.program == -1 || source.program == -2)
                clean = BenchSignals::renderSynthetic(truth, source.program == -2, seconds);
            else
                clean = BenchSignals::renderPatch(truth, source.program, seconds, soundFont);
            if (clean.empty()) {
                fprintf(stderr, "cannot render %s (SoundFont %s)\n", source.name, qPrintable(soundFont));
                continue;
            }
            BenchSignals::normalise(clean, 0.5);
            for (double noise : kNoises) {
                std::vector<double> take = clean;
                if (noise != 0.0)
                    BenchSignals::addNoise(take, noise, seed * 31 + 1);
                const QString name = QString("%1-%2-%3").arg(source.name).arg(seed).arg(noise == 0.0 ? QString("clean") : QString("n%1").arg(-noise));
                const QString wav = QDir(dataDir).filePath(name + ".wav");
                BenchSignals::writeWav(wav, take);
                const std::vector<qint16> pcm = toPcm(take);

                const OurResult ours = runOurs(pcm, expectedFrom(truth));
                if (qgetenv("PITCH_BENCH_DUMP") == name.toLatin1()) {
                    for (const BenchSignals::Note& n : truth)
                        printf("  truth %d at %.3f for %.2f\n", n.midi, n.start, n.duration);
                    printReported(ours);
                    return 0;
                }
                const AubioResult aubio = runAubio(wav);
                const BenchMetrics::PitchScore ourPitch = BenchMetrics::scorePitch(ours.frames, truth);
                const BenchMetrics::PitchScore aubioPitch = BenchMetrics::scorePitch(aubio.frames, truth);
                for (Tally* t : {&bySource[QString("%1 %2").arg(source.name).arg(noise == 0.0 ? QString("clean") : QString::number(noise))], &byNoise[noise]}) {
                    t->aubio = aubio.ok;
                    t->truthNotes += static_cast<int>(truth.size());
                    t->ourNotes += BenchMetrics::detectedNotesRight(ours.notes, truth);
                    t->ourSegment += BenchMetrics::segmentNotesRight(ours.frames, truth);
                    t->aubioSegment += BenchMetrics::segmentNotesRight(aubio.frames, truth);
                    t->ourGpeFrames += ourPitch.frames;
                    t->ourGpe += ourPitch.grossErrorRate * ourPitch.frames;
                    t->aubioGpeFrames += aubioPitch.frames;
                    t->aubioGpe += aubioPitch.grossErrorRate * aubioPitch.frames;
                    t->ourCents.push_back(ourPitch.medianCents);
                    t->aubioCents.push_back(aubioPitch.medianCents);
                    t->onsets[0].add(ours.onsets, truth);
                    t->onsets[1].add(ours.tiedOnsets, truth);
                    t->onsets[2].add(aubio.hfc, truth);
                    t->onsets[3].add(aubio.complex, truth);
                    t->audioSeconds += seconds;
                    t->ourCpu += ours.cpu;
                    t->aubioPitchCpu += aubio.cpuPitch;
                    t->aubioOnsetCpu += aubio.cpuOnset;
                }
                fprintf(stderr, "%s done\n", qPrintable(name));
            }
        }
    }

    printf("| set | GPE ours | GPE aubio yin | median cents ours | median cents aubio | notes ours (detector) |"
           " notes ours (segment) | notes aubio yin (segment) | onsets ours raw P/R/F ms | onsets ours tied P/R/F ms |"
           " aubio hfc P/R/F ms | aubio complex P/R/F ms | cost ours | cost aubio |\n");
    printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const auto& entry : bySource)
        entry.second.print(qPrintable(entry.first));
    for (const auto& entry : byNoise)
        entry.second.print(qPrintable(entry.first == 0.0 ? QString("ALL clean") : QString("ALL %1 dBFS").arg(entry.first)));
    return 0;
}
