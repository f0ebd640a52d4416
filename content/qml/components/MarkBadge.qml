import QtQuick 2.15
import "../js/ExerciseLogic.js" as Logic
import "../js/FeedbackLogic.js" as Feedback

// A mark as a percentage in a circle coloured on the grade scale: green only at 100 %.
Rectangle {
    id: root

    property real mark: -1
    readonly property string gradeClass: Feedback.markClass(mark)

    implicitWidth: 72
    implicitHeight: 72
    radius: width / 2
    color: Theme.gradeColour(gradeClass)

    Text {
        anchors.centerIn: parent
        text: Logic.percentText(root.mark)
        color: Theme.gradeTextColour(root.gradeClass)
        font.family: Theme.fontFamily
        font.pixelSize: Theme.fontLarge
        font.bold: true
    }
}
