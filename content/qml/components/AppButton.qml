import QtQuick 2.15
import QtQuick.Controls 2.15

// A push button in the program's font. It never takes the keyboard focus, so that the space bar
// always reaches the answer and never presses a button by accident.
Button {
    id: control

    property bool primary: false

    focusPolicy: Qt.NoFocus
    implicitHeight: Theme.buttonHeight
    font.family: Theme.fontFamily
    font.pixelSize: Theme.fontNormal
    font.bold: primary
    palette.button: primary ? Theme.accent : Theme.surfaceAlt
    palette.buttonText: primary ? Theme.textOnDark : Theme.text
}
