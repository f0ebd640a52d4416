import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

// Microphone calibration: the live level, a capture of the learner's loudest singing (as long as
// the microphone takes to deliver its samples: the calibrator ends it) and a test mode that shows
// every note the program hears.
ColumnLayout {
    id: root

    readonly property var calibrator: runtime.calibration.calibrator
    readonly property var meter: runtime.calibration.inputLevelMeter
    readonly property bool capturing: calibrator.capturing
    property bool testing: false
    property var heard: []

    function startCalibration() {
        stopTest();
        calibrator.startCapture();
    }

    function startTest() {
        heard = [];
        calibrator.startTest();
        testing = true;
    }

    function stopTest() {
        if (testing) {
            calibrator.stopTest();
            testing = false;
        }
    }

    spacing: Theme.spacing

    Component.onCompleted: meter.start()
    Component.onDestruction: {
        if (capturing)
            calibrator.stopCapture();
        stopTest();
        meter.stop();
    }

    Connections {
        target: root.meter

        function onNewInputLevel(level) { levelMeter.report(level); }
    }
    Connections {
        target: root.calibrator

        function onTestNote(note, octave) {
            var list = root.heard.slice(-11);
            list.push(note + octave);
            root.heard = list;
        }
    }
    // the level on the heading's line: a line of its own pushed Calibrate off an 800x600 screen
    RowLayout {
        Layout.fillWidth: true
        spacing: Theme.spacing

        Heading {
            Layout.rightMargin: Theme.margin
            large: false
            text: qsTr("Microphone")
        }
        Text {
            text: qsTr("Level")
            color: Theme.text
            font.family: Theme.fontFamily
            font.pixelSize: Theme.fontNormal
        }
        LevelMeter {
            id: levelMeter

            objectName: "levelMeter"
            Layout.fillWidth: true
        }
    }
    // two lines held for every message and the bar's room kept while idle, so that the buttons
    // below never move
    BodyText {
        Layout.fillWidth: true
        // two lines as this text spaces them (its line height), not as the font alone does
        Layout.preferredHeight: Math.max(implicitHeight, Math.ceil(2 * lineHeightMetrics.height * lineHeight))
        text: root.capturing ? qsTr("Keep singing a long note, as loud as you sing in the exercises, until the bar is full (%1 seconds)\u2026").arg(root.calibrator.captureSeconds)
            : root.calibrator.failReason !== "" ? root.calibrator.failReason
            : root.calibrator.calibrated ? qsTr("The microphone is calibrated.")
            : qsTr("Not calibrated yet: press Calibrate, then sing a long note as loud as you sing in the exercises until the bar is full.")
        color: root.calibrator.failReason !== "" && !root.capturing ? Theme.error : Theme.text

        FontMetrics {
            id: lineHeightMetrics

            font.family: Theme.fontFamily
            font.pixelSize: Theme.fontNormal
        }
    }
    ProgressBar {
        id: captureBar

        objectName: "captureBar"
        Layout.fillWidth: true
        opacity: root.capturing ? 1 : 0
        from: 0
        to: 100
        // the share of the capture's samples taken
        value: root.capturing ? root.calibrator.progress : 0
    }
    RowLayout {
        Layout.fillWidth: true
        spacing: Theme.spacing

        AppButton {
            objectName: "calibrateButton"
            enabled: !root.capturing
            text: qsTr("Calibrate")
            onClicked: root.startCalibration()
        }
        AppButton {
            objectName: "testButton"
            enabled: !root.capturing
            text: root.testing ? qsTr("Stop test") : qsTr("Test: show the notes I sing")
            onClicked: root.testing ? root.stopTest() : root.startTest()
        }
    }
    Text {
        Layout.fillWidth: true
        visible: root.testing
        text: root.heard.length > 0 ? qsTr("Heard: %1").arg(root.heard.join("  ")) : qsTr("Sing a note\u2026")
        elide: Text.ElideLeft
        color: Theme.accent
        font.family: Theme.fontFamily
        font.pixelSize: Theme.fontLarge
        font.bold: true
    }
}
