.pragma library

// The data of the statistics plots, read from the statistics models ({length, get(row)}).

// The skill rating over time: one point per stored rating, in order.
function ratingPoints(model) {
    var points = [];
    if (!model)
        return points;
    for (var i = 0; i < model.length; ++i) {
        var row = model.get(i);
        if (row.value === undefined || row.value === null)
            continue;
        points.push({ x: Number(row.timestamp), y: Number(row.value) });
    }
    return points;
}

// Rows of a marks model that hold a mark (the first row of those models is empty).
function markRows(model) {
    var rows = [];
    if (!model)
        return rows;
    for (var i = 0; i < model.length; ++i) {
        var row = model.get(i);
        if (row.value === undefined || row.value === null)
            continue;
        rows.push({ timestamp: row.timestamp || "", grade: row.grade || "", subject: row.subject || "",
                    value: Number(row.value) });
    }
    return rows;
}

// A step of 1, 2 or 5 times a power of ten giving at most maxTicks intervals over range.
function niceStep(range, maxTicks) {
    if (!(range > 0) || maxTicks < 1)
        return 1;
    var raw = range / maxTicks;
    var power = Math.pow(10, Math.floor(Math.log(raw) / Math.LN10));
    var steps = [1, 2, 5, 10];
    for (var i = 0; i < steps.length; ++i)
        if (steps[i] * power >= raw)
            return steps[i] * power;
    return 10 * power;
}

// Axis ranges: x over the points, y from 0 (or below, for a negative rating) to a rounded top.
function bounds(points, maxTicks) {
    var minX = 0, maxX = 1, minY = 0, maxY = 0;
    for (var i = 0; i < points.length; ++i) {
        if (i === 0 || points[i].x < minX) minX = points[i].x;
        if (i === 0 || points[i].x > maxX) maxX = points[i].x;
        minY = Math.min(minY, points[i].y);
        maxY = Math.max(maxY, points[i].y);
    }
    if (maxX <= minX)
        maxX = minX + 1;
    if (maxY <= minY)
        maxY = minY + 10;
    var step = niceStep(maxY - minY, maxTicks || 5);
    return { minX: minX, maxX: maxX, minY: Math.floor(minY / step) * step, maxY: Math.ceil(maxY / step) * step,
             stepY: step };
}

// Canvas position of a point inside a plot area {x, y, width, height}.
function toCanvas(point, b, area) {
    return {
        x: area.x + (point.x - b.minX) / (b.maxX - b.minX) * area.width,
        y: area.y + area.height - (point.y - b.minY) / (b.maxY - b.minY) * area.height
    };
}

// The y values of the grid lines.
function gridValues(b) {
    var values = [];
    for (var v = b.minY; v <= b.maxY + b.stepY / 2; v += b.stepY)
        values.push(Math.round(v * 1000) / 1000);
    return values;
}

// The rating shown as the current one: the newest stored rating; -1 when none is stored yet (the
// progress model's first point is its starting row, not a rating).
function currentRating(points) {
    return points.length > 1 ? points[points.length - 1].y : -1;
}

// The course rating as every screen says it: its points, or that it is not earned yet (none stored,
// or nothing earned).
function ratingText(rating) {
    if (!(rating > 0))
        return qsTr("not earned yet");
    return rating === 1 ? qsTr("1 point") : qsTr("%1 points").arg(rating);
}

// The fixed scale of the subject skill bars: 1500 points is what a subject earns when every one of
// its activities has one kind of question and it is always answered right; the scale is 0 to
// 1500, and only a skill beyond that takes it to the next whole multiple of 1500. With the values
// of its labelled marks.
function skillScale(values) {
    var top = 1500;
    for (var i = 0; i < values.length; ++i)
        top = Math.max(top, Math.ceil(Number(values[i]) / 1500) * 1500);
    if (top === 1500)
        return { top: top, ticks: [0, 750, 1500] };
    var ticks = [];
    for (var t = 0; t <= top; t += 1500)
        ticks.push(t);
    return { top: top, ticks: ticks };
}
