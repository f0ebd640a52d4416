.pragma library

// What the screens say about an answer: the grade class each note is coloured with (the theme
// holds the colours), the word on its chip, and the verdict on a take and on a run of questions.

// Values of the engine's grades (its outcome rows' "outcome", "rhythm" and "pitch").
var Accuracy = {
    None: 0, Perfect: 1, Early: 2, Late: 3, VeryEarly: 4, VeryLate: 5,
    Low: 6, High: 7, VeryLow: 8, VeryHigh: 9, Wrong: 10
};

// The engine's mark of one grade: right 1, slightly off 0.75, far off 0.5, wrong 0.
function accuracyMark(accuracy) {
    switch (Number(accuracy)) {
    case Accuracy.Perfect:
        return 1;
    case Accuracy.Early: case Accuracy.Late: case Accuracy.Low: case Accuracy.High:
        return 0.75;
    case Accuracy.VeryEarly: case Accuracy.VeryLate: case Accuracy.VeryLow: case Accuracy.VeryHigh:
        return 0.5;
    }
    return 0;
}

function graded(accuracy) {
    return accuracy !== undefined && accuracy !== null && Number(accuracy) !== Accuracy.None;
}

// An outcome row as an object; a bare number is a row that only has its "outcome".
function asRow(row) {
    if (row === undefined || row === null)
        return { outcome: Accuracy.None };
    return typeof row === "object" ? row : { outcome: Number(row) };
}

// The mark one note earned, as the engine counts it: the mean of the rhythm and pitch grades it
// got; -1 for a row without a grade.
function noteMark(row) {
    var r = asRow(row);
    if (r.skipped)
        return 0;
    var marks = [];
    if (graded(r.rhythm))
        marks.push(accuracyMark(r.rhythm));
    if (graded(r.pitch))
        marks.push(accuracyMark(r.pitch));
    if (marks.length === 0)
        return graded(r.outcome) ? accuracyMark(r.outcome) : -1;
    var sum = 0;
    for (var i = 0; i < marks.length; ++i)
        sum += marks[i];
    return sum / marks.length;
}

// "right", "close", "far", "wrong" or "none": the step of the colour scale a mark falls on. The
// steps are the engine's own marks of a grade, so a note, its chip and a take's badge agree.
function markClass(mark) {
    if (mark === undefined || mark === null || mark < 0)
        return "none";
    // what shows as 100 % is right
    if (mark >= 0.995)
        return "right";
    if (mark >= 0.75)
        return "close";
    if (mark >= 0.5)
        return "far";
    return "wrong";
}

function gradeClass(row) {
    return markClass(noteMark(row));
}

function rhythmWord(accuracy, timing) {
    switch (Number(accuracy)) {
    case Accuracy.Early: return qsTr("early");
    case Accuracy.Late: return qsTr("late");
    case Accuracy.VeryEarly: return qsTr("very early");
    case Accuracy.VeryLate: return qsTr("very late");
    case Accuracy.Wrong:
        if (timing < 0)
            return qsTr("far too early");
        if (timing > 0)
            return qsTr("far too late");
        return qsTr("off the beat");
    }
    return "";
}

function pitchWord(accuracy) {
    switch (Number(accuracy)) {
    case Accuracy.Low: return qsTr("flat");
    case Accuracy.High: return qsTr("sharp");
    case Accuracy.VeryLow: return qsTr("very flat");
    case Accuracy.VeryHigh: return qsTr("very sharp");
    case Accuracy.Wrong: return qsTr("wrong note");
    }
    return "";
}

// What was wrong with a note, one word per dimension that was off: ["late", "flat"]; ["missed"]
// only for a note never answered; [] for a right one.
function problems(row) {
    var r = asRow(row);
    if (r.skipped)
        return [qsTr("missed")];
    if (!graded(r.rhythm) && !graded(r.pitch)) {
        // a row without its reasons: its outcome alone
        var word = pitchWord(r.outcome) || rhythmWord(r.outcome, 0);
        return word === "" ? [] : [Number(r.outcome) === Accuracy.Wrong ? qsTr("wrong") : word];
    }
    var words = [];
    if (graded(r.rhythm) && Number(r.rhythm) !== Accuracy.Perfect)
        words.push(rhythmWord(r.rhythm, Number(r.timing) || 0));
    if (graded(r.pitch) && Number(r.pitch) !== Accuracy.Perfect)
        words.push(pitchWord(r.pitch));
    return words;
}

