import QtQuick 2.15
import QtQuick.Controls 2.15

// A push button in the program's font. Tab reaches it and its focus shows as a ring; a click does
// not take the focus, so that the space bar keeps reaching the answer after a mouse click. Return
// presses it like the space bar when it has the focus.
Button {
    id: control

    property bool primary: false

    focusPolicy: Qt.TabFocus
    implicitHeight: Theme.buttonHeight
    font.family: Theme.fontFamily
    font.pixelSize: Theme.fontNormal
    font.bold: primary
    palette.button: primary ? Theme.accent : Theme.surfaceAlt
    palette.buttonText: primary ? Theme.textOnDark : Theme.text
    // what does nothing now looks it (while a question or a score plays, a locked Next)
    opacity: enabled ? 1.0 : 0.4

    Keys.onReturnPressed: clicked()
    Keys.onEnterPressed: clicked()

    FocusFrame {}
}
