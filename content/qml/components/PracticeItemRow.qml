import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

// A practice item: its tick, its name and the learner's progress on it. Reads the row's roles.
RowLayout {
    id: root

    signal toggled(bool checked)

    spacing: Theme.spacing

    CheckBox {
        id: box

        focusPolicy: Qt.NoFocus
        checked: itemSelected
        enabled: !itemLocked
        onToggled: root.toggled(checked)
    }
    ColumnLayout {
        Layout.fillWidth: true
        spacing: 2

        Text {
            Layout.fillWidth: true
            text: itemName + (itemLocked ? qsTr(" (locked)") : "")
            elide: Text.ElideRight
            color: itemLocked ? Theme.textMuted : Theme.text
            font.family: Theme.fontFamily
            font.pixelSize: Theme.fontNormal
        }
        ProgressBar {
            Layout.fillWidth: true
            from: 0
            to: 1
            value: itemProgress
        }
    }
}
