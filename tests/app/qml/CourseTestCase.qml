import QtQuick 2.0
import QtTest 1.2

// A test case over runtime.course that starts every test from a first login, Intro current.
TestCase {
    property var course: runtime.course

    // The item at a display-name path: "Grade 1/Rhythm/Intro".
    function item(path) {
        var walk = course.rootItem
        path.split("/").forEach(function (name) {
            var found = null
            for (var j = 0; walk && j < walk.childCount; ++j) {
                if (walk.children[j].name === name)
                    found = walk.children[j]
            }
            walk = found
        })
        return walk
    }

    function init() {
        testSupport.restartProgress()
        course.setCurrentActivity(item("Grade 1/Rhythm/Intro"))
    }

    function cleanup() {
        compare(testSupport.assertions(), 0)
    }
}
