import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Tarvolin 1.0
import CourseItem 1.0
import "../js/ExerciseLogic.js" as Logic
import "../js/FeedbackLogic.js" as Feedback
import "../js/CourseLogic.js" as CourseLogic
import "../js/QuestionFollow.js" as Follow

// The question page of every exercise (and, in test mode, of quizzes and exams): the question
// is drawn and played, the learner answers on the keyboard or into the microphone, each note is
// graded and coloured, and the outcomes and the activity's mark are recorded.
FocusScope {
    id: page

    // the CourseItem whose questions run here; set by whoever loads the page
    property var activity: null
    // tests: one try per question, the mark only at the end
    property bool testMode: false
    // practice: the run is recorded but no course state changes
    property bool practiceMode: false

    // taken from the activity when a run begins (a binding might not have followed it yet)
    property var context: null
    property var run: Logic.newRun(0)
    property int questionIndex: -1
    property var question: ({})
    // intro, listening, waiting, ready, answering, grading, graded, failed, summary
    property string phase: "intro"
    property int countInBeat: 0
    property real lastMark: -1
    // outcome row per note of the last answer (FeedbackLogic.outcomeRows)
    property var grades: []
    // the learner's inputs of the last answer that came too early to be graded (in the count-in)
    property int earlyInputs: 0
    // and those beyond the notes (a second tap for a note, one in a rest), not graded either
    property int extraInputs: 0
    property real runMark: -1
    property var engine: null
    property bool holdsLock: false
    // why the last attempt or Listen could not be played
    property string failure: ""
    readonly property string source: Logic.inputSource(question.captureType, runtime.settings)
    readonly property bool keyboard: source === "keyboard"
    readonly property bool busy: ["listening", "waiting", "ready", "answering", "grading"].indexOf(phase) >= 0
    readonly property int tempo: question.tempo || 80
    // said once on the intro after a stopped question
    property string notice: ""
    // the microphone while an answer is captured: its loudest level (as the meter shows it) and
    // the last note heard
    readonly property var levelMeter: runtime.calibration ? runtime.calibration.inputLevelMeter : null
    property bool metering: false
    property real answerPeak: 0
    property string heardNote: ""
    readonly property bool heardNothing: phase === "graded" && Follow.nothingHeard(!keyboard, answerPeak, lastMark)

    signal runFinished(real mark)
    signal leaveRequested()

    function begin() {
        context = activity ? activity.questionContext : null;
        if (!context)
            return;
        stopEngine();
        context.load();
        context.start();
        // count has no change signal: read it after load
        run = Logic.newRun(context.count);
        runMark = -1;
        showQuestion(0);
        // a course file at fault (the log names it): say so rather than offer a Start that does nothing
        if (run.count === 0)
            notice = qsTr("This activity has no questions to ask: its course files ask for none that can be found.");
        phase = "intro";
    }

    function showQuestion(index) {
        questionIndex = index;
        question = index < run.count ? context.question(index) : ({});
        lastMark = -1;
        countInBeat = 0;
        notice = "";
        failure = "";
        if (engine) {
            engine.destroy();
            engine = null;
        }
    }

    function startQuestion() {
        // an engine picks its input once, so every question gets its own
        if (!engine)
            engine = engineComponent.createObject(page);
        engine.settings = Logic.engineSettings(question);
        // one playback at a time: the question heard alone stops before the question runs
        listenScore.stop();
        lastMark = -1;
        grades = [];
        earlyInputs = 0;
        extraInputs = 0;
        countInBeat = 0;
        notice = "";
        failure = "";
        heardNote = "";
        answerPeak = 0;
        if (!holdsLock) {
            runtime.globals.pushLock();
            holdsLock = true;
        }
        phase = "listening";
        page.forceActiveFocus();
        startMeter();
        engine.start(run.marks[questionIndex] >= 0);
    }

    // Ends the running question through the engine: nothing is graded or recorded, Start is offered
    // again.
    function stopQuestion() {
        if (!engine || !Follow.canStop(phase))
            return;
        engine.abort();
        stopMeter();
        releaseLock();
        questionView.followSince = 0;
        grades = [];
        countInBeat = 0;
        heardNote = "";
        phase = "intro";
        notice = qsTr("Stopped. Nothing was recorded: press Start when you are ready.");
    }

    function startMeter() {
        // a microphone answer only; the meter hears the question's own input (a second stream
        // would be refused by a device that takes one opener)
        if (keyboard || !levelMeter || metering)
            return;
        levelMeter.follow();
        metering = true;
    }

    function stopMeter() {
        if (!metering)
            return;
        metering = false;
        levelMeter.stop();
    }

    // A grade came in while the answer runs: its note takes its colour on the score at once.
    function gradeArrived() {
        if (!engine || !busy)
            return;
        grades = Feedback.outcomeRows(engine.gradeModel, expectedScore);
        var last = grades.length - 1;
        if (last >= 0 && !grades[last].skipped && !grades[last].rest
                && Number(question.captureType) !== Logic.CaptureRhythm)
            heardNote = Follow.heardNoteText(inputView.score.noteAtIndex(last));
    }

    function questionFinished(mark) {
        // a stopped question records nothing, whatever its engine still says
        if (!busy)
            return;
        stopMeter();
        questionView.followSince = 0;
        releaseLock();
        grades = Feedback.outcomeRows(engine.gradeModel, expectedScore);
        earlyInputs = engine.earlyInputCount();
        extraInputs = engine.extraInputCount();
        run = Logic.withAttempt(run, questionIndex, mark);
        context.submitQuestionOutcome(questionIndex, mark);
        lastMark = mark;
        phase = "graded";
    }

    // the sound stopped: nothing is recorded, the question can be started again
    function questionFailed(reason) {
        if (!busy)
            return;  // stopped already
        stopMeter();
        questionView.followSince = 0;
        releaseLock();
        failure = reason;
        phase = "failed";
    }

    function continueRun() {
        if (Logic.isLastQuestion(run, questionIndex)) {
            finishRun();
        } else {
            showQuestion(questionIndex + 1);
            startQuestion();
        }
    }

    function finishRun() {
        runMark = Logic.runMark(run);
        context.submitMark(runMark);
        if (!practiceMode)
            activity.state = CourseItem.Completed;
        phase = "summary";
        summaryHold.restart();
        runFinished(runMark);
    }

    function releaseLock() {
        if (holdsLock) {
            runtime.globals.popLock();
            holdsLock = false;
        }
    }

    function stopEngine() {
        if (engine && busy)
            engine.abort();
        stopMeter();
        listenScore.stop();
        releaseLock();
    }

    // The question alone, as written: no lead-in, no count-in, no metronome. Again to stop it.
    function listen() {
        if (busy)
            return;
        if (listenScore.playing)
            listenScore.stop();
        else if (!listenScore.play())
            failure = listenScore.playbackError();
    }

    onActivityChanged: begin()
    Component.onDestruction: stopEngine()

    // the main action of the moment, also on Return
    function primaryAction() {
        switch (phase) {
        case "intro":
            if (run.count > 0)
                startQuestion();
            break;
        case "graded":
            continueRun();
            break;
        case "failed":
            startQuestion();
            break;
        case "summary":
            if (practiceMode)
                leaveRequested();
            else
                runtime.course.nextActivity();
            break;
        }
    }

    Keys.onPressed: {
        if (event.key === Qt.Key_Escape && Follow.canStop(phase)) {
            stopQuestion();
            event.accepted = true;
        } else if (event.key === Qt.Key_L && !busy && !event.isAutoRepeat
                   && ["intro", "graded", "failed"].indexOf(phase) >= 0) {
            listen();
            event.accepted = true;
        } else if (Logic.acceptsKey(phase, keyboard, event.isAutoRepeat) && engine) {
            engine.handleKeyPress();
            tapFlash.restart();
            event.accepted = true;
        } else if ((event.key === Qt.Key_Return || event.key === Qt.Key_Enter) && !event.isAutoRepeat) {
            // Return pressed twice on the last question: the second press is the first one again,
            // not a request to leave the summary unread
            if (phase !== "summary" || !summaryHold.running)
                primaryAction();
            event.accepted = true;
        }
    }

    Timer {
        id: summaryHold

        objectName: "summaryHold"
        interval: 1000
    }

    Component {
        id: engineComponent

        ImitationQuestionEngine {
            questionScore: questionView.score
            answerScore: expectedScore
            inputScore: inputView.score

            onStarted: page.phase = "listening"
            onCountInBeat: page.countInBeat = index
            onPlaybackBegin: {
                page.phase = "listening";
                page.countInBeat = 0;
                questionView.followSince = Date.now();
            }
            onPlaybackEnd: {
                questionView.followSince = 0;
                page.phase = "waiting";
            }
            onOutcomeModelChanged: page.gradeArrived()
            onPreCapture: {
                page.countInBeat = 0;
                page.phase = "ready";
            }
            onUserInputBegin: page.phase = "answering"
            onUserInputEnd: page.phase = "grading"
            onFinished: page.questionFinished(score)
            onFailed: page.questionFailed(reason)
        }
    }

    // the notes the answer is graded against; never drawn
    ScoreProxy {
        id: expectedScore

        visible: false
        tempo: page.question.tempo || 80
    }

    // the question heard alone through the Listen button
    ScoreProxy {
        id: listenScore

        objectName: "listenScore"
        visible: false
        tempo: page.tempo
        metronomeCountIn: false
        metronomeScore: false
    }

    onQuestionChanged: {
        if (question.gmn) {
            listenScore.stop();
            expectedScore.gmnCode = question.gmn;
            listenScore.gmnCode = question.gmn;
        }
    }

    Connections {
        target: page.metering ? page.levelMeter : null

        function onNewInputLevel(level) {
            meter.report(level);
            if (["ready", "answering", "grading"].indexOf(page.phase) >= 0)
                page.answerPeak = Math.max(page.answerPeak, meter.shown);
        }
    }

    Rectangle {
        anchors.fill: parent
        color: Theme.background
    }

    // the question and its feedback scroll; the row of the mark and the buttons stays below them,
    // in sight at the window's foot when they are long
    Item {
        anchors.fill: parent
        anchors.margins: Theme.margin

        VerticalScroller {
            id: scroller

            // the room above the row of buttons
            readonly property real room: Math.max(0, parent.height - (actionRow.visible
                                                                      ? actionRow.height + 2 * Theme.spacing : 0))

            // Fitted after the change that asks for it, not in a binding: setting the height can
            // lay the content out again at once, and a binding on its height then re-entered itself.
            function fit() {
                height = Math.min(contentHeight, room);
            }

            width: parent.width
            onContentHeightChanged: Qt.callLater(fit)
            onRoomChanged: Qt.callLater(fit)
            Component.onCompleted: fit()

            ColumnLayout {
                width: scroller.availableWidth
                spacing: Theme.spacing

                RowLayout {
                    Layout.fillWidth: true
                    spacing: Theme.margin

                    Heading {
                        Layout.fillWidth: true
                        text: page.activity ? CourseLogic.displayName(page.activity.name) : ""
                    }
                    Text {
                        objectName: "tempoLabel"
                        visible: page.phase !== "summary" && page.run.count > 0
                        text: qsTr("Tempo \u2669 = %1").arg(page.tempo)
                        color: Theme.textMuted
                        font.family: Theme.fontFamily
                        font.pixelSize: Theme.fontNormal
                    }
                    Text {
                        visible: page.phase !== "summary" && page.run.count > 0
                        text: qsTr("Question %1 of %2").arg(page.questionIndex + 1).arg(page.run.count)
                        color: Theme.textMuted
                        font.family: Theme.fontFamily
                        font.pixelSize: Theme.fontNormal
                    }
                }

                // the learner records could not take a result; it waits and is tried again
                Text {
                    objectName: "unsavedNotice"
                    Layout.fillWidth: true
                    // this page's answers, or what else waits (the completion of the activity)
                    visible: (page.context !== null && page.context.unsavedCount > 0) || runtime.globals.unsavedCount > 0
                    text: (page.context !== null && page.context.unsavedInFile) || runtime.globals.unsavedInFile
                          ? qsTr("Your results are not saved yet: your records cannot be written just now. They are kept and will be saved as soon as that is possible, at the latest when the program starts next time.")
                          : qsTr("Your results are not saved yet: your records cannot be written just now. They will be saved as soon as that is possible; if that is not possible before the program closes, they are lost.")
                    color: Theme.text
                    wrapMode: Text.WordWrap
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.fontNormal
                    font.bold: true
                }

                ProgressBar {
                    Layout.fillWidth: true
                    visible: page.phase !== "summary"
                    from: 0
                    to: Math.max(1, page.run.count)
                    value: Logic.answeredCount(page.run)
                }

                BodyText {
                    objectName: "noticeText"
                    Layout.fillWidth: true
                    visible: page.phase === "intro" && page.notice !== ""
                    text: page.notice
                    font.bold: true
                }

                BodyText {
                    Layout.fillWidth: true
                    visible: page.phase === "intro"
                    text: page.testMode
                          ? qsTr("%1, one try each. Your mark comes at the end.")
                            .arg(Feedback.countText(page.run.count, qsTr("question"), qsTr("questions")))
                          : (page.question.introText || "")
                }

                Text {
                    Layout.fillWidth: true
                    visible: page.phase !== "summary"
                    text: Logic.answerInstruction(page.question.captureType, page.source)
                    color: Theme.accent
                    wrapMode: Text.WordWrap
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.fontNormal
                    font.bold: true
                }

                ScoreView {
                    id: questionView

                    Layout.fillWidth: true
                    Layout.preferredHeight: implicitHeight
                    visible: page.phase !== "summary"
                    code: page.question.gmn || ""
                    tempo: page.question.tempo || 80
                    maximumHeight: Math.max(120, Math.min(360, page.height * 0.26))
                    // the question heard alone is followed on the drawn score
                    shownNote: listenScore.playing ? listenScore.currentNoteIndex : -1
                    // each note takes its grade's colour as soon as it is graded
                    grades: page.busy ? page.grades : []
                }

                RowLayout {
                    Layout.fillWidth: true
                    visible: page.busy
                    spacing: Theme.margin

                    Text {
                        Layout.fillWidth: true
                        text: {
                            switch (page.phase) {
                            case "listening": return qsTr("Listen\u2026");
                            case "waiting": return qsTr("Your turn next\u2026");
                            case "ready": return qsTr("Get ready\u2026");
                            case "answering": return page.keyboard ? qsTr("Tap now!") : qsTr("Now!");
                            case "grading": return qsTr("Grading\u2026");
                            }
                            return "";
                        }
                        color: Theme.text
                        font.family: Theme.fontFamily
                        font.pixelSize: Theme.fontLarge
                        font.bold: true
                    }
                    Text {
                        visible: page.keyboard
                        text: qsTr("Your tap")
                        color: Theme.textMuted
                        font.family: Theme.fontFamily
                        font.pixelSize: Theme.fontSmall
                    }
                    Rectangle {
                        id: tapLight

                        width: 26
                        height: 26
                        radius: 13
                        visible: page.keyboard
                        color: tapFlash.running ? Theme.current : Theme.surfaceAlt
                        border.color: Theme.border

                        Timer {
                            id: tapFlash

                            interval: 120
                        }
                    }
                    CountInIndicator {
                        beats: Math.max(1, questionView.score.beatsPerMeasure)
                        current: page.countInBeat
                    }
                    AppButton {
                        objectName: "stopButton"
                        enabled: Follow.canStop(page.phase)
                        text: qsTr("Stop (Esc)")
                        onClicked: page.stopQuestion()
                    }
                }

                // the microphone heard live while it is answered into
                RowLayout {
                    Layout.fillWidth: true
                    visible: page.busy && !page.keyboard
                    spacing: Theme.margin

                    Text {
                        text: qsTr("Microphone")
                        color: Theme.textMuted
                        font.family: Theme.fontFamily
                        font.pixelSize: Theme.fontNormal
                    }
                    LevelMeter {
                        id: meter

                        objectName: "answerLevel"
                        Layout.fillWidth: true
                        Layout.maximumWidth: 360
                    }
                    Text {
                        objectName: "heardNote"
                        Layout.minimumWidth: 110
                        text: page.heardNote !== "" ? qsTr("Heard: %1").arg(page.heardNote) : ""
                        color: Theme.text
                        font.family: Theme.fontFamily
                        font.pixelSize: Theme.fontLarge
                        font.bold: true
                    }
                }

                BodyText {
                    objectName: "failureText"
                    Layout.fillWidth: true
                    visible: page.failure !== "" && ["intro", "graded", "failed"].indexOf(page.phase) >= 0
                    text: qsTr("The question could not be played: %1.").arg(page.failure)
                    font.bold: true
                }

                Text {
                    visible: page.phase === "graded"
                    text: qsTr("Your answer")
                    color: Theme.textMuted
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.fontSmall
                }

                ScoreView {
                    id: inputView

                    Layout.fillWidth: true
                    Layout.preferredHeight: implicitHeight
                    visible: page.phase === "graded" && score.gmnCode !== ""
                    maximumHeight: Math.max(120, Math.min(360, page.height * 0.26))
                    grades: page.grades
                }

                OutcomeStrip {
                    objectName: "outcomeStrip"
                    Layout.fillWidth: true
                    visible: page.phase === "graded"
                    grades: page.grades
                    score: expectedScore
                }

                RunSummary {
                    Layout.fillWidth: true
                    visible: page.phase === "summary"
                    mark: page.runMark
                    marks: page.run.marks
                    testMode: page.testMode
                    practiceMode: page.practiceMode
                    // the completion stands only once it is stored or kept
                    completed: page.practiceMode || (page.activity !== null && page.activity.state === CourseItem.Completed)
                    ratingDelta: page.phase === "summary" && page.context ? page.context.ratingDelta : -1
                    onRepeatRequested: page.begin()
                    onNextRequested: page.primaryAction()
                }
            }
        }

        // the mark of the answer and what to do next, on one line to leave the scores their room
        RowLayout {
            id: actionRow

            y: scroller.height + 2 * Theme.spacing
            width: parent.width
            visible: page.phase === "intro" || page.phase === "graded" || page.phase === "failed"
            spacing: Theme.spacing

            MarkBadge {
                visible: page.phase === "graded" && !page.testMode
                mark: page.lastMark
            }
            BodyText {
                objectName: "verdict"
                Layout.fillWidth: true
                visible: page.phase === "graded" && !page.testMode && !page.heardNothing
                text: Feedback.verdict(page.lastMark, page.grades, {
                    early: page.earlyInputs, extra: page.extraInputs, source: page.source,
                    countIn: Logic.toBool(page.question.captureMetronomeCountIn)
                })
                font.pixelSize: Theme.fontLarge
            }
            BodyText {
                objectName: "nothingHeardText"
                Layout.fillWidth: true
                visible: page.heardNothing
                // in the body's size: in the large one its four lines beside the buttons pushed the
                // notes' grades out of an 800x600 screen
                text: qsTr("Nothing was heard from the microphone. Check that it is on and close to you, "
                           + "then calibrate it in Settings (Ctrl+4).")
            }
            Item {
                Layout.fillWidth: true
                visible: page.phase === "intro" || page.phase === "failed" || (page.testMode && !page.heardNothing)
            }
            AppButton {
                objectName: "listenButton"
                visible: ["intro", "graded", "failed"].indexOf(page.phase) >= 0 && page.run.count > 0
                text: listenScore.playing ? qsTr("Stop listening") : qsTr("Listen (L)")
                onClicked: page.listen()
            }
            AppButton {
                objectName: "startAgainButton"
                visible: page.phase === "failed"
                primary: true
                text: qsTr("Start again")
                onClicked: page.primaryAction()
            }
            AppButton {
                objectName: "startButton"
                visible: page.phase === "intro"
                enabled: page.run.count > 0
                primary: true
                text: qsTr("Start")
                onClicked: page.primaryAction()
            }
            AppButton {
                objectName: "retryButton"
                visible: page.phase === "graded" && !page.testMode
                text: qsTr("Retry")
                onClicked: page.startQuestion()
            }
            AppButton {
                objectName: "continueButton"
                visible: page.phase === "graded"
                primary: true
                text: Logic.isLastQuestion(page.run, page.questionIndex) ? qsTr("Finish") : qsTr("Continue")
                onClicked: page.primaryAction()
            }
        }
    }
}
