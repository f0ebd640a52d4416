// Clapped answers into the microphone, graded as a rhythm exercise grades them: every take goes
// sample by sample through the microphone source of the clapping input (as the exercise's input
// region feeds it, from 2 s before the first note) to the real Evaluator in rhythm mode. Claps of
// three levels and two decays, desk taps, tongue clicks and a spoken "ta" in two voices, on three
// rhythms (quarters; eighths; dotted) at 60-160 beats a minute, clean and in room noise at -65 and
// -45 dBFS; then noise-only takes and the question's own playback leaking in, which must give no
// input at all. CLAP_BENCH_QUICK=1 runs two tempi only, CLAP_BENCH_ONLY=<text> the sets whose
// name holds the text, CLAP_BENCH_TRACE=1 logs every attack and grade.
#include "ClapTakes.h"

#include "debug/Debugging.h"
#include "exercise/Evaluator.h"
#include "exercise/MicNoteInputSource.h"
#include "exercise/NoteInput.h"
#include "exercise/NoteInputManager.h"
#include "pitch/PitchDetector.h"
#include "score/Score.h"

#include <QGuiApplication>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

struct Tally {
    int takes = 0;
    int notes = 0;
    int right = 0;   // graded PERFECT at its own note: within 75 ms
    int inputs = 0;  // timed inputs the source passed on
    std::vector<double> errors;  // |graded minus written| of the notes answered, ms

    void add(const Tally& t)
    {
        takes += t.takes;
        notes += t.notes;
        right += t.right;
        inputs += t.inputs;
        errors.insert(errors.end(), t.errors.begin(), t.errors.end());
    }
    double percentile(double p) const
    {
        if (errors.empty())
            return 0.0;
        std::vector<double> e = errors;
        std::sort(e.begin(), e.end());
        return e[std::min(e.size() - 1, size_t(p * double(e.size())))];
    }
    double mean() const
    {
        double s = 0.0;
        for (double e : errors)
            s += e;
        return errors.empty() ? 0.0 : s / double(errors.size());
    }
};

Tally runTake(Score& answer, const std::vector<short>& samples)
{
    NoteInputManager* manager = NoteInputManager::getInstance();
    NoteInput* clapping = manager->mp_clappingInput;
    MicNoteInputSource* mic = manager->mp_micSource;
    Evaluator evaluator(answer);
    evaluator.setMode(Evaluator::RhythmMode);
    evaluator.setRhythmThresholds(0.075, 0.15, 0.25);
    clapping->reset();
    clapping->setEvaluator(&evaluator);
    mic->rewindCapture(qint64(samples.size())); // the take is the input region: its end ends the input
    clapping->start(ClapTakes::kLead);
    for (short s : samples)
        mic->newSample(0.0, s);
    mic->mp_detector->waitForInputEnd(std::chrono::milliseconds(3000));
    Tally t;
    t.takes = 1;
    t.inputs = clapping->inputCount();
    clapping->stop();
    clapping->setEvaluator(nullptr);
    for (const Evaluator::EvaluationEntry& e : evaluator.evaluationList()) {
        ++t.notes;
        if (!e.evaluated || e.skipped)
            continue;
        t.errors.push_back(std::fabs(e.timing) * 1000.0);
        if (e.rhythm == Evaluator::PERFECT)
            ++t.right;
    }
    return t;
}

