.pragma library
.import "CourseLogic.js" as CourseLogic

// What the question page shows while a question runs: whether it can be stopped, the note heard
// from the microphone, whether anything was heard at all; whether a move to a neighbouring
// activity would open a locked one, and what opens a locked one.

// Values of CourseItem.State the moves care about.
var Locked = 1;

// Below this the microphone's level (as the level meter shows it, 0 empty at -60 dB, 1 full
// scale) is a quiet room: about -42 dB of mean magnitude.
var QuietLevel = 0.3;

// A question can be stopped until its answer is being graded; grading takes a moment and records.
function canStop(phase) {
    return ["listening", "waiting", "ready", "answering"].indexOf(phase) >= 0;
}

// The score's name of a note ("C#1": GMN octave, 1 holds the A of 440 Hz) as a singer reads it
// ("C#4"); "" for a rest or no note.
function heardNoteText(scoreNote) {
    var m = /^([A-G]#?)(-?\d+)$/.exec(String(scoreNote));
    return m ? m[1] + (Number(m[2]) + 3) : "";
}

// True when a microphone answer earned nothing and the microphone stayed at a quiet room's level
// throughout: the learner is told so instead of only seeing 0 %.
function nothingHeard(microphone, peakShown, mark) {
    return microphone && mark <= 0 && peakShown < QuietLevel;
}

// The activity a step (+1 Next, -1 Previous) inside its module would reach, or null at the
// module's edge (Next then asks the course for the next open activity, which is never locked).
function neighbour(activity, step) {
    var parent = activity ? activity.parent : null;
    if (!parent)
        return null;
    var siblings = parent.children;
    for (var i = 0; i < siblings.length; ++i)
        if (siblings[i] === activity)
            return i + step >= 0 && i + step < siblings.length ? siblings[i + step] : null;
    return null;
}

// Whether the step may be taken: never onto a locked activity; Previous never leaves the module.
function canStep(activity, step) {
    var target = neighbour(activity, step);
    if (target)
        return target.state !== Locked;
    return step > 0 && activity !== null && activity !== undefined;
}

// Why a locked course item is locked, as the learner reads it: completing the item before it opens
// it (a first item: what opens its module); "" when nothing before it says so.
function lockReason(item) {
    for (var it = item; it && it.parent; it = it.parent) {
        var before = neighbour(it, -1);
        if (before)
            return qsTr("Complete %1 first.").arg(CourseLogic.displayName(before.name));
        if (!it.parent.parent || it.parent.state !== Locked)
            return "";
    }
    return "";
}
