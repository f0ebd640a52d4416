import QtQuick 2.15

// Stands in for the exercise engine in page tests: records what the page asks of it; the test
// emits its signals.
QtObject {
    property var settings
    property var questionScore
    property var answerScore
    property var inputScore
    property var rows: []
    // rows are grades, or whole outcome rows ({outcome, skipped, rhythm, pitch, timing})
    property var outcomeModel: ({ length: rows.length, get: function (i) {
        return typeof rows[i] === "object" ? rows[i] : { outcome: rows[i] };
    } })
    property int starts: 0

    signal started()
    signal playbackBegin()
    signal playbackEnd()
    signal preCapture()
    signal captureBegin()
    signal userInputBegin()
    signal userInputEnd()
    signal finished(real score)
    signal failed(string reason)
    signal countInBeat(int index)
    // tells a test about an abort that comes as the engine goes away
    signal aborting()

    function start(retry) { starts += 1; return 0; }
    function abort() { aborting(); return 0; }
    function handleKeyPress() {}
}