// The word on a note's chip.
function gradeWord(row) {
    if (noteMark(row) < 0)
        return "";
    var words = problems(row);
    return words.length === 0 ? qsTr("right") : words.join(", ");
}

// "1 note", "3 notes".
function countText(n, one, many) {
    return n + " " + (n === 1 ? one : many);
}

// The outcome rows of a model ({length, get(row)}) as objects; a row whose note in the answer
// score is a rest ("S") is marked rest, since the engine fills rows for rests too.
function outcomeRows(model, score) {
    var rows = [];
    if (!model)
        return rows;
    for (var i = 0; i < model.length; ++i) {
        var r = asRow(model.get(i));
        rows.push({
            outcome: Number(r.outcome),
            skipped: !!r.skipped,
            rhythm: r.rhythm === undefined ? Accuracy.None : Number(r.rhythm),
            pitch: r.pitch === undefined ? Accuracy.None : Number(r.pitch),
            timing: Number(r.timing) || 0,
            rest: !!score && score.noteAtIndex(i) === "S"
        });
    }
    return rows;
}

// Counts of each problem word over the notes, in the order first met: [{word, count}].
function tally(notes, pick) {
    var list = [];
    for (var i = 0; i < notes.length; ++i) {
        var words = problems(notes[i]).filter(pick);
        for (var j = 0; j < words.length; ++j) {
            var found = false;
            for (var k = 0; k < list.length; ++k) {
                if (list[k].word === words[j]) {
                    list[k].count++;
                    found = true;
                }
            }
            if (!found)
                list.push({ word: words[j], count: 1 });
        }
    }
    return list.map(function (t) { return t.count + " " + t.word; }).join(", ");
}

function isPitchWord(word) {
    return [qsTr("flat"), qsTr("sharp"), qsTr("very flat"), qsTr("very sharp"), qsTr("wrong note")].indexOf(word) >= 0;
}

// The inputs of a take that were not graded: {early (how many came too early), extra (how many
// came later and took no note), source ("keyboard" or "mic"), countIn (the answer had a count-in)}. Here
// count of them named as the source makes them: "3 taps", "1 clap".
function inputsText(inputs, count) {
    return inputs.source === "keyboard" ? countText(count, qsTr("tap"), qsTr("taps"))
                                        : countText(count, qsTr("clap"), qsTr("claps"));
}

// "" when none came early.
function earlyText(inputs) {
    if (!inputs || !(inputs.early > 0))
        return "";
    var text = inputsText(inputs, inputs.early);
    return inputs.countIn ? qsTr("%1 before the count-in ended, too early to count.").arg(text)
                          : qsTr("%1 before the first note, too early to count.").arg(text);
}

// The inputs that took no note and came after the first note's reach, split: one input for each
// note was asked for, and those beyond that are more than the notes (surplus); the others (stray)
// came while notes went unanswered.
function extraSplit(notes, inputs) {
    var extra = inputs && inputs.extra > 0 ? inputs.extra : 0;
    var missed = notes.filter(function (n) { return asRow(n).skipped; }).length;
    var early = inputs && inputs.early > 0 ? inputs.early : 0;
    // the inputs in all less one for each note: graded ones, early ones and these
    var surplus = Math.max(0, Math.min(extra, early + extra - missed));
    return { surplus: surplus, stray: extra - surplus };
}

// "" when none came beyond the notes.
function extraText(notes, inputs) {
    var surplus = extraSplit(notes, inputs).surplus;
    if (surplus === 0)
        return "";
    return qsTr("%1 more than the notes, not counted: %2 once for each note.")
        .arg(inputsText(inputs, surplus))
        .arg(inputs.source === "keyboard" ? qsTr("tap") : qsTr("clap"));
}

// "" when every input that took no note was more than the notes. The page has only their count,
// not their times: where they fell is not said.
function strayText(notes, inputs) {
    var stray = extraSplit(notes, inputs).stray;
    return stray === 0 ? "" : qsTr("%1 matched no note.").arg(inputsText(inputs, stray));
}

