import QtQuick 2.15
import QtQuick.Layouts 1.15

// The last page of the course: no next activity, only where to go from here.
Rectangle {
    id: page

    property var activity: null

    color: Theme.background

    ColumnLayout {
        anchors.centerIn: parent
        width: Math.min(parent.width - 2 * Theme.margin, 560)
        spacing: Theme.margin

        Heading {
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            text: qsTr("You have reached the end of the course")
            wrapMode: Text.WordWrap
        }
        BodyText {
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            text: qsTr("Well done. Keep your ear in shape with Practice: it picks the questions you found hardest. Statistics show how your skill has grown.")
        }
    }
}
