// Pitch and onset benchmark: renders its own melodies, runs the standard detector on them as the
// microphone would feed it, runs aubio's command-line tools on the same WAV files, and prints
// gross pitch error, note accuracy, onset precision/recall/F at +-50 ms, mean onset offset and
// analysis cost.
#include "BenchMetrics.h"
#include "BenchSignals.h"
#include "pitch/DetectorThread.h"
#include "pitch/PitchDetector.h"
#include "pitch/PitchListener.h"
#include "pitch/StandardPitchAssembly.h"
#include "pitch/WaveletStrategy.h"

#include <QCoreApplication>
#include <QDir>
#include <QMutex>
#include <QProcess>
#include <QStandardPaths>

#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>

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
    }
    QMutex mutex;
    std::vector<BenchMetrics::DetectedNote> notes;
    std::vector<double> onsets;
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
    for (int i = 0; i < 100 && detector->mp_thread->queuedCount() > 0; ++i)
        detector->wait();
    detector->wait();
}

struct OurResult {
    std::vector<BenchMetrics::DetectedNote> notes;
    std::vector<double> onsets;
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

OurResult runOurs(const std::vector<qint16>& pcm, const std::vector<BenchSignals::Note>& truth)
{
    OurResult result;
    {
        StandardPitchAssembly assembly;
        PitchDetector* detector = assembly.detector();
        Collector collector;
        for (const BenchSignals::Note& n : truth) {
            PitchDetector::NoteInfo expected;
            expected.note = static_cast<Pitch::Note>(n.midi % 12);
            expected.octave = n.midi / 12 - 1;
            expected.offset = n.start;
            detector->m_expectedNotes.append(expected);
        }
        detector->mp_listener = &collector;
        detector->start();
        const double before = cpuSeconds();
        feed(detector, pcm);
        result.cpu = cpuSeconds() - before;
        detector->mp_listener = nullptr;
        result.notes = collector.notes;
        result.onsets = collector.onsets;
        for (const PitchDetector::OnsetInfo& onset : detector->m_onsets) {
            if (onset.noteInfo.note != Pitch::NONE)
                result.tiedOnsets.push_back(onset.time);
        }
    }
    // The raw tracker alone, one estimate per 1024 samples, for the per-frame scores.
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

struct Tally {
    int truthNotes = 0;
    int ourNotes = 0, ourSegment = 0, aubioSegment = 0;
    double ourGpeFrames = 0, ourGpe = 0, aubioGpeFrames = 0, aubioGpe = 0;
    std::vector<double> ourCents, aubioCents;
    int onsetTruth = 0;
    // detected, matched, offset sum for ours raw, ours tied, hfc, complex
    double det[4] = {}, hit[4] = {}, offsetSum[4] = {};
    double audioSeconds = 0, ourCpu = 0, aubioPitchCpu = 0, aubioOnsetCpu = 0;
    bool aubio = false;

    void addOnsets(int which, const std::vector<double>& detected, const std::vector<BenchSignals::Note>& truth)
    {
        const BenchMetrics::OnsetScore s = BenchMetrics::scoreOnsets(detected, truth, 0.05);
        det[which] += detected.size();
        const double matched = s.recall * truth.size();
        hit[which] += matched;
        offsetSum[which] += s.meanOffsetMs * matched;
    }
    void print(const char* label) const
    {
        auto pr = [&](int w, double& p, double& r, double& f, double& off) {
            p = det[w] > 0 ? hit[w] / det[w] : 0.0;
            r = onsetTruth > 0 ? hit[w] / onsetTruth : 0.0;
            f = p + r > 0 ? 2 * p * r / (p + r) : 0.0;
            off = hit[w] > 0 ? offsetSum[w] / hit[w] : 0.0;
        };
        double p[4], r[4], f[4], off[4];
        for (int w = 0; w < 4; ++w)
            pr(w, p[w], r[w], f[w], off[w]);
        auto median = [](std::vector<double> v) {
            if (v.empty())
                return 0.0;
            std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
            return v[v.size() / 2];
        };
        printf("| %-16s | %5.1f %% | %5.1f %% | %4.1f | %4.1f | %3d/%3d | %3d/%3d | %3d/%3d |"
               " %.2f/%.2f/%.2f %+5.0f | %.2f/%.2f/%.2f %+5.0f | %.2f/%.2f/%.2f %+5.0f | %.2f/%.2f/%.2f %+5.0f |"
               " %.2f %% | %.2f %% |\n",
               label, 100.0 * (ourGpeFrames > 0 ? ourGpe / ourGpeFrames : 0), 100.0 * (aubioGpeFrames > 0 ? aubioGpe / aubioGpeFrames : 0),
               median(ourCents), median(aubioCents), ourNotes, truthNotes, ourSegment, truthNotes, aubioSegment,
               truthNotes, p[0], r[0], f[0], off[0], p[1], r[1], f[1], off[1], p[2], r[2], f[2], off[2], p[3], r[3],
               f[3], off[3], 100.0 * ourCpu / audioSeconds, 100.0 * (aubioPitchCpu + aubioOnsetCpu) / audioSeconds);
    }
};

std::vector<qint16> toPcm(const std::vector<double>& samples)
{
    std::vector<qint16> pcm(samples.size());
    for (size_t i = 0; i < samples.size(); ++i)
        pcm[i] = static_cast<qint16>(std::lround(std::max(-1.0, std::min(1.0, samples[i])) * 32767.0));
    return pcm;
}

} // namespace

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
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString dataDir = args.size() > 1 ? args[1] : QDir(QCoreApplication::applicationDirPath()).filePath("pitch-data");
    const QString soundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";
    QDir().mkpath(dataDir);

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