void printRow(const std::string& name, const Tally& t)
{
    std::printf("| %-26s | %5d | %5d | %6.2f %% | %5d | %5.1f | %5.1f | %5.1f |\n", name.c_str(), t.takes, t.notes,
                t.notes ? 100.0 * t.right / t.notes : 0.0, t.inputs - t.right, t.mean(), t.percentile(0.9),
                t.percentile(1.0));
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    Score::initialize(QString(), false);
    if (std::getenv("CLAP_BENCH_TRACE")) {
        Debugging::initialize();
        Debugging::setLoggingLevel(QsLogging::DebugLevel);
        Debugging::enableConsoleLogging();
    }
    NoteInputManager* manager = NoteInputManager::getInstance();
    manager->initialize();
    manager->mp_clappingInput->setActiveSource(manager->mp_micSource);

    const bool quick = std::getenv("CLAP_BENCH_QUICK") != nullptr;
    const std::vector<int> tempi = quick ? std::vector<int>{60, 160} : std::vector<int>{60, 90, 120, 160};
    const std::vector<ClapTakes::Rhythm> rhythms = {
        {"quarters", {1, 1, 1, 1, 1, 1, 2}},
        {"eighths", {0.5, 0.5, 1, 0.5, 0.5, 1, 1, 0.5, 0.5, 2}},
        {"dotted", {1.5, 0.5, 1, 1, 1.5, 0.5, 2}},
    };
    const std::vector<double> noises = {-200.0, -65.0, -45.0};
    auto noiseName = [](double db) { return db < -120.0 ? std::string("clean") : std::to_string(int(db)) + " dBFS"; };

    struct Set {
        std::string name;
        ClapTakes::Kind kind;
        double level;
        double decay;
        const char* voice;
    };
    const std::vector<Set> sets = {
        {"clap -6 dBFS, 12 ms", ClapTakes::Clap, -6, 12, nullptr},
        {"clap -6 dBFS, 45 ms", ClapTakes::Clap, -6, 45, nullptr},
        {"clap -16 dBFS, 12 ms", ClapTakes::Clap, -16, 12, nullptr},
        {"clap -16 dBFS, 45 ms", ClapTakes::Clap, -16, 45, nullptr},
        {"clap -24 dBFS, 12 ms", ClapTakes::Clap, -24, 12, nullptr},
        {"clap -24 dBFS, 45 ms", ClapTakes::Clap, -24, 45, nullptr},
        {"desk tap -10 dBFS", ClapTakes::DeskTap, -10, 0, nullptr},
        {"desk tap -24 dBFS", ClapTakes::DeskTap, -24, 0, nullptr},
        {"tongue click -14 dBFS", ClapTakes::TongueClick, -14, 0, nullptr},
        {"tongue click -28 dBFS", ClapTakes::TongueClick, -28, 0, nullptr},
        {"spoken ta (male) -12 dBFS", ClapTakes::SpokenTa, -12, 0, "en"},
        {"spoken ta (female) -12 dBFS", ClapTakes::SpokenTa, -12, 0, "en+f3"},
    };

    std::mt19937 rng(23);
    std::map<std::string, Tally> byNoise, byTempo, byRhythm;
    Tally claps, all;
    std::printf("| set | takes | notes | graded right, within 75 ms | extra inputs | mean ms | p90 ms | max ms |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    const char* only = std::getenv("CLAP_BENCH_ONLY");
    for (const Set& set : sets) {
        if (only && set.name.find(only) == std::string::npos)
            continue;
        std::vector<double> ta;
        if (set.kind == ClapTakes::SpokenTa) {
            ta = ClapTakes::spokenTa(set.voice, set.level);
            if (ta.empty()) {
                std::printf("| %-26s | espeak-ng did not run |\n", set.name.c_str());
                continue;
            }
        }
        Tally row;
        for (const ClapTakes::Rhythm& rhythm : rhythms) {
            Score answer;
            if (!answer.setGMNCode(ClapTakes::gmn(rhythm)))
                return 1;
            for (int tempo : tempi) {
                answer.setTempo(tempo);
                const std::vector<double> starts = ClapTakes::starts(rhythm, tempo);
                const double seconds = ClapTakes::length(rhythm, tempo) + 1.0;
                for (double noise : noises) {
                    std::vector<std::vector<double>> sounds;
                    for (size_t i = 0; i < starts.size(); ++i) {
                        switch (set.kind) {
                        case ClapTakes::Clap: sounds.push_back(ClapTakes::clap(rng, set.level, set.decay)); break;
                        case ClapTakes::DeskTap: sounds.push_back(ClapTakes::deskTap(rng, set.level)); break;
                        case ClapTakes::TongueClick: sounds.push_back(ClapTakes::tongueClick(rng, set.level)); break;
                        case ClapTakes::SpokenTa: sounds.push_back(ta); break;
                        }
                    }
                    const auto room = ClapTakes::roomNoise(size_t((ClapTakes::kLead + seconds) * ClapTakes::kRate),
                                                           noise, rng);
                    const Tally t = runTake(answer, ClapTakes::take(room, sounds, starts));
                    row.add(t);
                    byNoise[noiseName(noise)].add(t);
                    byTempo[std::to_string(tempo) + " bpm"].add(t);
                    byRhythm[rhythm.name].add(t);
                }
            }
        }
        printRow(set.name, row);
        all.add(row);
        if (set.kind == ClapTakes::Clap)
            claps.add(row);
    }
    printRow("all claps", claps);
    printRow("all sounds", all);
    for (const auto& [name, t] : byNoise)
        printRow("all sounds, " + name, t);
    for (const auto& [name, t] : byTempo)
        printRow("all sounds, " + name, t);
    for (const auto& [name, t] : byRhythm)
        printRow("all sounds, " + name, t);

    // No answer at all: room noise only, and the question's playback leaking in at -45 dBFS.
    std::printf("\n| take without an answer | takes | inputs |\n|---|---|---|\n");
    std::map<std::string, Tally> silent;
    for (const ClapTakes::Rhythm& rhythm : rhythms) {
        Score answer;
        if (!answer.setGMNCode(ClapTakes::gmn(rhythm)))
            return 1;
        for (int tempo : tempi) {
            answer.setTempo(tempo);
            const std::vector<double> starts = ClapTakes::starts(rhythm, tempo);
            const double seconds = ClapTakes::length(rhythm, tempo) + 1.0;
            const size_t n = size_t((ClapTakes::kLead + seconds) * ClapTakes::kRate);
            for (double noise : noises)
                silent["room noise " + noiseName(noise)].add(
                    runTake(answer, ClapTakes::take(ClapTakes::roomNoise(n, noise, rng), {}, starts)));
            std::vector<double> leak = ClapTakes::playbackLeak(starts, 60.0 / tempo, seconds, -45.0);
            const std::vector<double> room = ClapTakes::roomNoise(leak.size(), -65.0, rng);
            for (size_t i = 0; i < leak.size(); ++i)
                leak[i] += room[i];
            silent["playback leak -45 dBFS peak"].add(runTake(answer, ClapTakes::take(leak, {}, {})));
        }
    }
    for (const auto& [name, t] : silent)
        std::printf("| %-30s | %5d | %5d |\n", name.c_str(), t.takes, t.inputs);
    manager->shutdown();
    return 0;
}
