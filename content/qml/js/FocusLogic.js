.pragma library

// Keeping the keyboard focus in sight: a control reached with Tab or the arrows inside a
// scrolled screen is scrolled into view.

// The scroll position that shows the span top..bottom (in content coordinates) with a margin,
// moving as little as possible; the position within 0..contentHeight - viewHeight.
function scrolledTo(contentY, viewHeight, contentHeight, top, bottom, margin) {
    var y = contentY;
    if (bottom + margin > y + viewHeight)
        y = bottom + margin - viewHeight;
    if (top - margin < y)
        y = top - margin;
    return Math.max(0, Math.min(y, Math.max(0, contentHeight - viewHeight)));
}

// Scrolls the nearest flickable around item so that item shows; false when there is none.
function scrollIntoView(item, margin) {
    for (var p = item ? item.parent : null; p; p = p.parent) {
        if (p.contentY === undefined || p.contentItem === undefined || p.flickableDirection === undefined)
            continue;
        var top = item.mapToItem(p.contentItem, 0, 0).y;
        p.contentY = scrolledTo(p.contentY, p.height, p.contentHeight, top, top + item.height, margin || 0);
        return true;
    }
    return false;
}

// The scroll position after a scrolling key on a screen with nothing to focus (the arrows move a
// line, the page keys most of a view, Home and End to the ends); -1 for any other key.
function scrolledByKey(key, contentY, viewHeight, contentHeight, line) {
    var end = Math.max(0, contentHeight - viewHeight);
    var page = Math.max(line, viewHeight - 2 * line);
    var to;
    switch (key) {
    case Qt.Key_Down: to = contentY + line; break;
    case Qt.Key_Up: to = contentY - line; break;
    case Qt.Key_PageDown: case Qt.Key_Space: to = contentY + page; break;
    case Qt.Key_PageUp: to = contentY - page; break;
    case Qt.Key_Home: to = 0; break;
    case Qt.Key_End: to = end; break;
    default: return -1;
    }
    return Math.max(0, Math.min(to, end));
}
