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
}
