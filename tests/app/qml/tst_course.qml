import QtQuick 2.0
import QtTest 1.2
import CourseItem 1.0
import QuestionContext 1.0

TestCase {
    id: testCase

    property var course: runtime.course

    function item(path) {
        var walk = course.rootItem
        var names = path.split("/")
        for (var i = 0; i < names.length && walk; ++i) {
            var found = null
            for (var j = 0; j < walk.childCount; ++j) {
                if (walk.children[j].name === names[i])
                    found = walk.children[j]
            }
            walk = found
        }
        return walk
    }

    function init() {
        testSupport.restartProgress()
        course.setCurrentActivity(item("Grade 1/Rhythm/Intro"))
    }

    function cleanup() {
        compare(testSupport.assertions(), 0)
    }

    name: "CourseFacade"

    SignalSpy {
        id: moduleSpy
        target: course
        signalName: "currentModuleChanged"
    }

    function test_itemsHaveTypesStatesAndPagePaths() {
        compare(course.rootItem.childCount, 3)
        var intro = item("Grade 1/Rhythm/Intro")
        compare(intro.type, CourseItem.Learning)
        compare(intro.state, CourseItem.Unlocked)
        verify(intro.isCurrent)
        verify(intro.fsPath.indexOf("file:///") === 0)
        verify(intro.fsPath.match(/\/00_grade_1\/00_rhythm\/00_intro\/page\.qml$/))
        var tapping = item("Grade 1/Rhythm/Exercise: Beat Tapping 1")
        compare(tapping.type, CourseItem.Exercise)
        compare(tapping.state, CourseItem.Locked)
        compare(tapping.parent, item("Grade 1/Rhythm"))
        var rhythm = item("Grade 1/Rhythm")
        compare(rhythm.type, CourseItem.Module)
        verify(rhythm.fsPath.match(/\/00_grade_1\/00_rhythm\/$/))
        compare(item("Grade 2").state, CourseItem.Locked)
    }

    function test_modelRowsByRoleName() {
        var model = course.model
        compare(model.count, 3)
        var grade = model.index(0, 0)
        var row = model.get(model.index(0, 0, model.index(0, 0, grade)))
        compare(row.name, "Intro")
        compare(row.itemState, CourseItem.Unlocked)
        compare(row.itemIsCurrent, true)
        compare(row.itemIsLeaf, true)
        compare(model.getItemByIndex(grade), item("Grade 1"))
    }

    function test_summariesAndNavigation() {
        verify(course.isInitialActivity)
        verify(course.isNewModule)
        course.nextActivity()
        var tapping = item("Grade 1/Rhythm/Exercise: Beat Tapping 1")
        compare(course.currentActivity, tapping)
        compare(tapping.state, CourseItem.Unlocked)

        item("Grade 1/Rhythm/Intro").state = CourseItem.Completed
        tapping.state = CourseItem.Completed
        item("Grade 1/Rhythm/Page 2").state = CourseItem.Completed
        compare(course.moduleCompletionPercentage, 42)
        compare(course.isNewModule, false)

        course.setCurrentActivity(item("Grade 1/Rhythm/Page 6"))
        moduleSpy.clear()
        course.nextActivity()
        compare(course.currentActivity, item("Grade 1/Melody/Listen"))
        compare(course.currentModule, item("Grade 1/Melody"))
        compare(moduleSpy.count, 1)
    }

    function test_gradesUnlock() {
        compare(course.lockedGradeCount, 1)
        course.unlockNextGrade()
        compare(course.lockedGradeCount, 0)
        compare(item("Grade 2/Rhythm/Intro").state, CourseItem.Unlocked)
        course.unlockAllContent()
        compare(item("Grade 1/Rhythm/Page 6").state, CourseItem.Unlocked)
        compare(item("Grade 3").state, CourseItem.Unlocked)
    }
}
