import QtQuick 2.15
import QtTest 1.15
import "../../content/qml/js/CourseLogic.js" as CourseLogic

// The course map's names, states and completion.
TestCase {
    name: "CourseLogic"

    function test_display_names_data() {
        return [
            { tag: "exercise", name: "Exercise: Interval Singing 2", shown: "Interval Singing 2" },
            { tag: "quiz", name: "quiz", shown: "Quiz" },
            { tag: "exam", name: "exam", shown: "Exam" },
            { tag: "end of course", name: "#endofcourse#", shown: "End of the course" },
            { tag: "practice", name: "#practice#", shown: "Practice" },
            { tag: "lesson", name: "How to Answer", shown: "How to Answer" }
        ];
    }

    function test_display_names(data) {
        compare(CourseLogic.displayName(data.name), data.shown);
    }

    function test_open_locks_and_completion() {
        // none, locked, unlocked, aborted (started), completed, invalid
        compare([0, 1, 2, 3, 4, 5].map(CourseLogic.canOpen), [false, false, true, true, true, false]);
        compare(CourseLogic.completion([4, 2, 1, 4, 4, 1, 1]), { done: 3, total: 7, percent: 42 });
        compare(CourseLogic.completion([]).percent, 0);
        // grades unlock in order: only the first locked one offers it
        compare(CourseLogic.unlockableGrade([4, 2, 1, 1]), 2);
        compare(CourseLogic.unlockableGrade([2, 2]), -1);
        // Next past the end of the course would be a fatal report
        verify(!CourseLogic.canGoNext(CourseLogic.Type.EndOfCourse));
        verify(CourseLogic.canGoNext(CourseLogic.Type.Test));
    }

    // two subjects side by side (three and two tiles), a grade's exam tile below both; the walk
    // through a real map is in tst_course_map
    function test_arrow_keys_move_to_the_nearest_tile_that_way_data() {
        return [
            { tag: "down the column", from: 0, direction: "down", to: 1 },
            { tag: "across to the same row", from: 1, direction: "right", to: 4 },
            { tag: "from the short column down to the nearest tile below", from: 4, direction: "down", to: 2 },
            { tag: "nothing further left", from: 0, direction: "left", to: -1 },
            { tag: "a key that is no arrow", from: 0, direction: "home", to: -1 },
            { tag: "no such tile", from: 9, direction: "down", to: -1 }
        ];
    }

    function test_arrow_keys_are_named() {
        compare([Qt.Key_Left, Qt.Key_Right, Qt.Key_Up, Qt.Key_Down, Qt.Key_Tab, Qt.Key_Return]
                .map(CourseLogic.arrowDirection), ["left", "right", "up", "down", "", ""]);
    }

    function test_arrow_keys_move_to_the_nearest_tile_that_way(data) {
        var tiles = [
            { x: 0, y: 0, width: 200, height: 34 }, { x: 0, y: 38, width: 200, height: 34 },
            { x: 0, y: 76, width: 200, height: 34 },
            { x: 220, y: 0, width: 200, height: 34 }, { x: 220, y: 38, width: 200, height: 34 },
            { x: 0, y: 130, width: 220, height: 34 }
        ];
        compare(CourseLogic.neighbour(tiles, data.from, data.direction), data.to);
    }
}
