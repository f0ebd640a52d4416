import QtQuick 2.15

// Stands in for the program's score item in page tests: keeps its code, draws nothing.
Item {
    property string gmnCode
    property int tempo: 100
    property real scalingFactor: 2
    property bool compact
    property int beatsPerMeasure: 4
    property var noteBoundingRects: []
    property bool playing
    property bool playbackPercussive
    property int currentNoteIndex: -1

    function noteAtIndex(i) { return gmnCode.indexOf("_") >= 0 && i === 1 ? "S" : "C1"; }
    function play() { return true; }
    function noteBoundingRectAtIdx(i) { return undefined; }
}