                const OurResult ours = runOurs(pcm, truth);
                if (qgetenv("PITCH_BENCH_DUMP") == name.toLatin1()) {
                    for (const BenchSignals::Note& n : truth)
                        printf("truth %d at %.3f for %.2f\n", n.midi, n.start, n.duration);
                    for (const BenchMetrics::DetectedNote& n : ours.notes)
                        printf("note %d at %.3f\n", n.midi, n.offset);
                    for (double t : ours.onsets)
                        printf("onset %.3f\n", t);
                    return 0;
                }
                const AubioResult aubio = runAubio(wav);
                const BenchMetrics::PitchScore ourPitch = BenchMetrics::scorePitch(ours.frames, truth);
                const BenchMetrics::PitchScore aubioPitch = BenchMetrics::scorePitch(aubio.frames, truth);
                for (Tally* t : {&bySource[QString("%1 %2").arg(source.name).arg(noise == 0.0 ? QString("clean") : QString::number(noise))], &byNoise[noise]}) {
                    t->aubio = aubio.ok;
                    t->truthNotes += static_cast<int>(truth.size());
                    t->onsetTruth += static_cast<int>(truth.size());
                    t->ourNotes += BenchMetrics::detectedNotesRight(ours.notes, truth);
                    t->ourSegment += BenchMetrics::segmentNotesRight(ours.frames, truth);
                    t->aubioSegment += BenchMetrics::segmentNotesRight(aubio.frames, truth);
                    t->ourGpeFrames += ourPitch.frames;
                    t->ourGpe += ourPitch.grossErrorRate * ourPitch.frames;
                    t->aubioGpeFrames += aubioPitch.frames;
                    t->aubioGpe += aubioPitch.grossErrorRate * aubioPitch.frames;
                    t->ourCents.push_back(ourPitch.medianCents);
                    t->aubioCents.push_back(aubioPitch.medianCents);
                    t->addOnsets(0, ours.onsets, truth);
                    t->addOnsets(1, ours.tiedOnsets, truth);
                    t->addOnsets(2, aubio.hfc, truth);
                    t->addOnsets(3, aubio.complex, truth);
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
