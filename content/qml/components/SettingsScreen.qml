import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

// Settings: audio devices, volume, input sensitivity, where each kind of answer comes from,
// and the microphone's calibration.
Rectangle {
    id: root

    readonly property var settings: runtime.settings
    readonly property var system: runtime.system

    color: Theme.background
    Component.onCompleted: system.update()

    VerticalScroller {
        id: scroller

        anchors.fill: parent
        anchors.margins: Theme.margin
        // room above and below for the focus ring of the first and the last control
        contentHeight: column.implicitHeight + 4 * Theme.focusWidth

        ColumnLayout {
            id: column

            // room at the sides for the focus ring of a full-width control
            x: 2 * Theme.focusWidth
            y: 2 * Theme.focusWidth
            width: scroller.availableWidth - 4 * Theme.focusWidth
            spacing: Theme.spacing

            Heading {
                text: qsTr("Settings")
            }

            SettingRow {
                Layout.fillWidth: true
                label: qsTr("Output device")

                DeviceChooser {
                    width: parent.width
                    devices: root.system.outputDeviceList
                    selected: root.system.outputDeviceName
                    onChosen: root.settings.output_device = name
                }
            }
            SettingRow {
                Layout.fillWidth: true
                label: qsTr("Volume")

                Slider {
                    objectName: "volumeSlider"
                    width: parent.width
                    from: 0
                    to: 1
                    value: root.settings.output_volume
                    onMoved: root.settings.output_volume = value

                    FocusFrame {}
                }
            }
            SettingRow {
                Layout.fillWidth: true
                label: qsTr("Input device")

                DeviceChooser {
                    width: parent.width
                    devices: root.system.inputDeviceList
                    selected: root.system.inputDeviceName
                    onChosen: root.settings.input_device = name
                }
            }
            SettingRow {
                Layout.fillWidth: true
                label: qsTr("Input sensitivity")

                Slider {
                    width: parent.width
                    // a sensitivity of 0 hears nothing and is refused
                    from: 0.05
                    to: 1
                    value: root.settings.input_sensitivity
                    onMoved: root.settings.input_sensitivity = value

                    FocusFrame {}
                }
            }
            SettingRow {
                Layout.fillWidth: true
                label: qsTr("Rhythm answers")

                ComboBox {
                    objectName: "clappingSource"
                    width: parent.width
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.fontNormal
                    textRole: "label"
                    model: [
                        { source: "keyboard", label: qsTr("Tapped on the keyboard") },
                        { source: "mic", label: qsTr("Clapped into the microphone") }
                    ]
                    currentIndex: root.settings.input_default_clapping === "mic" ? 1 : 0
                    onActivated: root.settings.input_default_clapping = model[index].source

                    FocusFrame {}
                }
            }
            // singing and playing have only the microphone: one line says so, under the choice
            // that has two (rows of their own pushed the calibration off an 800x600 screen)
            BodyText {
                objectName: "microphoneOnlyNote"
                Layout.fillWidth: true
                muted: true
                text: qsTr("Sung and played answers always come from the microphone.")
            }

            CalibrationPanel {
                Layout.fillWidth: true
                Layout.topMargin: Theme.margin
            }
        }
    }
}
