import QtQuick 2.15
import QtTest 1.15
import "../../content/qml/components"
import "ContrastWalk.js" as Walk

// Every text colour of the theme against every background it is drawn on reaches 4.5:1 (WCAG's
// contrast of relative luminances), and the grade scale agrees with the evaluator's note colours.
// The pairs the components really draw are read from their items (ContrastWalk.js); the screens'
// own tests walk theirs.
Item {
    id: root

    width: 800
    height: 600

TestCase {
    name: "ThemeContrast"
    when: windowShown

    Component {
        id: header

        AppHeader {
            width: 800
        }
    }

    Component {
        id: badges

        Column {
            property var marks: [1, 0.75, 0.5, 0, -1]

            Repeater {
                model: parent.marks

                MarkBadge {
                    mark: modelData
                }
            }
        }
    }

    // the header on its dark bar: its name, the screen buttons and their focus
    function test_header_pairs_reach_their_contrast() {
        var bar = createTemporaryObject(header, root);
        var rows = Walk.textPairs(bar, Theme.background);
        compare(rows.length, 5);
        ["map", "practice"].forEach(function (target) {
            rows.push(Walk.focusPair(bar, findChild(bar, "nav_" + target), Theme.background));
        });
        compare(Walk.failures(rows), "");
    }

    function test_mark_badges_reach_their_contrast() {
        var column = createTemporaryObject(badges, root);
        var rows = Walk.textPairs(column, Theme.background);
        compare(rows.length, 5);
        compare(Walk.failures(rows), "");
    }

    // the walk itself finds a pair that fails, on what is really under the text
    Component {
        id: faint

        Rectangle {
            width: 200
            height: 60
            color: Theme.surface

            Rectangle {
                x: 100
                width: 100
                height: 60
                color: Theme.header

                Text {
                    text: "dark on dark"
                    color: Theme.text
                }
            }
            Text {
                text: "light"
                color: Theme.textOnDark
            }
            Rectangle {
                objectName: "focusable"
                y: 30
                width: 50
                height: 20
                activeFocusOnTab: true
                color: Theme.surface
                border.width: activeFocus ? 2 : 0
                border.color: Theme.border
            }
        }
    }

    function test_the_walk_finds_failing_pairs() {
        var box = createTemporaryObject(faint, root);
        var rows = Walk.textPairs(box, Theme.background);
        compare(rows.map(function (r) { return r.what; }), ["QQuickText \"dark on dark\"", "QQuickText \"light\""]);
        verify(rows.every(function (r) { return r.ratio < 2; }), JSON.stringify(rows));
        var ring = Walk.focusPair(box, findChild(box, "focusable"), Theme.background);
        compare(ring.rings, 1);
        verify(ring.ratio < 3, ring.ratio);
    }

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

    // the ruler itself: black on white is 21:1, a colour on itself 1:1, white on pure red 4.0:1
    function test_contrast_is_measured_as_wcag_does_data() {
        return [
            { tag: "black on white", a: "#000000", b: "#ffffff", ratio: 21 },
            { tag: "same colour", a: "#2f6db5", b: "#2f6db5", ratio: 1 },
            { tag: "white on red", a: "#ffffff", b: "#ff0000", ratio: 3.998 },
            { tag: "white on yellow chip of old", a: "#ffffff", b: "#d9a521", ratio: 2.24 }
        ];
    }

    function test_contrast_is_measured_as_wcag_does(data) {
        // a colour from its name (Qt.lighter by 1 changes nothing)
        fuzzyCompare(contrast(Qt.lighter(data.a, 1), Qt.lighter(data.b, 1)), data.ratio, 0.01);
    }

    function test_text_reaches_4_5_to_1_on_its_background_data() {
        var rows = [];
        var pairs = [
            // current: a lit count-in beat
            ["text", ["background", "surface", "surfaceAlt", "accentLight", "completedSurface", "current"]],
            ["textMuted", ["background", "surface", "surfaceAlt", "accentLight", "completedSurface"]],
            ["textOnDark", ["header", "accent", "open"]],
            ["accent", ["background", "surface"]],
            ["error", ["background", "surface"]],
            ["focus", ["background", "surface", "surfaceAlt", "accentLight"]]
        ];
        for (var i = 0; i < pairs.length; ++i)
            for (var j = 0; j < pairs[i][1].length; ++j)
                rows.push({ tag: pairs[i][0] + " on " + pairs[i][1][j], text: Theme[pairs[i][0]],
                            background: Theme[pairs[i][1][j]] });
        // the chips and the badge: each step of the grade scale with its own text colour
        var steps = ["right", "close", "far", "wrong", "none"];
        for (var k = 0; k < steps.length; ++k)
            rows.push({ tag: "grade " + steps[k], text: Theme.gradeTextColour(steps[k]),
                        background: Theme.gradeColour(steps[k]) });
        return rows;
    }

    function test_text_reaches_4_5_to_1_on_its_background(data) {
        var ratio = contrast(data.text, data.background);
        verify(ratio >= 4.5, data.tag + ": " + ratio.toFixed(2) + ":1");
    }

    // the evaluator colours a right note "green" and a wrong one "red" in the answer's score
    function test_scale_ends_are_the_evaluators_note_colours() {
        verify(Qt.colorEqual(Theme.gradeColour("right"), "green"));
        verify(Qt.colorEqual(Theme.gradeColour("wrong"), "red"));
        // and the steps between are told apart from both
        var steps = ["right", "close", "far", "wrong", "none"].map(function (s) { return String(Theme.gradeColour(s)); });
        compare(steps.filter(function (c, i) { return steps.indexOf(c) === i; }).length, 5);
    }
}
}
