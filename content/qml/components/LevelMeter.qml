import QtQuick 2.15

// The microphone's live level: a bar that follows the meter's reports and a peak mark that falls slowly.
Rectangle {
    id: root

    // 0..1, as the input level meter reports it (mean magnitude of 250 samples)
    property real level: 0
    property real peak: 0
    // shown in decibels from -60 dB (empty) to full scale, as level meters are read
    readonly property real shown: level > 0 ? Math.max(0, Math.min(1, 1 + Math.log(level) / Math.LN10 / 3)) : 0

    function report(value) {
        level = value;
        peak = Math.max(peak, shown);
    }

    implicitHeight: 22
    radius: 4
    color: Theme.surfaceAlt
    border.color: Theme.border

    Rectangle {
        objectName: "levelBar"
        x: 1
        y: 1
        height: parent.height - 2
        width: (parent.width - 2) * root.shown
        radius: 3
        color: root.shown > 0.85 ? Theme.gradeWrong : root.shown > 0.6 ? Theme.gradeClose : Theme.gradeRight
    }
    Rectangle {
        x: 1 + (parent.width - 4) * root.peak
        y: 1
        width: 2
        height: parent.height - 2
        color: Theme.text
        visible: root.peak > 0
    }
    Timer {
        interval: 50
        repeat: true
        running: root.peak > 0
        onTriggered: root.peak = Math.max(0, root.peak - 0.02)
    }
}
