.pragma library

// The colour pairs a screen really draws, read from its items at run time: every visible text on
// what is painted under it, and every focus indicator on what it is seen against. Measured as WCAG
// 2 does: text 4.5:1 (3:1 for large text: 24 px, or 18.67 px bold), a focus indicator (non-text) 3:1.

function channel(c) {
    return c <= 0.04045 ? c / 12.92 : Math.pow((c + 0.055) / 1.055, 2.4);
}

function luminance(colour) {
    return 0.2126 * channel(colour.r) + 0.7152 * channel(colour.g) + 0.0722 * channel(colour.b);
}

function contrast(a, b) {
    var la = luminance(a), lb = luminance(b);
    return (Math.max(la, lb) + 0.05) / (Math.min(la, lb) + 0.05);
}

function childList(item) {
    var out = [];
    for (var i = 0; i < item.children.length; ++i)
        out.push({ item: item.children[i], index: i });
    // the order they are painted in: by z, then as declared
    out.sort(function (a, b) { return a.item.z - b.item.z || a.index - b.index; });
    return out.map(function (c) { return c.item; });
}

// Every item under root in the order it is painted.
function paintOrder(root) {
    var list = [];
    var walk = function (item) {
        list.push(item);
        var kids = childList(item);
        for (var i = 0; i < kids.length; ++i)
            walk(kids[i]);
    };
    walk(root);
    return list;
}

function isText(item) {
    return item.text !== undefined && item.font !== undefined && item.color !== undefined
           && item.horizontalAlignment !== undefined;
}

function isRectangle(item) {
    return item.border !== undefined && item.radius !== undefined && item.color !== undefined;
}

function opacityOf(item, root) {
    var o = 1;
    for (var p = item; p; p = p === root ? null : p.parent)
        o *= p.opacity;
    return o;
}

function within(item, root, x, y) {
    var p = item.mapFromItem(root, x, y);
    return p.x >= 0 && p.y >= 0 && p.x < item.width && p.y < item.height;
}

function inSubtree(item, top) {
    for (var p = item; p; p = p.parent)
        if (p === top)
            return true;
    return false;
}

// Whether a point of root is cut away by a clipping item above item (a scrolled-out part).
function clippedAway(item, root, x, y) {
    for (var p = item.parent; p && p !== root; p = p.parent)
        if (p.clip && !within(p, root, x, y))
            return true;
    return false;
}

// The opaque colour painted under the point (x, y) of root before target: the topmost opaque
// rectangle there that target's own subtree does not hold; fallback when there is none.
function backgroundAt(order, root, target, x, y, fallback) {
    var colour = fallback;
    for (var i = 0; i < order.length && order[i] !== target; ++i) {
        var it = order[i];
        if (!isRectangle(it) || !it.visible || inSubtree(it, target) || it.color.a < 0.99
                || opacityOf(it, root) < 0.99 || !within(it, root, x, y) || clippedAway(it, root, x, y))
            continue;
        colour = it.color;
    }
    return colour;
}

function describe(item) {
    return (item.objectName || String(item).replace(/\(.*$/, "")) + (item.text ? " \"" + item.text + "\"" : "");
}

// The texts root shows, each on its background: [{what, ratio, needed}].
function textPairs(root, fallback) {
    var order = paintOrder(root);
    var rows = [];
    for (var i = 0; i < order.length; ++i) {
        var it = order[i];
        if (!isText(it) || !it.visible || String(it.text).trim() === "" || it.width <= 0 || it.height <= 0)
            continue;
        // what does nothing now is dimmed on purpose, and WCAG leaves inactive controls out
        if (opacityOf(it, root) < 0.99)
            continue;
        var c = it.mapToItem(root, it.width / 2, it.height / 2);
        if (c.x < 0 || c.y < 0 || c.x >= root.width || c.y >= root.height || clippedAway(it, root, c.x, c.y))
            continue;
        var size = it.font.pixelSize > 0 ? it.font.pixelSize : it.font.pointSize * 4 / 3;
        var large = size >= 24 || (it.font.bold && size >= 18.66);
        var bg = backgroundAt(order, root, it, c.x, c.y, fallback);
        rows.push({ what: describe(it), ratio: contrast(it.color, bg), needed: large ? 3 : 4.5 });
    }
    return rows;
}

// The borders root shows now: item -> colour, for telling what focus changes.
function borders(root) {
    var order = paintOrder(root);
    var out = [];
    for (var i = 0; i < order.length; ++i) {
        var it = order[i];
        if (isRectangle(it) && it.visible && it.border.width > 0 && it.border.color.a > 0)
            out.push({ item: it, colour: String(it.border.color), width: it.border.width });
    }
    return out;
}

// The focus indicator of control, as the keyboard gives it the focus: the borders that show or
// change with it, each against what is behind it and its own fill. Its contrast is that of its
// best ring (a ring of two colours shows on light and dark alike): {what, ratio, needed}.
function focusPair(root, control, fallback) {
    root.forceActiveFocus();
    var before = borders(root);
    control.forceActiveFocus(Qt.TabFocusReason);
    var after = borders(root);
    var order = paintOrder(root);
    var best = 0, rings = 0;
    for (var i = 0; i < after.length; ++i) {
        var ring = after[i];
        var same = before.some(function (b) {
            return b.item === ring.item && b.colour === ring.colour && b.width === ring.width;
        });
        if (same)
            continue;
        ++rings;
        var it = ring.item;
        var p = it.mapToItem(root, it.width / 2, it.border.width / 2);
        var ratio = contrast(it.border.color, backgroundAt(order, root, it, p.x, p.y, fallback));
        if (it.color.a >= 0.99)
            ratio = Math.min(ratio, contrast(it.border.color, it.color));
        best = Math.max(best, ratio);
    }
    return { what: "focus of " + describe(control), ratio: best, needed: 3, rings: rings };
}

// The rows below their needed ratio, as text for a failure message; "" when every one reaches it.
function failures(rows) {
    return rows.filter(function (r) { return !(r.ratio >= r.needed); })
               .map(function (r) { return r.what + ": " + r.ratio.toFixed(2) + ":1, needs " + r.needed + ":1"; })
               .join("; ");
}
