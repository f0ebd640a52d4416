// Median cost of the score's two heavy steps on typical questions:
//   set: setGMNCode of an 8-bar melody (rewriting, engine parse and layout over the pipe, note
//        list, measures, syllables, rescale with note rectangles);
//   sequence: laying it into a sequencer with count-in, metronome and the MIDI render.
#include "audio/AudioSequencer.h"
#include "audio/midi/MidiSynth.h"
#include "score/Score.h"

#include "../BenchQuestions.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <vector>

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
    const QString tags = "\\countIn \\metronome<\"accented\"> \\countingOverlay ";
    score.setGMNCode(benchQuestion(random, 8, tags));
    for (int i = 0; i < runs; ++i) {
        const QString code = benchQuestion(random, 8, tags);
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
    std::printf("setGMNCode (parse, layout, analysis, rectangles): median %.2f ms\n", benchMedian(setMs));
    std::printf("sequence (count-in, metronome, MIDI export and render, overlays): median %.2f ms\n",
                benchMedian(sequenceMs));
    return 0;
}
