import QtQuick 2.0
import QtTest 1.2
import CourseItem 1.0

CourseTestCase {
    id: testCase

    name: "CourseFacade"

    SignalSpy {
        id: moduleSpy

        target: testCase.course
        signalName: "currentModuleChanged"
    }

    function test_summariesAndNavigation() {
        verify(course.isInitialActivity && course.isNewModule)
        var intro = item("Grade 1/Rhythm/Intro")
        var tapping = item("Grade 1/Rhythm/Exercise: Beat Tapping 1")
        course.nextActivity()  // the next sibling is locked until Intro is done: nothing moves
        compare([course.currentActivity, tapping.state], [intro, CourseItem.Locked])
        intro.state = CourseItem.Completed  // which opens the sibling
        course.nextActivity()
        compare([course.currentActivity, tapping.state], [tapping, CourseItem.Unlocked])
        compare(testSupport.dbRows("SELECT path FROM element_state WHERE selected = 'true'"), ["grade_1/rhythm/tapping"])
        ;["Intro", "Exercise: Beat Tapping 1", "Exercise: Note Tapping 1"].forEach(function (name) {
            item("Grade 1/Rhythm/" + name).state = CourseItem.Completed
        })
        compare([course.moduleCompletionPercentage, course.isNewModule, course.isInitialActivity], [42, false, false])

        course.previousActivity()
        course.previousActivity()  // at the first activity nothing moves
        compare(course.currentActivity, item("Grade 1/Rhythm/Intro"))
        course.setCurrentActivity(item("Grade 1/Rhythm/#endofcourse#"))
        moduleSpy.clear()
        course.nextActivity()  // past the subject's end the framework model chooses
        compare(course.currentActivity, item("Grade 1/Melody/Exercise: Pitch Singing 1"))
        compare([course.currentModule, moduleSpy.count], [item("Grade 1/Melody"), 1])
    }

    // Next and Previous never open a locked activity, from either side of it
    function test_movesKeepLocks_data() {
        return [
            { tag: "next onto a locked sibling", from: "Grade 1/Rhythm/Exercise: Note Tapping 1", locked: "Grade 1/Rhythm/More",
              move: "nextActivity", expected: "Grade 1/Rhythm/Exercise: Note Tapping 1" },
            { tag: "next onto an open sibling", from: "Grade 1/Rhythm/Exercise: Note Tapping 1", open: "Grade 1/Rhythm/More",
              move: "nextActivity", expected: "Grade 1/Rhythm/More" },
            { tag: "previous onto a locked sibling", from: "Grade 1/Rhythm/More", locked: "Grade 1/Rhythm/Exercise: Note Tapping 1",
              move: "previousActivity", expected: "Grade 1/Rhythm/More" },
            { tag: "previous onto a completed sibling", from: "Grade 1/Rhythm/More", done: "Grade 1/Rhythm/Exercise: Note Tapping 1",
              move: "previousActivity", expected: "Grade 1/Rhythm/Exercise: Note Tapping 1" },
        ]
    }

    function test_movesKeepLocks(data) {
        item(data.from).state = CourseItem.Unlocked
        if (data.open)
            item(data.open).state = CourseItem.Unlocked
        if (data.done)
            item(data.done).state = CourseItem.Completed
        course.setCurrentActivity(item(data.from))
        var before = testSupport.dbRows("SELECT path, state FROM element_state ORDER BY path")
        course[data.move]()
        compare(course.currentActivity, item(data.expected))
        if (data.locked) {
            compare(item(data.locked).state, CourseItem.Locked)
            compare(testSupport.dbRows("SELECT path, state FROM element_state ORDER BY path"), before)
        }
    }

    function test_gradesUnlock() {
        compare(course.lockedGradeCount, 1)  // grades 2 and 3 locked
        course.unlockNextGrade()
        compare(course.lockedGradeCount, 0)
        compare([item("Grade 2/Rhythm/Intro").state, item("Grade 2/Rhythm/Next").state], [CourseItem.Unlocked, CourseItem.Locked])
        course.unlockAllContent()
        compare(testSupport.dbRows("SELECT count(*) FROM element_state WHERE state = 'LOCKED' AND path != ''"), ["0"])
    }
}
