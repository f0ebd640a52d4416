import QtQuick 2.15
import QtTest 1.15
import "../../content/qml/js/FeedbackLogic.js" as Feedback

// What the screens tell the learner about a graded answer: each note's word and colour step, and
// the verdict on a take and on a run. Grades: 1 right, 2/3 early/late, 4/5 very early/late,
// 6/7 flat/sharp, 8/9 very flat/sharp, 10 wrong.
TestCase {
    name: "FeedbackLogic"

    function rhythm(grade, timing) { return { outcome: grade, rhythm: grade, pitch: 0, timing: timing || 0 }; }
    function pitch(grade) { return { outcome: grade, rhythm: 0, pitch: grade }; }
    function both(r, p) { return { outcome: p === 10 ? 10 : r, rhythm: r, pitch: p }; }
    function missed() { return { outcome: 10, skipped: true, rhythm: 10, pitch: 0 }; }

    function test_chip_of_every_grade_data() {
        return [
            { tag: "tap right", row: rhythm(1), word: "right", cls: "right" },
            { tag: "tap early", row: rhythm(2, -0.1), word: "early", cls: "close" },
            { tag: "tap late", row: rhythm(3, 0.1), word: "late", cls: "close" },
            { tag: "tap very early", row: rhythm(4, -0.2), word: "very early", cls: "far" },
            { tag: "tap very late", row: rhythm(5, 0.2), word: "very late", cls: "far" },
            { tag: "tap 300 ms early", row: rhythm(10, -0.3), word: "far too early", cls: "wrong" },
            { tag: "tap 300 ms late", row: rhythm(10, 0.3), word: "far too late", cls: "wrong" },
            { tag: "sung right", row: pitch(1), word: "right", cls: "right" },
            { tag: "a semitone flat", row: pitch(6), word: "flat", cls: "close" },
            { tag: "sharp", row: pitch(7), word: "sharp", cls: "close" },
            { tag: "very flat", row: pitch(8), word: "very flat", cls: "far" },
            { tag: "very sharp", row: pitch(9), word: "very sharp", cls: "far" },
            { tag: "F4 sung for C4", row: pitch(10), word: "wrong note", cls: "wrong" },
            { tag: "played late and flat", row: both(3, 6), word: "late, flat", cls: "close" },
            // the row shows the rhythm grade, the mark counts both halves: (1 + 0.75) / 2
            { tag: "played on time but sharp", row: both(1, 7), word: "sharp", cls: "close" },
            { tag: "played on time, wrong note", row: both(1, 10), word: "wrong note", cls: "far" },
            { tag: "never answered", row: missed(), word: "missed", cls: "wrong" },
            { tag: "sung note never heard", row: { outcome: 10, skipped: true, rhythm: 0, pitch: 10 },
              word: "missed", cls: "wrong" },
            { tag: "bare wrong grade", row: 10, word: "wrong", cls: "wrong" },
            { tag: "bare late grade", row: 3, word: "late", cls: "close" },
            { tag: "no grade yet", row: 0, word: "", cls: "none" }
        ];
    }

    function test_chip_of_every_grade(data) {
        compare(Feedback.gradeWord(data.row), data.word);
        compare(Feedback.gradeClass(data.row), data.cls);
    }

    // the badge of a one-note take and the chip of its note are on the same step
    function test_badge_and_chip_agree_for_every_grade() {
        for (var grade = 1; grade <= 10; ++grade) {
            var row = grade >= 6 ? pitch(grade) : rhythm(grade);
            compare(Feedback.markClass(Feedback.accuracyMark(grade)), Feedback.gradeClass(row), "grade " + grade);
        }
    }

    function test_mark_steps_data() {
        return [
            { tag: "not yet", mark: -1, cls: "none" },
            { tag: "all right", mark: 1, cls: "right" },
            { tag: "shown as 100%", mark: 0.996, cls: "right" },
            { tag: "one wrong of six", mark: 5 / 6, cls: "close" },
            { tag: "one flat note", mark: 0.75, cls: "close" },
            { tag: "just under close", mark: 0.749, cls: "far" },
            { tag: "half", mark: 0.5, cls: "far" },
            { tag: "under half", mark: 0.49, cls: "wrong" },
            { tag: "nothing", mark: 0, cls: "wrong" }
        ];
    }

    function test_mark_steps(data) {
        compare(Feedback.markClass(data.mark), data.cls);
    }

    function test_verdict_of_a_take_data() {
        var six = [pitch(1), pitch(1), pitch(1), pitch(10), pitch(1), pitch(1)];
        return [
            { tag: "six right", mark: 1, rows: [pitch(1), pitch(1), pitch(1), pitch(1), pitch(1), pitch(1)],
              says: "Excellent! All 6 notes right." },
            { tag: "one right note", mark: 1, rows: [pitch(1)], says: "Excellent! The note is right." },
            { tag: "one wrong of six, 83%", mark: 5 / 6, rows: six,
              says: "5 of 6 notes right. Work on the pitch (1 wrong note)." },
            { tag: "one note a semitone flat, 75%", mark: 0.75, rows: [pitch(6)],
              says: "0 of 1 note right. Work on the pitch (1 flat)." },
            { tag: "taps off both ways", mark: 0.4375,
              rows: [rhythm(1), rhythm(3, 0.1), rhythm(10, -0.3), rhythm(3, 0.12)],
              says: "1 of 4 notes right. Work on the timing (2 late, 1 far too early)." },
            { tag: "pitch and timing, one left out", mark: 0.5,
              rows: [both(1, 1), both(2, 1), both(1, 8), missed()],
              says: "1 of 4 notes right. Work on the pitch (1 very flat) and the timing (1 early). "
                    + "1 note missed." },
            { tag: "nothing answered", mark: 0, rows: [missed(), missed()],
              says: "0 of 2 notes right. 2 notes missed." },
            // the engine fills a rest's row; it is not a note of the take
            { tag: "a rest is not counted", mark: 1,
              rows: [rhythm(1), { outcome: 10, skipped: true, rest: true }, rhythm(1)],
              says: "Excellent! All 2 notes right." },
            { tag: "no rows, full mark", mark: 1, rows: [], says: "Excellent!" },
            { tag: "no rows, part mark", mark: 0.8, rows: [], says: "Listen again and have another go." },
            { tag: "not graded yet", mark: -1, rows: [], says: "" }
        ];
    }

    function test_verdict_of_a_take(data) {
        var text = Feedback.verdict(data.mark, data.rows);
        compare(text, data.says);
        if (data.mark < 1)
            verify(text.indexOf("Excellent") < 0 && text.indexOf("Well done") < 0, text);
    }

    // taps that came in the count-in were answers, too early to count: the notes they were meant for
    // are missed for that reason, not for want of an answer. Taps beyond the notes are said too, and
    // a take with them is not praised, whatever its mark.
    function test_verdict_with_ungraded_inputs_data() {
        var early = [missed(), missed(), rhythm(1), rhythm(1)];
        return [
            { tag: "taps in the count-in", rows: early, inputs: { early: 2, source: "keyboard", countIn: true },
              says: "2 of 4 notes right. 2 taps before the count-in ended, too early to count. "
                    + "2 notes not answered: begin with the first note, after the count-in." },
            { tag: "a clap without a count-in", rows: [missed(), rhythm(1)], inputs: { early: 1, source: "mic", countIn: false },
              says: "1 of 2 notes right. 1 clap before the first note, too early to count. "
                    + "1 note not answered: begin with the first note." },
            { tag: "none early", rows: early, inputs: { early: 0, source: "keyboard", countIn: true },
              says: "2 of 4 notes right. 2 notes missed." },
            { tag: "all right after an early tap", rows: [rhythm(1), rhythm(1)],
              inputs: { early: 1, source: "keyboard", countIn: true }, says: "Excellent! All 2 notes right." },
            { tag: "every beat tapped through the rests", rows: [rhythm(1), rhythm(1), rhythm(1)],
              inputs: { early: 0, extra: 2, source: "keyboard", countIn: true },
              says: "All 3 notes right. 2 taps more than the notes, not counted: tap once for each note." },
            { tag: "one clap, then another", rows: [rhythm(1)], inputs: { extra: 1, source: "mic" },
              says: "The note is right. 1 clap more than the notes, not counted: clap once for each note." },
            { tag: "a tap before a note took it, the one on time did not count",
              rows: [rhythm(1), rhythm(10, -0.5), rhythm(1)], inputs: { early: 0, extra: 1, source: "keyboard" },
              says: "2 of 3 notes right. Work on the timing (1 far too early). "
                    + "1 tap more than the notes, not counted: tap once for each note." },
            // once per note while notes went unanswered: the page has the count of those that took
            // no note, not their times, so where they fell is not said
            { tag: "rushed, once for each note",
              rows: [rhythm(1), rhythm(2, -0.1), rhythm(1), rhythm(4, -0.2), rhythm(1), rhythm(1), missed(), missed()],
              inputs: { early: 0, extra: 2, source: "keyboard" },
              says: "4 of 8 notes right. Work on the timing (1 early, 1 very early). 2 notes missed. "
                    + "2 taps matched no note." },
            { tag: "rushed, none taken", rows: [missed(), missed()], inputs: { extra: 2, source: "mic" },
              says: "0 of 2 notes right. 2 notes missed. 2 claps matched no note." },
            // dragging: a note passed over, the last one taken late, a tap after it
            { tag: "dragging, once for each note", rows: [rhythm(1), missed(), rhythm(3, 0.1), rhythm(5, 0.2)],
              inputs: { early: 0, extra: 1, source: "keyboard" },
              says: "1 of 4 notes right. Work on the timing (1 late, 1 very late). 1 note missed. "
                    + "1 tap matched no note." },
            { tag: "one tap off the notes and one more than them",
              rows: [rhythm(1), rhythm(1), rhythm(1), missed()], inputs: { early: 0, extra: 2, source: "keyboard" },
              says: "3 of 4 notes right. 1 note missed. 1 tap matched no note. "
                    + "1 tap more than the notes, not counted: tap once for each note." },
            // taps that began early account for the notes not answered; one more is more than the notes
            { tag: "early taps and one more", rows: [missed(), rhythm(1)], inputs: { early: 1, extra: 1, source: "keyboard" },
              says: "1 of 2 notes right. 1 tap before the first note, too early to count. "
                    + "1 note not answered: begin with the first note. "
                    + "1 tap more than the notes, not counted: tap once for each note." }
        ];
    }

    function test_verdict_with_ungraded_inputs(data) {
        var text = Feedback.verdict(0.5, data.rows, data.inputs);
        compare(text, data.says);
        if (data.inputs.extra > 0)
            verify(text.indexOf("Excellent") < 0, text);
        // no more inputs than notes: none is blamed for being one too many
        var taps = data.rows.filter(function (r) { return !r.skipped; }).length + (data.inputs.early || 0)
                   + (data.inputs.extra || 0);
        if (taps <= data.rows.length)
            verify(text.indexOf("more than the notes") < 0, text);
    }

    function test_verdict_of_a_run_data() {
        return [
            { tag: "all right", marks: [1, 1, 1], says: "Excellent! All 3 questions right." },
            { tag: "one question right", marks: [1], says: "Excellent! The question is right." },
            { tag: "one 92%", marks: [1, 0.92, 1],
              says: "2 of 3 questions fully right. Repeat it to raise your mark." },
            { tag: "one left out", marks: [1, -1],
              says: "1 of 2 questions fully right. 1 question not answered, counted as 0%. Repeat it to raise your mark." },
            { tag: "no questions", marks: [], says: "" }
        ];
    }

    function test_verdict_of_a_run(data) {
        compare(Feedback.runVerdict(data.marks), data.says);
    }

    // the rows a page reads from the engine: every role kept, rests told by the answer score
    function test_outcome_rows_from_the_engine_model() {
        var source = [{ outcome: 3, skipped: false, rhythm: 3, pitch: 0, timing: 0.11 },
                      { outcome: 10, skipped: true, rhythm: 10, pitch: 0, timing: 0 },
                      6];
        var model = { length: 3, get: function (i) { return typeof source[i] === "object" ? source[i] : { outcome: source[i] }; } };
        var score = { noteAtIndex: function (i) { return i === 1 ? "S" : "C1"; } };
        var rows = Feedback.outcomeRows(model, score);
        compare(rows, [{ outcome: 3, skipped: false, rhythm: 3, pitch: 0, timing: 0.11, rest: false },
                       { outcome: 10, skipped: true, rhythm: 10, pitch: 0, timing: 0, rest: true },
                       { outcome: 6, skipped: false, rhythm: 0, pitch: 0, timing: 0, rest: false }]);
        compare(Feedback.outcomeRows(null, score), []);
    }

    function test_counts_are_singular_or_plural() {
        compare([0, 1, 3].map(function (n) { return Feedback.countText(n, "question", "questions"); }),
                ["0 questions", "1 question", "3 questions"]);
    }
}
