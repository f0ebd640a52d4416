import QtQuick 2.15
import "../js/ExerciseLogic.js" as Logic

// The grade of every answered note, in note order, as coloured chips with a word each.
Flow {
    id: root

    property var outcomes: null

    function colourOf(accuracy) {
        switch (Logic.gradeClass(accuracy)) {
        case "right": return Theme.gradeRight;
        case "close": return Theme.gradeClose;
        case "far": return Theme.gradeFar;
        case "wrong": return Theme.gradeWrong;
        }
        return Theme.gradeNone;
    }

    spacing: 4

    Repeater {
        model: root.outcomes

        Rectangle {
            width: label.implicitWidth + 14
            height: label.implicitHeight + 8
            radius: Theme.radius
            color: root.colourOf(model.outcome)

            Text {
                id: label

                anchors.centerIn: parent
                text: (index + 1) + " " + Logic.gradeLabel(model.outcome)
                color: Theme.textOnDark
                font.family: Theme.fontFamily
                font.pixelSize: Theme.fontSmall
                font.bold: true
            }
        }
    }
}
