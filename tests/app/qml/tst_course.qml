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
        course.nextActivity()  // onto a locked sibling, which opens
        var tapping = item("Grade 1/Rhythm/Exercise: Beat Tapping 1")
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

    function test_gradesUnlock() {
        compare(course.lockedGradeCount, 1)  // grades 2 and 3 locked
        course.unlockNextGrade()
        compare(course.lockedGradeCount, 0)
        compare([item("Grade 2/Rhythm/Intro").state, item("Grade 2/Rhythm/Next").state], [CourseItem.Unlocked, CourseItem.Locked])
        course.unlockAllContent()
        compare(testSupport.dbRows("SELECT count(*) FROM element_state WHERE state = 'LOCKED' AND path != ''"), ["0"])
    }
}
