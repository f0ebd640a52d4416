import QtQuick 2.15
import QtTest 1.15
import "../../content/qml/js/ExerciseLogic.js" as Logic

// The question page's own decisions: input, engine settings, grades and the run's mark.
TestCase {
    name: "ExerciseLogic"

    function test_input_data() {
        return [
            { tag: "rhythm, keyboard default", captureType: 1, clapping: "keyboard", source: "keyboard" },
            { tag: "rhythm, clapping into the mic", captureType: 1, clapping: "mic", source: "mic" },
            { tag: "capture type as text", captureType: "1", clapping: "keyboard", source: "keyboard" },
            { tag: "singing ignores the clapping choice", captureType: 2, clapping: "keyboard", source: "mic" },
            { tag: "playing ignores the clapping choice", captureType: 3, clapping: "keyboard", source: "mic" },
            { tag: "no question yet", captureType: undefined, clapping: "keyboard", source: "mic" }
        ];
    }

    function test_input(data) {
        var settings = { input_default_clapping: data.clapping, input_default_singing: "mic",
                         input_default_playing: "mic" };
        compare(Logic.inputSource(data.captureType, settings), data.source);
        compare(Logic.usesKeyboard(data.captureType, settings), data.source === "keyboard");
        verify(Logic.answerInstruction(data.captureType, data.source).length > 0 || data.captureType === undefined);
    }

    function test_instruction_names_the_way_to_answer() {
        verify(Logic.answerInstruction(1, "keyboard").indexOf("space bar") >= 0);
        verify(Logic.answerInstruction(1, "mic").indexOf("microphone") >= 0);
        verify(Logic.answerInstruction(2, "mic").indexOf("Sing") === 0);
        verify(Logic.answerInstruction(3, "mic").indexOf("Play") === 0);
    }

    function test_engine_settings_from_resolved_attributes() {
        var s = Logic.engineSettings({ gmn: "[ c ]", captureType: 2, tempo: 60, playbackMetronomeCountIn: true,
                                       playbackMetronome: false, captureMetronomeCountIn: "true",
                                       captureMetronome: "false", capturePlayback: 0 });
        compare(s, { captureType: 2, playbackMetronomeCountIn: true, playbackMetronome: false,
                     captureMetronomeCountIn: true, captureMetronome: false, capturePlayback: false });
        // the engine refuses a map without every key; nothing else may leak into it
        compare(Object.keys(s).length, 6);
    }

    function test_grades_data() {
        return [
            { tag: "none", accuracy: 0, cls: "none", label: "" },
            { tag: "perfect", accuracy: 1, cls: "right", label: "right" },
            { tag: "early", accuracy: 2, cls: "close", label: "early" },
            { tag: "late", accuracy: 3, cls: "close", label: "late" },
            { tag: "very early", accuracy: 4, cls: "far", label: "very early" },
            { tag: "very late", accuracy: 5, cls: "far", label: "very late" },
            { tag: "low", accuracy: 6, cls: "close", label: "flat" },
            { tag: "high", accuracy: 7, cls: "close", label: "sharp" },
            { tag: "very low", accuracy: 8, cls: "far", label: "very flat" },
            { tag: "very high", accuracy: 9, cls: "far", label: "very sharp" },
            { tag: "wrong", accuracy: 10, cls: "wrong", label: "missed" }
        ];
    }

    function test_grades(data) {
        compare(Logic.gradeClass(data.accuracy), data.cls);
        compare(Logic.gradeLabel(data.accuracy), data.label);
    }

    function test_outcome_rows_become_a_list_of_grades() {
        var rows = [{ outcome: 1 }, { outcome: "10" }, { outcome: 3 }];
        compare(Logic.outcomeList({ length: 3, get: function (i) { return rows[i]; } }), [1, 10, 3]);
        compare(Logic.outcomeList(null), []);
    }

    function test_notes_are_numbered_without_the_rests() {
        var score = { noteAtIndex: function (i) { return ["C1", "S", "E1", "S", "G1"][i]; } };
        compare(Logic.soundingNumber(score, 0), 1);
        compare(Logic.soundingNumber(score, 2), 2);
        compare(Logic.soundingNumber(score, 4), 3);
        compare(Logic.soundingNumber(null, 4), 5);
    }

    function test_last_attempt_of_each_question_makes_the_mark() {
        var run = Logic.newRun(3);
        compare(Logic.answeredCount(run), 0);
        var first = Logic.withAttempt(run, 0, 0.5);
        verify(first !== run, "a new run, so that bindings on it follow");
        compare(run.marks, [-1, -1, -1]);
        run = Logic.withAttempt(first, 0, 1.0);   // a retry replaces the first try
        run = Logic.withAttempt(run, 1, 0.75);
        compare(Logic.withAttempt(run, 3, 1.0), run);  // no such question
        compare(Logic.withAttempt(run, -1, 1.0), run);
        compare(run.attempts, 3);
        compare(Logic.answeredCount(run), 2);
        verify(!Logic.isLastQuestion(run, 1));
        verify(Logic.isLastQuestion(run, 2));
        // the unanswered third question counts as nothing
        fuzzyCompare(Logic.runMark(run), (1.0 + 0.75) / 3, 1e-9);
        run = Logic.withAttempt(run, 2, 0.25);
        fuzzyCompare(Logic.runMark(run), 2.0 / 3, 1e-9);
    }

    function test_marks_are_clamped_and_empty_runs_score_nothing() {
        var run = Logic.withAttempt(Logic.withAttempt(Logic.newRun(2), 0, 1.4), 1, -0.2);
        compare(run.marks, [1, 0]);
        compare(Logic.runMark(Logic.newRun(0)), 0);
    }

    function test_percent_text_data() {
        return [
            { tag: "none", mark: -1, text: "\u2013" },
            { tag: "zero", mark: 0, text: "0%" },
            { tag: "rounded", mark: 0.666, text: "67%" },
            { tag: "full", mark: 1, text: "100%" }
        ];
    }

    function test_percent_text(data) {
        compare(Logic.percentText(data.mark), data.text);
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