// What to work on, from the notes that were not right and the inputs that were not graded.
function advice(notes, inputs) {
    var missed = qsTr("missed"), wrong = qsTr("wrong");
    var parts = [];
    var pitch = tally(notes, isPitchWord);
    var timing = tally(notes, function (w) { return !isPitchWord(w) && w !== missed && w !== wrong; });
    if (pitch !== "")
        parts.push(qsTr("the pitch (%1)").arg(pitch));
    if (timing !== "")
        parts.push(qsTr("the timing (%1)").arg(timing));
    var sentences = [];
    if (parts.length > 0)
        sentences.push(qsTr("Work on %1.").arg(parts.join(qsTr(" and "))));
    var count = function (word) {
        return notes.filter(function (n) { return problems(n).indexOf(word) >= 0; }).length;
    };
    if (count(wrong) > 0)
        sentences.push(qsTr("%1 wrong.").arg(countText(count(wrong), qsTr("note"), qsTr("notes"))));
    var tooEarly = earlyText(inputs);
    if (tooEarly !== "")
        sentences.push(tooEarly);
    if (count(missed) > 0) {
        // the learner who answered early did answer: the notes were missed by starting too soon.
        // Otherwise the page cannot tell a note left out from one whose input took another note or
        // came after the answer was complete, uncounted: it says only that it was missed.
        var missedText = countText(count(missed), qsTr("note"), qsTr("notes"));
        if (tooEarly === "")
            sentences.push(qsTr("%1 missed.").arg(missedText));
        else if (inputs.countIn)
            sentences.push(qsTr("%1 not answered: begin with the first note, after the count-in.").arg(missedText));
        else
            sentences.push(qsTr("%1 not answered: begin with the first note.").arg(missedText));
    }
    var stray = strayText(notes, inputs);
    if (stray !== "")
        sentences.push(stray);
    var extra = extraText(notes, inputs);
    if (extra !== "")
        sentences.push(extra);
    return sentences.join(" ");
}

// The verdict on one take: how many notes were right and what to work on. Praise only when every
// note is right and nothing more was tapped; without rows (nothing graded) the mark alone. inputs:
// as inputsText takes them.
function verdict(mark, rows, inputs) {
    var notes = (rows || []).filter(function (r) { return !asRow(r).rest && noteMark(r) >= 0; });
    if (notes.length === 0) {
        if (mark === undefined || mark === null || mark < 0)
            return "";
        return markClass(mark) === "right" ? qsTr("Excellent!") : qsTr("Listen again and have another go.");
    }
    var right = notes.filter(function (n) { return noteMark(n) === 1; }).length;
    if (right === notes.length) {
        var extra = extraText(notes, inputs);
        if (extra !== "")
            return (notes.length === 1 ? qsTr("The note is right.") : qsTr("All %1 notes right.").arg(notes.length))
                   + " " + extra;
        return notes.length === 1 ? qsTr("Excellent! The note is right.")
                                  : qsTr("Excellent! All %1 notes right.").arg(notes.length);
    }
    return qsTr("%1 of %2 right.").arg(right).arg(countText(notes.length, qsTr("note"), qsTr("notes")))
           + " " + advice(notes, inputs);
}

// The verdict on a run of questions from each question's mark (-1: not answered).
function runVerdict(marks) {
    var list = marks || [];
    if (list.length === 0)
        return "";
    var full = 0, unanswered = 0;
    for (var i = 0; i < list.length; ++i) {
        if (list[i] < 0)
            ++unanswered;
        else if (markClass(list[i]) === "right")
            ++full;
    }
    if (full === list.length)
        return list.length === 1 ? qsTr("Excellent! The question is right.")
                                 : qsTr("Excellent! All %1 questions right.").arg(list.length);
    var text = qsTr("%1 of %2 fully right.").arg(full).arg(countText(list.length, qsTr("question"), qsTr("questions")));
    if (unanswered > 0)
        text += " " + qsTr("%1 not answered, counted as 0%.").arg(countText(unanswered, qsTr("question"), qsTr("questions")));
    return text + " " + qsTr("Repeat it to raise your mark.");
}
