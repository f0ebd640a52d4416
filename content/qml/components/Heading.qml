import QtQuick 2.15

// A title line in the program's font.
Text {
    property bool large: true

    color: Theme.text
    elide: Text.ElideRight
    font.family: Theme.fontFamily
    font.pixelSize: large ? Theme.fontTitle : Theme.fontLarge
    font.bold: true
}
