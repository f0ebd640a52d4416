.pragma library

// What a question page decides on its own: the input it listens to, the engine's settings,
// the number of each note and the mark of a run of questions (the words on the grades are
// FeedbackLogic's).

var CaptureRhythm = 1;
var CapturePitch = 2;
var CaptureRhythmAndPitch = 3;

function toBool(value) {
    if (typeof value === "string")
        return value.toLowerCase() === "true" || value === "1";
    return !!value;
}

// The note input a capture type uses: rhythm questions clap, pitch questions sing, both play.
function inputKind(captureType) {
    switch (Number(captureType)) {
    case CaptureRhythm: return "clapping";
    case CapturePitch: return "singing";
    case CaptureRhythmAndPitch: return "playing";
    }
    return "";
}

// "keyboard" or "mic": the default source the settings give the question's input.
function inputSource(captureType, settings) {
    var kind = inputKind(captureType);
    if (kind === "" || !settings)
        return "mic";
    var source = settings["input_default_" + kind];
    // only clapping can come from the keyboard
    return kind === "clapping" && source === "keyboard" ? "keyboard" : "mic";
}

function usesKeyboard(captureType, settings) {
    return inputSource(captureType, settings) === "keyboard";
}

function answerInstruction(captureType, source) {
    switch (Number(captureType)) {
    case CaptureRhythm:
        return source === "keyboard" ? qsTr("Tap any key or the space bar at the start of every note.")
                                     : qsTr("Clap at the start of every note, close to the microphone.");
    case CapturePitch:
        return qsTr("Sing every note into the microphone.");
    case CaptureRhythmAndPitch:
        return qsTr("Play every note into the microphone.");
    }
    return "";
}

// How rhythm questions are answered with the input the settings choose for clapping.
function rhythmAnswerText(settings) {
    return inputSource(CaptureRhythm, settings) === "keyboard"
            ? qsTr("Rhythm questions are answered on the keyboard, as chosen in Settings (Ctrl+4): tap any key or the space bar once at the start of every note.")
            : qsTr("Rhythm questions are clapped into the microphone, as chosen in Settings (Ctrl+4): clap once at the start of every note.");
}

// The engine's settings map from a question's attributes.
function engineSettings(question) {
    return {
        captureType: Number(question.captureType),
        playbackMetronomeCountIn: toBool(question.playbackMetronomeCountIn),
        playbackMetronome: toBool(question.playbackMetronome),
        captureMetronomeCountIn: toBool(question.captureMetronomeCountIn),
        captureMetronome: toBool(question.captureMetronome),
        capturePlayback: toBool(question.capturePlayback)
    };
}

// The number of note index among the sounding notes of a score (rests, "S", are not counted).
function soundingNumber(score, index) {
    if (!score)
        return index + 1;
    var n = 0;
    for (var i = 0; i <= index; ++i)
        if (score.noteAtIndex(i) !== "S")
            ++n;
    return n;
}

// A run of questions: the mark of the last attempt at each question counts.
function newRun(count) {
    var marks = [];
    for (var i = 0; i < count; ++i)
        marks.push(-1);
    return { count: count, marks: marks, attempts: 0 };
}

// A new run with the attempt recorded (bindings see a new object; the old one is left as it was);
// the same run for an index outside it.
function withAttempt(run, index, mark) {
    if (index < 0 || index >= run.count)
        return run;
    var marks = run.marks.slice();
    marks[index] = Math.max(0, Math.min(1, Number(mark)));
    return { count: run.count, marks: marks, attempts: run.attempts + 1 };
}

function answeredCount(run) {
    var n = 0;
    for (var i = 0; i < run.count; ++i)
        if (run.marks[i] >= 0)
            ++n;
    return n;
}

// The activity's mark: the mean over all its questions, an unanswered one counting 0.
function runMark(run) {
    if (run.count === 0)
        return 0;
    var sum = 0;
    for (var i = 0; i < run.count; ++i)
        sum += Math.max(0, run.marks[i]);
    return sum / run.count;
}

function isLastQuestion(run, index) {
    return index >= run.count - 1;
}

function percentText(mark) {
    if (mark === undefined || mark === null || mark < 0)
        return "\u2013";
    return Math.round(mark * 100) + "%";
}

// Keys reach the engine only while it listens and only the first press of a held key.
function acceptsKey(phase, keyboard, autoRepeat) {
    return keyboard && !autoRepeat && (phase === "ready" || phase === "answering");
}
