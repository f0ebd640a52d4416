import QtQuick 2.15
import "../js/ExerciseLogic.js" as Logic

// A mark as a percentage in a coloured circle.
Rectangle {
    id: root

    property real mark: -1

    implicitWidth: 72
    implicitHeight: 72
    radius: width / 2
    color: mark < 0 ? Theme.gradeNone
                    : mark >= 0.75 ? Theme.gradeRight : mark >= 0.5 ? Theme.gradeClose : Theme.gradeWrong

    Text {
        anchors.centerIn: parent
        text: Logic.percentText(root.mark)
        color: Theme.textOnDark
        font.family: Theme.fontFamily
        font.pixelSize: Theme.fontLarge
        font.bold: true
    }
}
