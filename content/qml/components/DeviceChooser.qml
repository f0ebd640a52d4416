import QtQuick 2.15
import QtQuick.Controls 2.15

// A drop-down of audio devices with the one in use selected; Tab reaches it.
ComboBox {
    id: root

    property var devices: []
    property string selected

    signal chosen(string name)

    font.family: Theme.fontFamily
    font.pixelSize: Theme.fontNormal
    model: devices
    currentIndex: Math.max(0, devices.indexOf(selected))
    onActivated: chosen(devices[index])

    FocusFrame {}
}
