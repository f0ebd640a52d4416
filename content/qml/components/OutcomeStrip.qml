import QtQuick 2.15
import "../js/ExerciseLogic.js" as Logic
import "../js/FeedbackLogic.js" as Feedback

// The grade of every answered note, in note order, as chips on the grade scale with a word each
// ("right", "late", "wrong note", "missed"). Rests have no chip: the engine fills their rows, but
// nothing was to be played there.
Flow {
    id: root

    // outcome row per note of the answer's note list, rests included (FeedbackLogic.outcomeRows)
    property var grades: []
    // the answer's score, to tell rests ("S") from notes
    property var score: null

    spacing: 4

    Repeater {
        model: root.grades

        Rectangle {
            readonly property bool rest: root.score !== null && root.score.noteAtIndex(index) === "S"
            readonly property string gradeClass: Feedback.gradeClass(modelData)

            visible: !rest
            width: label.implicitWidth + 14
            height: label.implicitHeight + 8
            radius: Theme.radius
            color: Theme.gradeColour(gradeClass)

            Text {
                id: label

                anchors.centerIn: parent
                text: Logic.soundingNumber(root.score, index) + " " + Feedback.gradeWord(modelData)
                color: Theme.gradeTextColour(parent.gradeClass)
                font.family: Theme.fontFamily
                font.pixelSize: Theme.fontSmall
                font.bold: true
            }
        }
    }
}
