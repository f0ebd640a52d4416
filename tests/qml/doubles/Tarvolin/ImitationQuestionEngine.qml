import QtQuick 2.15

// Stands in for the exercise engine in page tests: records what the page asks of it; the test
// emits its signals.
QtObject {
    id: engine

    property var settings
    property var questionScore
    property var answerScore
    property var inputScore
    property var rows: []
    // rows are grades, or whole outcome rows ({outcome, skipped, rhythm, pitch, timing}); as the
    // program's, the outcome model has the outcome alone and the grade model the whole rows, both
    // the same objects whose rows change, announced by outcomeModelChanged
    readonly property var outcomeModel: ({
        get length() { return engine.rows.length; },
        get: function (i) {
            var r = engine.rows[i];
            return { outcome: typeof r === "object" ? r.outcome : r };
        }
    })
    readonly property var gradeModel: ({
        get length() { return engine.rows.length; },
        get: function (i) {
            var r = engine.rows[i];
            return typeof r === "object" ? r : { outcome: r };
        }
    })
    // taps or claps of the answer that came too early to be graded
    property int earlyInputs: 0
    // and those beyond the notes
    property int extraInputs: 0
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

    onRowsChanged: outcomeModelChanged()

    function start(retry) { starts += 1; return 0; }
    function abort() { aborting(); return 0; }
    function handleKeyPress() {}
    function earlyInputCount() { return earlyInputs; }
    function extraInputCount() { return extraInputs; }
}
