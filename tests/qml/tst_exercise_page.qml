import QtQuick 2.15
import QtTest 1.15
import "../../content/qml/components"
import "ContrastWalk.js" as Walk

// The question page against stand-ins for the engine (doubles/) and for the course facades: what
// it records through the question context, the interaction lock, and the activity's end.
Item {
    id: root

    // the "runtime" map the program publishes, as far as the page reads it
    property QtObject runtime: QtObject {
        property QtObject globals: QtObject {
            property int depth: 0
            function pushLock() { depth += 1; }
            function popLock() { depth = Math.max(0, depth - 1); }
        }
        property QtObject course: QtObject {
            property int nextCalls: 0
            function nextActivity() { nextCalls += 1; }
        }
        property var settings: undefined
        property QtObject calibration: QtObject {
            property QtObject inputLevelMeter: QtObject {
                property bool running: false
                property int starts: 0
                signal newInputLevel(real level)
                function follow() { running = true; starts += 1; }
                function stop() { running = false; }
            }
        }
    }

    width: 800
    height: 600

    QtObject {
        id: context

        property var questions: []
        property int count: 0
        property var outcomes: []
        property var marks: []
        property real ratingDelta: 4
        property int loads: 0
        // as the program's context: a refused save is kept, the next good one saves what was kept
        property bool refuseSaves: false
        property int unsavedCount: 0
        property bool unsavedInFile: false

        function load() { loads += 1; count = questions.length; }
        function start() {}
        function question(i) { return questions[i]; }
        function submitQuestionOutcome(i, mark) {
            outcomes.push([i, mark]);
            unsavedCount = refuseSaves ? unsavedCount + 1 : 0;
        }
        function submitMark(mark) { marks.push(mark); }
    }

    QtObject {
        id: activity

        property string name: "Exercise: Beat Tapping 1"
        property int state: 2
        property var questionContext: context
        // as the course item when the records refuse the completion for good: it stays as it was
        property bool refuseCompletion: false

        onStateChanged: {
            if (refuseCompletion && state !== 2)
                state = 2;
        }
    }

    Component {
        id: pageComponent

        ExercisePage {
            width: root.width
            height: root.height
        }
    }

    function question(captureType) {
        return { gmn: "[ x x x x ]", captureType: captureType, tempo: 80 };
    }

    TestCase {
        name: "ExercisePage"
        when: windowShown

        property var page: null

        function init() {
            context.outcomes = [];
            context.marks = [];
            context.loads = 0;
            context.refuseSaves = false;
            context.unsavedCount = 0;
            context.unsavedInFile = false;
            activity.refuseCompletion = false;
            activity.state = 2;
            runtime.course.nextCalls = 0;
            runtime.globals.depth = 0;
            runtime.calibration.inputLevelMeter.running = false;
        }

        function cleanup() {
            if (page)
                page.destroy();
            page = null;
            wait(0);
        }

        function open(questions, properties) {
            context.questions = questions;
            page = createTemporaryObject(pageComponent, root, properties || {});
            page.activity = activity;
            page.forceActiveFocus();
            return page;
        }

        // the started question to its grade; the engine's grades are given as rows
        function answer(mark, rows) {
            var engine = page.engine;
            engine.rows = rows || [1];
            engine.finished(mark);
            return engine;
        }

        function test_every_answer_is_recorded_and_the_last_try_makes_the_mark() {
            open([question(1), question(1)]);
            compare(context.loads, 1);
            keyClick(Qt.Key_Return);                 // Start
            compare(runtime.globals.depth, 1, "the run holds the interaction lock");
            var first = answer(0.5, [1, 10]);
            compare(first.settings.captureType, 1);
            compare(page.grades.map(function (g) { return g.outcome; }), [1, 10]);
            // the verdict counts the notes, never praises a take with a wrong note
            var verdict = findChild(page, "verdict").text;
            verify(verdict.indexOf("1 of 2 notes right.") === 0, verdict);
            compare(runtime.globals.depth, 0, "the lock is given back once graded");
            page.startQuestion();                    // Retry: the same question on the same engine
            compare(first.starts, 2);
            first.finished(1.0);
            keyClick(Qt.Key_Return);                 // Continue: the next question starts at once
            verify(page.engine !== first, "each question gets its own engine");
            page.engine.finished(0.5);
            keyClick(Qt.Key_Return);                 // Finish
            compare(context.outcomes, [[0, 0.5], [0, 1.0], [1, 0.5]]);
            compare(context.marks, [0.75]);
            compare(activity.state, 4, "the exercise is completed");
            summaryTakesReturn();
            keyClick(Qt.Key_Return);                 // Next activity
            compare(runtime.course.nextCalls, 1);
        }

        // the summary shows a moment before Return leaves it
        function summaryTakesReturn() {
            tryCompare(findChild(page, "summaryHold"), "running", false);
        }

        // Return pressed twice on the last graded question: the second press does not skip the
        // summary, a later one goes on, and the summary's own button goes on at once
        function test_return_pressed_twice_on_the_last_question_shows_the_summary_data() {
            return [{ tag: "exercise", practiceMode: false }, { tag: "practice", practiceMode: true }];
        }

        function test_return_pressed_twice_on_the_last_question_shows_the_summary(data) {
            open([question(1)], { practiceMode: data.practiceMode });
            var left = 0;
            page.leaveRequested.connect(function () { left += 1; });
            keyClick(Qt.Key_Return);                 // Start
            answer(1.0);
            keyClick(Qt.Key_Return);                 // Finish
            keyClick(Qt.Key_Return);
            compare(page.phase, "summary");
            compare(left + runtime.course.nextCalls, 0);
            verify(findChild(page, "runSummaryHeading").visible);
            summaryTakesReturn();
            keyClick(Qt.Key_Return);
            compare(left + runtime.course.nextCalls, 1);

            page.begin();
            keyClick(Qt.Key_Return);
            answer(1.0);
            keyClick(Qt.Key_Return);
            mouseClick(findChild(page, "nextActivityButton"));
            compare(left + runtime.course.nextCalls, 2);
        }

        // a failed sound is nobody's answer: nothing recorded, the reason shown, Start again runs it
        function test_a_failed_playback_records_nothing_and_starts_again() {
            open([question(1)], { testMode: true });
            keyClick(Qt.Key_Return);                 // Start
            var engine = page.engine;
            engine.failed("failed to open stream (Device unavailable)");
            compare(context.outcomes, []);
            compare(page.lastMark, -1);
            compare(runtime.globals.depth, 0, "the lock is given back");
            var message = findChild(page, "failureText");
            verify(message.visible);
            compare(message.text, "The question could not be played: failed to open stream (Device unavailable).");
            verify(findChild(page, "startAgainButton").visible);
            keyClick(Qt.Key_Return);                 // Start again: the same question, one try still
            compare(engine.starts, 2);
            verify(!message.visible);
            compare(runtime.globals.depth, 1);
            answer(1.0);
            compare(context.outcomes, [[0, 1.0]]);
        }

        function test_an_unsaved_answer_is_told_and_the_run_goes_on() {
            open([question(1), question(1), question(1)]);
            var notice = findChild(page, "unsavedNotice");
            verify(!notice.visible);
            keyClick(Qt.Key_Return);
            context.refuseSaves = true;
            answer(0.5);
            verify(notice.visible, "the learner is told the answer waits");
            verify(notice.text.indexOf("not saved yet") >= 0, notice.text);
            // kept in memory only: no promise about the next start
            verify(notice.text.indexOf("lost") >= 0, notice.text);
            context.unsavedInFile = true;
            verify(notice.text.indexOf("next time") >= 0, notice.text);
            verify(notice.text.indexOf("lost") < 0, notice.text);
            compare(page.phase, "graded");
            keyClick(Qt.Key_Return);                 // Continue: the run goes on
            compare(page.questionIndex, 1);
            answer(1.0);
            verify(notice.visible, "still two answers waiting");
            context.refuseSaves = false;
            keyClick(Qt.Key_Return);
            answer(1.0);
            verify(!notice.visible, "all saved: the notice goes");
            compare(context.outcomes.length, 3);
        }

        // "Completed" is said only when the activity's completion is stored or kept
        function test_the_summary_says_completed_only_when_the_completion_stands_data() {
            return [{ tag: "stands", refuse: false, heading: "Completed with 75%", state: 4 },
                    { tag: "refused", refuse: true, heading: "Your mark: 75%", state: 2 }];
        }

        function test_the_summary_says_completed_only_when_the_completion_stands(data) {
            activity.refuseCompletion = data.refuse;
            open([question(1)]);
            keyClick(Qt.Key_Return);
            answer(0.75);
            keyClick(Qt.Key_Return);                 // Finish
            compare(page.phase, "summary");
            compare(activity.state, data.state);
            var heading = findChild(page, "runSummaryHeading");
            compare(heading.text, data.heading);
        }

        function test_an_activity_with_no_questions_says_so() {
            open([]);
            var start = findChild(page, "startButton");
            verify(start.visible && !start.enabled);
            var notice = findChild(page, "noticeText");
            verify(notice.visible);
            verify(notice.text.indexOf("no questions") >= 0);
            open([question("pitch")]);
            verify(!findChild(page, "noticeText").visible);
        }

        function test_a_test_offers_no_retry() {
            open([question(1)], { testMode: true });
            keyClick(Qt.Key_Return);
            answer(1.0);
            verify(!findChild(page, "retryButton").visible);
        }

        function test_practice_records_the_mark_but_changes_no_state() {
            open([question(2)], { practiceMode: true });
            var left = 0;
            page.leaveRequested.connect(function () { left += 1; });
            keyClick(Qt.Key_Return);
            answer(0.25);
            keyClick(Qt.Key_Return);
            compare(context.marks, [0.25]);
            compare(activity.state, 2);
            summaryTakesReturn();
            keyClick(Qt.Key_Return);
            compare([left, runtime.course.nextCalls], [1, 0]);
        }

        // Escape and the Stop button end a running question through the engine; nothing is
        // recorded, not even a grade the engine still delivers, and Start runs it again
        function test_a_running_question_stops_and_records_nothing_data() {
            return [
                { tag: "Escape while the question plays", reach: [], how: "escape" },
                { tag: "Escape during the count-in", reach: ["playbackEnd", "preCapture"], how: "escape" },
                { tag: "Stop while answering", reach: ["playbackEnd", "preCapture", "userInputBegin"], how: "button" }
            ];
        }

        function test_a_running_question_stops_and_records_nothing(data) {
            open([question(2)]);
            keyClick(Qt.Key_Return);
            var engine = page.engine;
            var meter = runtime.calibration.inputLevelMeter;
            var aborted = 0;
            engine.aborting.connect(function () { aborted += 1; });
            data.reach.forEach(function (signalName) { engine[signalName](); });
            verify(findChild(page, "stopButton").enabled);
            compare([runtime.globals.depth, meter.running], [1, true]);
            if (data.how === "escape")
                keyClick(Qt.Key_Escape);
            else
                mouseClick(findChild(page, "stopButton"));
            compare([aborted, page.phase, runtime.globals.depth, meter.running], [1, "intro", 0, false]);
            verify(findChild(page, "noticeText").visible);
            engine.finished(1.0);                    // too late: the question was stopped
            compare([context.outcomes, page.lastMark], [[], -1]);
            keyClick(Qt.Key_Escape);                 // nothing runs: nothing to abort
            compare(aborted, 1);
            keyClick(Qt.Key_Return);                 // Start again
            compare([engine.starts, page.phase, findChild(page, "noticeText").visible], [2, "listening", false]);
            engine.finished(0.5);
            compare(context.outcomes, [[0, 0.5]]);
        }

        function test_grading_cannot_be_stopped() {
            open([question(1)]);
            keyClick(Qt.Key_Return);
            page.engine.userInputEnd();
            compare(page.phase, "grading");
            verify(!findChild(page, "stopButton").enabled);
            keyClick(Qt.Key_Escape);
            page.engine.finished(0.75);
            compare(context.outcomes, [[0, 0.75]]);
        }

        // the question alone through its own score: no count-in, no metronome; Start stops it first
        function test_listen_plays_the_question_alone() {
            open([question(1)]);
            var listened = findChild(page, "listenScore");
            compare([listened.gmnCode, listened.tempo, listened.metronomeCountIn, listened.metronomeScore],
                    ["[ x x x x ]", 80, false, false]);
            keyClick(Qt.Key_L);
            compare([listened.plays, listened.playing], [1, true]);
            keyClick(Qt.Key_L);                      // again: stops it
            compare(listened.playing, false);
            mouseClick(findChild(page, "listenButton"));
            compare([listened.plays, listened.playing], [2, true]);
            keyClick(Qt.Key_Return);                 // Start: one playback at a time
            compare([listened.playing, page.phase], [false, "listening"]);
            keyClick(Qt.Key_L);                      // nothing to hear while the question runs
            compare(listened.plays, 2);
            answer(1.0);
            verify(findChild(page, "listenButton").visible, "and after the answer");
            keyClick(Qt.Key_L);
            compare(listened.plays, 3);
            compare(findChild(page, "tempoLabel").text, "Tempo \u2669 = 80");
            // a sound that cannot be made says why, until the next Start
            listened.failWith = "its sound could not be written to /tmp (No space left on device)";
            keyClick(Qt.Key_L);
            keyClick(Qt.Key_L);
            var message = findChild(page, "failureText");
            compare([listened.plays, message.visible, message.text], [3, true,
                    "The question could not be played: its sound could not be written to /tmp (No space left on device)."]);
            mouseClick(findChild(page, "retryButton"));
            answer(1.0);
            verify(!message.visible);
        }

        // each grade colours its note as it comes; the note heard is named for a sung answer
        function test_grades_and_heard_notes_come_as_the_answer_runs() {
            open([question(2)]);
            keyClick(Qt.Key_Return);
            var engine = page.engine;
            engine.userInputBegin();
            engine.rows = [1];
            compare(page.grades.map(function (g) { return g.outcome; }), [1]);
            compare(findChild(page, "heardNote").text, "Heard: C4");
            engine.rows = [1, { outcome: 10, skipped: true }];
            compare(page.grades.map(function (g) { return g.outcome; }), [1, 10]);
            compare(findChild(page, "heardNote").text, "Heard: C4", "a note never sung was not heard");
        }

        // a microphone answer that earned nothing at a quiet room's level says so
        function test_nothing_heard_points_to_calibration_data() {
            return [
                { tag: "silence", level: 0.0001, mark: 0, said: true },
                { tag: "a voice, all wrong", level: 0.2, mark: 0, said: false },
                { tag: "a voice, some right", level: 0.2, mark: 0.5, said: false }
            ];
        }

        function test_nothing_heard_points_to_calibration(data) {
            open([question(2)]);
            keyClick(Qt.Key_Return);
            var meter = runtime.calibration.inputLevelMeter;
            compare(meter.running, true, "the meter runs from the question's start");
            page.engine.preCapture();
            meter.newInputLevel(data.level);
            answer(data.mark, [10]);
            compare(meter.running, false);
            compare(findChild(page, "nothingHeardText").visible, data.said);
        }

        // item whole on the page and, inside a scrolled view, in its visible part
        function inSight(item) {
            var ring = 2 * Theme.focusWidth;
            var at = item.mapToItem(page, 0, 0);
            if (at.y < 0 || at.y + item.height + ring > page.height)
                return false;
            for (var p = item.parent; p && p !== page; p = p.parent) {
                if (p.contentY === undefined || p.flickableDirection === undefined)
                    continue;
                var inView = item.mapToItem(p, 0, 0);
                return inView.y >= 0 && inView.y + item.height <= p.height;
            }
            return true;
        }

        // in the room an 800x600 screen leaves under a window manager's title bar, the header and the
        // bar of Previous and Next, with a one-staff question and answer and the message that nothing was
        // heard, the notes' grades, the mark's row and Continue are in sight; with a notice of unsaved
        // results on top too, the buttons still are and the rest scrolls
        function test_continue_stays_in_sight_on_a_small_screen() {
            open([question(2)], { width: 798, height: 600 - 30 - 1 - Theme.headerHeight - (Theme.headerHeight - 4) });
            keyClick(Qt.Key_Return);
            page.engine.preCapture();
            runtime.calibration.inputLevelMeter.newInputLevel(0.0001);
            answer(0, [10, 10, 10, 10]);
            var scores = [];
            var walk = function (item) {
                if (item.score !== undefined && item.maximumHeight !== undefined)
                    scores.push(item);
                for (var i = 0; i < item.children.length; ++i)
                    walk(item.children[i]);
            };
            walk(page);
            compare(scores.length, 2, "the question and the answer");
            scores.forEach(function (view) {
                if (view.score.gmnCode === "")
                    view.score.gmnCode = "[ c d e f ]";  // the engine's answer, as the stand-in writes none
                // one staff as the notation engine draws it at this width: the view 100 px high
                view.score.height = 72;
                verify(view.visible);
            });
            verify(findChild(page, "nothingHeardText").visible);
            waitForRendering(page);
            ["continueButton", "retryButton", "listenButton", "nothingHeardText", "outcomeStrip"].forEach(function (name) {
                var item = findChild(page, name);
                verify(inSight(item), name + " at " + item.mapToItem(page, 0, 0).y + ", " + item.height + " high");
            });
            context.unsavedCount = 1;
            verify(findChild(page, "unsavedNotice").visible);
            waitForRendering(page);
            ["continueButton", "retryButton", "listenButton", "nothingHeardText"].forEach(function (name) {
                verify(inSight(findChild(page, name)), name + " with the notice");
            });
            keyClick(Qt.Key_Return);                 // Continue: the summary
            compare(page.phase, "summary");
        }

        function test_keyboard_answers_need_no_meter() {
            runtime.settings = { input_default_clapping: "keyboard" };
            open([question(1)]);
            keyClick(Qt.Key_Return);
            compare(runtime.calibration.inputLevelMeter.running, false);
            answer(0);
            verify(!findChild(page, "nothingHeardText").visible);
            runtime.settings = undefined;
        }

        // taps in the count-in and taps beyond the notes: the page says they were not counted, in the
        // words of the input chosen; the notes' reasons come from the engine's grade model, its outcome
        // model has none
        function test_ungraded_taps_are_told_data() {
            return [
                { tag: "keyboard", clapping: "keyboard", says: "2 taps before the count-in ended, too early to count.",
                  extra: "3 taps more than the notes, not counted: tap once for each note." },
                { tag: "microphone", clapping: "mic", says: "2 claps before the count-in ended, too early to count.",
                  extra: "3 claps more than the notes, not counted: clap once for each note." }
            ];
        }

        function test_ungraded_taps_are_told(data) {
            runtime.settings = { input_default_clapping: data.clapping };
            var counted = question(1);
            counted.captureMetronomeCountIn = true;
            open([counted]);
            keyClick(Qt.Key_Return);
            var missed = { outcome: 10, skipped: true, rhythm: 10, pitch: 0, timing: 0 };
            var right = { outcome: 1, skipped: false, rhythm: 1, pitch: 0, timing: 0 };
            page.engine.earlyInputs = 2;
            page.engine.extraInputs = 3;
            answer(0.5, [missed, missed, right, right]);
            var verdict = findChild(page, "verdict").text;
            verify(verdict.indexOf(data.says) >= 0, verdict);
            verify(verdict.indexOf(data.extra) >= 0, verdict);
            verify(verdict.indexOf("answer every note") < 0, verdict);
            compare(page.grades.map(function (g) { return g.skipped; }), [true, true, false, false]);
            page.startQuestion();                    // Retry: nothing early or extra yet
            compare(page.earlyInputs + page.extraInputs, 0);
            runtime.settings = undefined;
        }

        // the texts of the page as it asks, answers and sums up, each on what is under it, and the
        // focus of its buttons, read from the items themselves
        function test_every_colour_pair_reaches_its_contrast() {
            open([question(1), question(2)]);
            var rows = Walk.textPairs(page, Theme.background);
            rows.push(Walk.focusPair(page, findChild(page, "startButton"), Theme.background));
            keyClick(Qt.Key_Return);
            var all = { outcome: 1, skipped: false, rhythm: 1, pitch: 0, timing: 0 };
            answer(0.5, [all, { outcome: 3, skipped: false, rhythm: 3, pitch: 0, timing: 0.1 },
                         { outcome: 5, skipped: false, rhythm: 5, pitch: 0, timing: 0.2 },
                         { outcome: 10, skipped: true, rhythm: 10, pitch: 0, timing: 0 }]);
            rows = rows.concat(Walk.textPairs(page, Theme.background));
            rows.push(Walk.focusPair(page, findChild(page, "continueButton"), Theme.background));
            keyClick(Qt.Key_Return);
            answer(1.0);
            keyClick(Qt.Key_Return);                 // the summary
            rows = rows.concat(Walk.textPairs(page, Theme.background));
            verify(rows.length > 20, rows.length + " pairs");
            compare(Walk.failures(rows), "");
        }

        function test_leaving_mid_question_stops_the_engine_and_frees_the_lock() {
            open([question(1)]);
            keyClick(Qt.Key_Return);
            var engine = page.engine;
            var aborted = 0;
            engine.aborting.connect(function () { aborted += 1; });
            page.destroy();
            page = null;
            wait(0);
            compare(aborted, 1);
            compare(runtime.globals.depth, 0);
        }
    }
}
