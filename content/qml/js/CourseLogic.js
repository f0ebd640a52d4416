.pragma library

// Course map helpers: names as the learner reads them, states, completion and page URLs.

// Values of CourseItem.Type and CourseItem.State.
var Type = { Unknown: 0, Module: 1, Learning: 2, Exercise: 3, Test: 4, Practice: 5, EndOfCourse: 6 };
var State = { None: 0, Locked: 1, Unlocked: 2, Aborted: 3, Completed: 4, Invalid: 5 };

function displayName(name) {
    if (name === "quiz")
        return qsTr("Quiz");
    if (name === "exam")
        return qsTr("Exam");
    if (name === "#endofcourse#")
        return qsTr("End of the course");
    if (name === "#practice#")
        return qsTr("Practice");
    var m = /^Exercise:\s+(.+)$/.exec(name);
    return m ? m[1] : name;
}

function kindLabel(type) {
    switch (type) {
    case Type.Learning: return qsTr("Lesson");
    case Type.Exercise: return qsTr("Exercise");
    case Type.Test: return qsTr("Test");
    case Type.Practice: return qsTr("Practice");
    case Type.EndOfCourse: return qsTr("The end");
    }
    return "";
}

function stateLabel(state) {
    switch (state) {
    case State.Locked: return qsTr("locked");
    case State.Unlocked: return qsTr("open");
    case State.Aborted: return qsTr("started");
    case State.Completed: return qsTr("completed");
    }
    return "";
}

function canOpen(state) {
    return state === State.Unlocked || state === State.Aborted || state === State.Completed;
}

// Completed leaves below an item (given as a list of states) as {done, total, percent}.
function completion(states) {
    var done = 0;
    for (var i = 0; i < states.length; ++i)
        if (states[i] === State.Completed)
            ++done;
    var total = states.length;
    return { done: done, total: total, percent: total > 0 ? Math.floor(done * 100 / total) : 0 };
}

// Only the first locked grade offers to be unlocked: the course unlocks grades in order.
function unlockableGrade(gradeStates) {
    for (var i = 0; i < gradeStates.length; ++i)
        if (gradeStates[i] === State.Locked)
            return i;
    return -1;
}

// A page path of the course facade as a URL: resource paths start with ":".
function pageUrl(fsPath) {
    if (!fsPath)
        return "";
    return fsPath.charAt(0) === ":" ? "qrc" + fsPath : fsPath;
}

// Past the end-of-course page there is nothing to move to.
function canGoNext(type) {
    return type !== Type.EndOfCourse;
}

// "left", "right", "up", "down" for an arrow key (Qt.Key_Left ...), else "".
function arrowDirection(key) {
    switch (key) {
    case 0x01000012: return "left";
    case 0x01000013: return "up";
    case 0x01000014: return "right";
    case 0x01000015: return "down";
    }
    return "";
}

// The tile the arrow keys move to: of rects ({x, y, width, height}, all in one item's
// coordinates), the nearest one lying wholly beyond rects[from] in the direction ("left",
// "right", "up", "down"); straying sideways counts double, so a move keeps to its column or row.
// -1 when there is none.
function neighbour(rects, from, direction) {
    var f = rects[from];
    if (!f)
        return -1;
    var best = -1, bestScore = 0;
    for (var i = 0; i < rects.length; ++i) {
        var r = rects[i];
        if (i === from || !r)
            continue;
        var along, aside;
        switch (direction) {
        case "down": along = r.y - (f.y + f.height); aside = r.x + r.width / 2 - (f.x + f.width / 2); break;
        case "up": along = f.y - (r.y + r.height); aside = r.x + r.width / 2 - (f.x + f.width / 2); break;
        case "right": along = r.x - (f.x + f.width); aside = r.y + r.height / 2 - (f.y + f.height / 2); break;
        case "left": along = f.x - (r.x + r.width); aside = r.y + r.height / 2 - (f.y + f.height / 2); break;
        default: return -1;
        }
        // a tile that only touches or overlaps is not beyond
        if (along < -1)
            continue;
        var score = along + 2 * Math.abs(aside);
        if (best < 0 || score < bestScore) {
            best = i;
            bestScore = score;
        }
    }
    return best;
}
