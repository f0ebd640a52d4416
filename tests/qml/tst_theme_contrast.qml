import QtQuick 2.15
import QtTest 1.15
import "../../content/qml/components"

// Every text colour of the theme against every background it is drawn on reaches 4.5:1 (WCAG's
// contrast of relative luminances), and the grade scale agrees with the evaluator's note colours.
TestCase {
    name: "ThemeContrast"

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
