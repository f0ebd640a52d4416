import QtQuick 2.0
import QtTest 1.2

CourseTestCase {
    id: testCase

    property var context: item("Grade 1/Rhythm/Exercise: Beat Tapping 1").questionContext

    name: "QuestionContext"

    function test_shortSourceIsMadeUpWithRepeats() {
        context.load()
        compare(context.count, 5)
        compare(testSupport.logLines("could not get enough unique questions from tapping (requested=5 matched=2)"), 1)
        var gmn = [0, 1, 2, 3, 4].map(function (i) { return context.question(i).gmn })
        verify(gmn[0] !== gmn[1])
        compare(gmn.slice(2), [gmn[0], gmn[1], gmn[0]])
        compare(context.question(0).tempo, 100)
    }

    function test_outcomesAndMarksAreRecorded() {
        compare([context.mark, context.ratingDelta], [-1, -1])
        context.load()
        context.start()
        for (var i = 0; i < 2; ++i)
            context.submitQuestionOutcome(i, 1.0)
        compare(testSupport.dbRows("SELECT variant FROM answers ORDER BY variant"),
                ["grade_1/rhythm/tapping@", "grade_1/rhythm/tapping@a", "grade_1/rhythm/tapping@b"])
        context.submitMark(0.75)
        var rating = testSupport.dbRows("SELECT rating, practice FROM ratings")
        compare(rating, [context.ratingDelta + "|0"])  // started from no rating at all
        compare(testSupport.dbRows("SELECT path, mark, ratingDelta FROM marks"), ["grade_1/rhythm/tapping|0.75|" + context.ratingDelta])
        compare(context.mark, 0.75)
        verify(context.ratingDelta > 0)
        compare(item("Grade 1/Rhythm/Quiz").questionContext.mark, -1)
    }
}
