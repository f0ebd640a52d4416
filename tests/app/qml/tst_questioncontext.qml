import QtQuick 2.0
import QtTest 1.2
import CourseItem 1.0

TestCase {
    id: testCase

    property var course: runtime.course
    property var context: course.rootItem.children[0].children[0].children[1].questionContext

    function init() {
        testSupport.restartProgress()
    }

    name: "QuestionContext"

    SignalSpy {
        id: markSpy
        target: context
        signalName: "markChanged"
    }

    function test_loadRepeatsAShortSource() {
        context.load()
        compare(context.count, 5)
        compare(testSupport.logLines("could not get enough unique questions from tapping (requested=5 matched=2)"), 1)
        var first = context.question(0)
        compare(first.tempo, 100)
        compare(context.question(2).gmn, first.gmn)
        compare(context.question(4).gmn, first.gmn)
        verify(context.question(1).gmn !== first.gmn)
        compare(testSupport.assertions(), 0)
    }

    function test_marksAreStoredAndReadBack() {
        compare(context.mark, -1)
        compare(context.ratingDelta, -1)
        context.load()
        context.start()
        for (var i = 0; i < 2; ++i)
            context.submitQuestionOutcome(i, 1.0)
        markSpy.clear()
        context.submitMark(0.75)
        compare(markSpy.count, 1)
        compare(context.mark, 0.75)
        verify(context.ratingDelta > 0)
        compare(testSupport.assertions(), 0)
    }

    function test_idleContextsAnswerMinusOne() {
        var intro = course.rootItem.children[0].children[0].children[0]
        compare(intro.type, CourseItem.Learning)
        intro.questionContext.load()
        compare(intro.questionContext.count, 0)
        compare(intro.questionContext.mark, -1)
        compare(intro.questionContext.ratingDelta, -1)
        verify(testSupport.logLines("not a question activity") >= 3)
    }
}
