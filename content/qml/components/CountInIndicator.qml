import QtQuick 2.15

// The beats of a count-in, lit one after the other.
Row {
    id: root

    property int beats: 4
    property int current: 0

    spacing: Theme.spacing

    Repeater {
        model: root.beats

        Rectangle {
            width: 26
            height: 26
            radius: 13
            color: index < root.current ? Theme.current : Theme.surfaceAlt
            border.color: Theme.border

            Text {
                anchors.centerIn: parent
                text: index + 1
                color: Theme.text
                font.family: Theme.fontFamily
                font.pixelSize: Theme.fontSmall
                font.bold: index + 1 === root.current
            }
        }
    }
}
