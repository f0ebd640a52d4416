import QtQuick 2.15
import QtQuick.Layouts 1.15

// A labelled line of the settings screen; the control goes inside.
RowLayout {
    id: root

    property string label
    default property alias control: holder.data

    spacing: Theme.margin

    Text {
        Layout.preferredWidth: 170
        text: root.label
        elide: Text.ElideRight
        color: Theme.text
        font.family: Theme.fontFamily
        font.pixelSize: Theme.fontNormal
    }
    Item {
        id: holder

        Layout.fillWidth: true
        implicitHeight: childrenRect.height
    }
}
