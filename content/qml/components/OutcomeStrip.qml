import QtQuick 2.15
import "../js/ExerciseLogic.js" as Logic

// The grade of every answered note, in note order, as coloured chips with a word each. Rests have
// no chip: the engine fills their rows, but nothing was to be played there.
Flow {
    id: root

    // accuracy per note of the answer's note list (rests included)
    property var grades: []
    // the answer's score, to tell rests ("S") from notes
    property var score: null

    spacing: 4

    Repeater {
        model: root.grades

        Rectangle {
            readonly property bool rest: root.score !== null && root.score.noteAtIndex(index) === "S"

            visible: !rest
            width: label.implicitWidth + 14
            height: label.implicitHeight + 8
            radius: Theme.radius
            color: Theme.gradeColour(Logic.gradeClass(modelData))

            Text {
                id: label

                anchors.centerIn: parent
                text: Logic.soundingNumber(root.score, index) + " " + Logic.gradeLabel(modelData)
                color: Theme.textOnDark
                font.family: Theme.fontFamily
                font.pixelSize: Theme.fontSmall
                font.bold: true
            }
        }
    }
}
