// Median cost of the score's two heavy steps on typical questions:
//   set: setGMNCode of an 8-bar melody (rewriting, engine parse and layout over the pipe, note
//        list, measures, syllables, rescale with note rectangles);
//   sequence: laying it into a sequencer with count-in, metronome and the MIDI render.
#include "audio/AudioSequencer.h"
#include "audio/midi/MidiSynth.h"
#include "score/Score.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// An 8-bar question in 4/4 with quarters, eighth pairs, a dotted rhythm and a rest now and then.
QString question(QRandomGenerator& random)
{
    static const char* const names[] = {"c", "d", "e", "f", "g", "a", "b"};
    QString code = "[ \\meter<\"4/4\"> \\key<0> \\countIn \\metronome<\"accented\"> \\countingOverlay ";
    for (int bar = 0; bar < 8; ++bar) {
        for (int beat = 0; beat < 4; ++beat) {
            const auto note = [&] { return QString(names[random.bounded(7)]) + "1"; };
            switch (random.bounded(4)) {
            case 0:
                code += note() + "/8 " + note() + "/8 ";
                break;
            case 1:
                code += beat < 3 ? note() + "/4. " + note() + "/8 " : note() + "/4 ";
                beat += beat < 3;
                break;
            case 2:
                code += random.bounded(4) == 0 ? "_/4 " : note() + "/4 ";
                break;
            default:
                code += note() + "/4 ";
            }
        }
        code += bar < 7 ? "| " : "]";
    }
    return code;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QElapsedTimer timer;
    timer.start();
    Score::initialize(QString(), false);
    const double initMs = timer.nsecsElapsed() / 1e6;
    QString soundFont = QStringLiteral(BRISOLA_BINARY_DIR) + "/Resources/VessaGM6mb.sf2";
    if (!QFile::exists(soundFont))
        soundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";
    MidiSynth::instance()->initialize(soundFont);

    QRandomGenerator random(42);
    const int runs = 40;
    std::vector<double> setMs, sequenceMs;
    int notes = 0;
    Score score;
    // warm-up: the host's first layouts are slower
    score.setGMNCode(question(random));
    for (int i = 0; i < runs; ++i) {
        const QString code = question(random);
        timer.restart();
        if (!score.setGMNCode(code)) {
            std::fprintf(stderr, "refused: %s\n", qPrintable(code));
            return 1;
        }
        setMs.push_back(timer.nsecsElapsed() / 1e6);
        notes += score.noteCount();

        AudioSequencer sequencer(44100, 2);
        timer.restart();
        score.sequence(sequencer, 0.0);
        sequenceMs.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("score layer initialisation (engine start, 21 syllables): %.1f ms\n", initMs);
    std::printf("8-bar questions: %d, %.1f notes each, %.1f s each at tempo 100\n", runs, double(notes) / runs,
                score.duration());
    std::printf("setGMNCode (parse, layout, analysis, rectangles): median %.2f ms\n", median(setMs));
    std::printf("sequence (count-in, metronome, MIDI export and render, overlays): median %.2f ms\n",
                median(sequenceMs));
    return 0;
}
