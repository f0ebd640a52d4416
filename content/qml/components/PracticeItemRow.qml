import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import "../js/ExerciseLogic.js" as Logic

// A practice item: its tick, its name and the learner's average mark over all its questions, as
// a bar with the percentage beside it. Reads the row's roles.
RowLayout {
    id: root

    signal toggled(bool checked)

    spacing: Theme.spacing

    CheckBox {
        id: box

        checked: itemSelected
        enabled: !itemLocked
        onToggled: root.toggled(checked)

        FocusFrame {}
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
        RowLayout {
            Layout.fillWidth: true
            spacing: Theme.spacing

            ProgressBar {
                Layout.fillWidth: true
                from: 0
                to: 1
                value: itemProgress
            }
            Text {
                objectName: "progressLabel"
                text: Logic.percentText(itemProgress)
                color: Theme.textMuted
                font.family: Theme.fontFamily
                font.pixelSize: Theme.fontSmall
            }
        }
    }
}
