// Median cost of an exercise's start() up to its playback, on typical 4- and 8-bar questions
// with count-ins and metronome: the engine's reset, both passes sequenced (MIDI render each
// time), markers, the expected notes, prepare, and play() opening the stream. play() alone on a
// bare timeline is timed too, so the engine's own share can be told apart. Runs on the ALSA
// "testcard" of scripts/test-env.sh (faster than real time); the timing errors of graded inputs
// come from the real-time tests (test_exercise_realtime prints them).
#include "audio/Audio.h"
#include "audio/AudioSequencer.h"
#include "audio/midi/MidiSynth.h"
#include "exercise/ImitationQuestionEngine.h"
#include "exercise/KeyboardNoteInputSource.h"
#include "exercise/NoteInput.h"
#include "exercise/NoteInputManager.h"
#include "score/Score.h"

#include "../BenchQuestions.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QSignalSpy>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

QVariantMap settings(int captureType)
{
    return {{"playbackMetronomeCountIn", true}, {"playbackMetronome", true}, {"captureMetronomeCountIn", true},
            {"captureMetronome", true},         {"capturePlayback", false},  {"captureType", captureType}};
}

// start() until play() has returned: the whole start state runs inside the first event pass.
double startToPlay(ImitationQuestionEngine& engine)
{
    QSignalSpy finished(&engine, &ImitationQuestionEngine::finished);
    QElapsedTimer timer;
    timer.start();
    engine.start();
    while (!engine.sequencer().isPlaying() && timer.elapsed() < 10000)
        QCoreApplication::processEvents();
    const double ms = timer.nsecsElapsed() / 1e6;
    finished.wait(20000);  // the test card plays the rest at once
    return ms;
}

double playAlone()
{
    AudioSequencer sequencer(44100, 2);
    sequencer.addSilence(1.0, 0.0, true);
    sequencer.prepare();
    QElapsedTimer timer;
    timer.start();
    sequencer.play();
    const double ms = timer.nsecsElapsed() / 1e6;
    sequencer.stop();
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    if (const char* alsaHome = std::getenv("ALSA_HOME"))
        setenv("HOME", alsaHome, 1);
    QGuiApplication app(argc, argv);
    Score::initialize(QString(), false);
    QString soundFont = QStringLiteral(BRISOLA_BINARY_DIR) + "/Resources/VessaGM6mb.sf2";
    if (!QFile::exists(soundFont))
        soundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";
    MidiSynth::instance()->initialize(soundFont);
    Audio::initialize();
    if (!Audio::outputDeviceList().contains("testcard")) {
        std::fprintf(stderr, "needs the ALSA test card: run under scripts/test-env.sh\n");
        return 1;
    }
    Audio::setOutputDevice("testcard");
    Audio::setInputDevice("testcard");
    NoteInputManager* manager = NoteInputManager::getInstance();
    manager->initialize();
    manager->mp_clappingInput->setActiveSource(manager->mp_keyboardSource);

    const int runs = 21;
    QRandomGenerator random(42);
    std::vector<double> alone;
    for (int i = 0; i < runs; ++i)
        alone.push_back(playAlone());
    std::printf("play() of a bare timeline on the test card: median %.1f ms\n", benchMedian(alone));
    for (int bars : {4, 8}) {
        for (int type : {1, 2}) {
            Score questionScore;
            ImitationQuestionEngine engine;
            engine.setQuestionScore(&questionScore);
            engine.setAnswerScore(&questionScore);
            engine.setSettingsMap(settings(type));
            std::vector<double> ms;
            int notes = 0;
            double seconds = 0.0;
            for (int i = 0; i <= runs; ++i) {
                if (!questionScore.setGMNCode(benchQuestion(random, bars)))
                    return 1;
                notes += questionScore.noteCount();
                seconds += questionScore.duration();
                const double t = startToPlay(engine);
                if (i > 0)  // the first start also builds the state machine
                    ms.push_back(t);
            }
            std::printf("%d bars (%.0f notes, %.1f s), %s capture, count-ins and metronome: start() to play() "
                        "median %.1f ms (min %.1f, max %.1f)\n",
                        bars, double(notes) / (runs + 1), seconds / (runs + 1), type == 1 ? "rhythm" : "pitch",
                        benchMedian(ms), *std::min_element(ms.begin(), ms.end()), *std::max_element(ms.begin(), ms.end()));
        }
    }
    return 0;
}
