import QtQuick 2.15
import QtTest 1.15
import "../../content/qml/js/CourseLogic.js" as CourseLogic

// The course map's names, states, completion and page URLs.
TestCase {
    name: "CourseLogic"

    function test_display_names_data() {
        return [
            { tag: "exercise", name: "Exercise: Interval Singing 2", shown: "Interval Singing 2" },
            { tag: "no blank after the colon", name: "Exercise:Pitch", shown: "Exercise:Pitch" },
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

    function test_open_states_data() {
        return [
            { tag: "none", state: 0, open: false },
            { tag: "locked", state: 1, open: false },
            { tag: "unlocked", state: 2, open: true },
            { tag: "aborted", state: 3, open: true },
            { tag: "completed", state: 4, open: true },
            { tag: "invalid", state: 5, open: false }
        ];
    }

    function test_open_states(data) {
        compare(CourseLogic.canOpen(data.state), data.open);
    }

    function test_completion_counts_completed_leaves() {
        compare(CourseLogic.completion([4, 2, 1, 4, 4, 1, 1]), { done: 3, total: 7, percent: 42 });
        compare(CourseLogic.completion([]), { done: 0, total: 0, percent: 0 });
        compare(CourseLogic.completion([4]).percent, 100);
    }

    function test_only_the_first_locked_grade_offers_unlocking() {
        compare(CourseLogic.unlockableGrade([4, 2, 1, 1]), 2);
        compare(CourseLogic.unlockableGrade([2, 2]), -1);
        compare(CourseLogic.unlockableGrade([1, 1]), 0);
    }

    function test_page_urls_data() {
        return [
            { tag: "resource", path: ":/qml/content/00_grade_1/00_rhythm/01_x/page.qml",
              url: "qrc:/qml/content/00_grade_1/00_rhythm/01_x/page.qml" },
            { tag: "file URL", path: "file:///src/content/qml/content/00_a/page.qml",
              url: "file:///src/content/qml/content/00_a/page.qml" },
            { tag: "empty", path: "", url: "" }
        ];
    }

    function test_page_urls(data) {
        compare(CourseLogic.pageUrl(data.path), data.url);
    }

    function test_nothing_follows_the_end_of_the_course() {
        verify(!CourseLogic.canGoNext(CourseLogic.Type.EndOfCourse));
        verify(CourseLogic.canGoNext(CourseLogic.Type.Exercise));
        verify(CourseLogic.canGoNext(CourseLogic.Type.Test));
    }
}
