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
