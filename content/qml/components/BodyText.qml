import QtQuick 2.15

// Running text that wraps to the width it is given.
Text {
    property bool muted: false

    color: muted ? Theme.textMuted : Theme.text
    wrapMode: Text.WordWrap
    lineHeight: 1.15
    font.family: Theme.fontFamily
    font.pixelSize: Theme.fontNormal
}
