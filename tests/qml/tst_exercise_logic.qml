import QtQuick 2.15
import QtTest 1.15
import "../../content/qml/js/ExerciseLogic.js" as Logic

// The question page's own decisions: input, engine settings, grades and the run's mark.
TestCase {
    name: "ExerciseLogic"

    function test_input_data() {
        return [
            { tag: "tapping", captureType: 1, clapping: "keyboard", source: "keyboard", says: "space bar" },
            { tag: "clapping", captureType: 1, clapping: "mic", source: "mic", says: "Clap" },
            { tag: "capture type as text", captureType: "1", clapping: "keyboard", source: "keyboard", says: "Tap" },
            { tag: "singing ignores clapping", captureType: 2, clapping: "keyboard", source: "mic", says: "Sing" },
            { tag: "playing ignores clapping", captureType: 3, clapping: "keyboard", source: "mic", says: "Play" },
            { tag: "no question yet", captureType: undefined, clapping: "keyboard", source: "mic", says: "" }
        ];
    }

    function test_input(data) {
        var settings = { input_default_clapping: data.clapping, input_default_singing: "mic",
                         input_default_playing: "mic" };
        compare(Logic.inputSource(data.captureType, settings), data.source);
        var instruction = Logic.answerInstruction(data.captureType, data.source);
        verify(data.says === "" ? instruction === "" : instruction.indexOf(data.says) >= 0, instruction);
    }

    // the lesson on answering says the input the settings choose for rhythm questions
    function test_rhythm_answer_text_follows_the_setting() {
        var tapped = Logic.rhythmAnswerText({ input_default_clapping: "keyboard" });
        var clapped = Logic.rhythmAnswerText({ input_default_clapping: "mic" });
        verify(tapped.indexOf("on the keyboard") >= 0 && tapped.indexOf("microphone") < 0, tapped);
        verify(clapped.indexOf("clapped into the microphone") >= 0 && clapped.indexOf("keyboard") < 0, clapped);
        compare(Logic.rhythmAnswerText(undefined), clapped);
    }

    function test_engine_settings_take_text_flags_and_nothing_else() {
        var s = Logic.engineSettings({ gmn: "[ c ]", captureType: "2", tempo: 60, playbackMetronomeCountIn: true,
                                       playbackMetronome: false, captureMetronomeCountIn: "true",
                                       captureMetronome: "false", capturePlayback: 0 });
        // the engine refuses a map without every key
        compare(s, { captureType: 2, playbackMetronomeCountIn: true, playbackMetronome: false,
                     captureMetronomeCountIn: true, captureMetronome: false, capturePlayback: false });
    }

    function test_last_attempt_of_each_question_makes_the_mark() {
        var run = Logic.newRun(3);
        var first = Logic.withAttempt(run, 0, 0.5);
        // a new run, so that the summary and the progress bar bound to it follow
        verify(first !== run);
        compare(run.marks, [-1, -1, -1]);
        run = Logic.withAttempt(first, 0, 1.4);    // a retry replaces the first try; clamped
        run = Logic.withAttempt(run, 1, -0.2);
        compare(Logic.withAttempt(run, 3, 1.0), run);  // no such question
        compare(run.marks, [1, 0, -1]);
        compare(Logic.answeredCount(run), 2);
        // the unanswered third question counts as nothing
        fuzzyCompare(Logic.runMark(run), 1 / 3, 1e-9);
        compare(Logic.runMark(Logic.newRun(0)), 0);
        compare([-1, 0, 0.666, 1].map(Logic.percentText), ["\u2013", "0%", "67%", "100%"]);
    }

    function test_keys_reach_the_engine_only_while_it_listens_data() {
        return [
            { tag: "answering", phase: "answering", keyboard: true, repeat: false, accepted: true },
            { tag: "count-in of the answer", phase: "ready", keyboard: true, repeat: false, accepted: true },
            { tag: "held key", phase: "answering", keyboard: true, repeat: true, accepted: false },
            { tag: "while the question plays", phase: "listening", keyboard: true, repeat: false, accepted: false },
            { tag: "after grading", phase: "graded", keyboard: true, repeat: false, accepted: false },
            { tag: "a sung question", phase: "answering", keyboard: false, repeat: false, accepted: false }
        ];
    }

    function test_keys_reach_the_engine_only_while_it_listens(data) {
        compare(Logic.acceptsKey(data.phase, data.keyboard, data.repeat), data.accepted);
    }
}
