import QtQuick 2.15
import QtQuick.Layouts 1.15

// The bar on top of every screen: the program's name and the way to each screen.
Rectangle {
    id: root

    property string current: "map"
    property bool interactive: true

    signal navigate(string target)

    implicitHeight: Theme.headerHeight
    color: Theme.header

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: Theme.margin
        anchors.rightMargin: Theme.margin
        spacing: Theme.spacing

        Text {
            text: "Brisola"
            color: Theme.textOnDark
            font.family: Theme.fontFamily
            font.pixelSize: Theme.fontTitle
            font.bold: true
        }
        Item {
            Layout.fillWidth: true
        }
        Repeater {
            model: [
                { target: "map", label: qsTr("Course") },
                { target: "practice", label: qsTr("Practice") },
                { target: "statistics", label: qsTr("Statistics") },
                { target: "settings", label: qsTr("Settings") }
            ]

            AppButton {
                objectName: "nav_" + modelData.target
                text: modelData.label
                enabled: root.interactive
                primary: root.current === modelData.target
                         || (modelData.target === "map" && root.current === "activity")
                onClicked: root.navigate(modelData.target)
            }
        }
    }
}
