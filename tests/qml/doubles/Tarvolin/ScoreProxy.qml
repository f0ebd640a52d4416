import QtQuick 2.15

// Stands in for the program's score item in page tests: keeps its code, draws nothing; a play()
// is counted and lasts until stop(); with failWith set it fails for that reason.
Item {
    property string gmnCode
    property int tempo: 100
    property real scalingFactor: 2
    property bool compact
    property int beatsPerMeasure: 4
    property var noteBoundingRects: []
    property bool playing
    property bool playbackPercussive
    property bool metronomeCountIn: true
    property bool metronomeScore: true
    property int currentNoteIndex: -1
    property int plays: 0
    property string failWith

    function noteAtIndex(i) { return gmnCode.indexOf("_") >= 0 && i === 1 ? "S" : "C1"; }
    function play() {
        if (playing || failWith !== "")
            return false;
        plays += 1;
        playing = true;
        return true;
    }
    function stop() { playing = false; }
    function playbackError() { return failWith; }
    function noteIndexAtTime(seconds) { return seconds >= 0 && seconds < 4 ? Math.floor(seconds) : -1; }
    function noteBoundingRectAtIdx(i) { return undefined; }
}
