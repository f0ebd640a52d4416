import QtQuick 2.15
import QtTest 1.15
import "../../content/qml/js/QuestionFollow.js" as Follow

// What the question page shows while a question runs, and the moves that must keep locks.
TestCase {
    name: "QuestionFollow"

    function test_heard_note_names_data() {
        return [
            { tag: "middle C", note: "C1", shown: "C4" },
            { tag: "sharp", note: "F#1", shown: "F#4" },
            { tag: "A 440", note: "A1", shown: "A4" },
            { tag: "low", note: "G0", shown: "G3" },
            { tag: "very low", note: "B-1", shown: "B2" },
            { tag: "rest", note: "S", shown: "" },
            { tag: "no note", note: "?", shown: "" },
            { tag: "undefined", note: undefined, shown: "" }
        ];
    }

    function test_heard_note_names(data) {
        compare(Follow.heardNoteText(data.note), data.shown);
    }

    // a module [A open, B locked, C completed] and a second one with one activity
    function course() {
        var module = { parent: { }, children: [] };
        ["A", "B", "C"].forEach(function (name, i) {
            module.children.push({ name: name, parent: module, state: [2, 1, 4][i] });
        });
        var other = { parent: { }, children: [] };
        other.children.push({ name: "D", parent: other, state: 2 });
        return { a: module.children[0], b: module.children[1], c: module.children[2], d: other.children[0] };
    }

    function test_moves_keep_locks_data() {
        return [
            { tag: "next onto a locked sibling", from: "a", step: 1, allowed: false },
            { tag: "previous onto a locked sibling", from: "c", step: -1, allowed: false },
            { tag: "previous onto an open sibling", from: "b", step: -1, allowed: true },
            { tag: "next onto a completed sibling", from: "b", step: 1, allowed: true },
            { tag: "next past the module: the course's next open one", from: "c", step: 1, allowed: true },
            { tag: "previous never leaves the module", from: "a", step: -1, allowed: false },
            { tag: "alone in its module", from: "d", step: -1, allowed: false }
        ];
    }

    function test_moves_keep_locks(data) {
        var items = course();
        compare(Follow.canStep(items[data.from], data.step), data.allowed);
    }

    // grade 1 [Rhythm [Intro, Exercise: Beat Tapping 1], quiz], grade 2 [Rhythm [Intro]], all but
    // grade 1's intro locked
    function test_a_locked_item_says_what_opens_it_data() {
        var root = { children: [] };
        var grade1 = { name: "Grade 1", parent: root, state: 2, children: [] };
        var grade2 = { name: "Grade 2", parent: root, state: 1, children: [] };
        root.children = [grade1, grade2];
        var rhythm1 = { name: "Rhythm", parent: grade1, state: 2, children: [] };
        var quiz = { name: "quiz", parent: grade1, state: 1, children: [] };
        grade1.children = [rhythm1, quiz];
        rhythm1.children = [{ name: "Intro", parent: rhythm1, state: 2 },
                            { name: "Exercise: Beat Tapping 1", parent: rhythm1, state: 1 },
                            { name: "quiz", parent: rhythm1, state: 1 }];
        var rhythm2 = { name: "Rhythm", parent: grade2, state: 1, children: [] };
        grade2.children = [rhythm2];
        rhythm2.children = [{ name: "Intro", parent: rhythm2, state: 1 }];
        return [
            { tag: "the activity before it", item: rhythm1.children[1], said: "Complete Intro first." },
            { tag: "shown by its display name", item: rhythm1.children[2], said: "Complete Beat Tapping 1 first." },
            { tag: "after a subject", item: quiz, said: "Complete Rhythm first." },
            { tag: "first of a locked grade: the grade before", item: rhythm2.children[0], said: "Complete Grade 1 first." },
            { tag: "a locked grade", item: grade2, said: "Complete Grade 1 first." },
            { tag: "the first of an open module: nothing to say", item: rhythm1.children[0], said: "" },
            { tag: "the first grade", item: grade1, said: "" }
        ];
    }

    function test_a_locked_item_says_what_opens_it(data) {
        compare(Follow.lockReason(data.item), data.said);
    }

    function test_no_activity_no_move() {
        compare([Follow.canStep(null, 1), Follow.canStep(null, -1), Follow.neighbour(null, 1)], [false, false, null]);
    }
}
