import QtQuick 2.15
import QtTest 1.15
import "../../content/qml/components"
import "ContrastWalk.js" as Walk

// Components that draw data: the grade chips, the rating plot and the level meter.
Item {
    id: root

    width: 640
    height: 480

    // a score whose third entry is a rest
    QtObject {
        id: scoreWithRest

        function noteAtIndex(i) { return i === 2 ? "S" : "A1"; }
    }

    OutcomeStrip {
        id: strip

        width: 600
        // right, late, a rest's filled row, a very sharp note, a wrong note, one never sung
        grades: [{ outcome: 1, pitch: 1 }, { outcome: 3, rhythm: 3 }, { outcome: 10, skipped: true },
                 { outcome: 9, pitch: 9 }, { outcome: 10, pitch: 10 }, { outcome: 10, skipped: true, pitch: 10 }]
        score: scoreWithRest
    }

    RatingPlot {
        id: plot

        y: 100
        width: 400
        height: 240
    }

    MarksTable {
        id: marks

        x: 420
        y: 100
        width: 200
        title: "Quizzes"
        rows: [{ grade: "Grade 1", timestamp: "2026/12/01 10:00", value: 100 },
               { grade: "Grade 1", timestamp: "2026/12/02 10:00", value: 92 },
               { grade: "Grade 1", timestamp: "2026/12/03 10:00", value: 60 },
               { grade: "Grade 1", timestamp: "2026/12/04 10:00", value: 40 },
               { grade: "Grade 1", timestamp: "2026/12/05 10:00", value: -1 }]
    }

    LevelMeter {
        id: meter

        y: 360
        width: 200
    }

    TestCase {
        name: "Components"
        when: windowShown

        function chips() {
            var out = [];
            for (var i = 0; i < strip.children.length; ++i)
                if (strip.children[i].hasOwnProperty("radius"))
                    out.push(strip.children[i]);
            return out;
        }

        // the chips' words, the marks table and the plot's labels on what is under them
        function test_every_text_reaches_its_contrast() {
            var rows = Walk.textPairs(root, Theme.background);
            verify(rows.length >= 10, rows.length + " texts");
            compare(Walk.failures(rows), "");
        }

        function test_every_answered_note_gets_a_chip_in_its_grade_colour() {
            var c = chips();
            compare(c.map(function (chip) { return chip.color; }),
                    [Theme.gradeRight, Theme.gradeClose, Theme.gradeWrong, Theme.gradeFar, Theme.gradeWrong,
                     Theme.gradeWrong]);
            // the rest's row is filled by the engine but shows no chip, and the numbering skips it;
            // a note sung wrong is not a note never sung
            compare(c.map(function (chip) { return chip.visible ? chip.children[0].text : ""; }),
                    ["1 right", "2 late", "", "3 very sharp", "4 wrong note", "5 missed"]);
            // each word in the text colour that stays readable on its chip
            compare(c.map(function (chip) { return chip.children[0].color; }),
                    [Theme.textOnDark, Theme.text, Theme.textOnBright, Theme.text, Theme.textOnBright,
                     Theme.textOnBright]);
        }

        // a quiz's mark is on the same scale as an answer's badge: green only when all was right
        function test_marks_are_chips_on_the_grade_scale() {
            var found = [];
            var walk = function (item) {
                if (item.objectName === "markChip")
                    found.push(item);
                for (var i = 0; i < item.children.length; ++i)
                    walk(item.children[i]);
            };
            walk(marks);
            compare(found.map(function (c) { return c.gradeClass; }), ["right", "close", "far", "wrong", "none"]);
            compare(found.map(function (c) { return c.children[0].text; }), ["100%", "92%", "60%", "40%", "aborted"]);
            compare(found[1].children[0].color, Theme.gradeTextColour("close"));
        }

        function test_plot_draws_the_rating_line_through_its_points() {
            plot.points = [{ x: 0, y: 0 }, { x: 1, y: 10 }, { x: 2, y: 20 }];
            compare(plot.bounds.maxY, 20);
            wait(50);
            waitForRendering(plot);
            var image = grabImage(plot);
            // the last point sits at the top right corner of the plot area
            var px = Theme.spacing + plot.width - 2 * Theme.spacing - 12;
            var py = Theme.spacing + 8;
            var found = false;
            for (var dx = -2; dx <= 2 && !found; ++dx)
                for (var dy = -2; dy <= 2 && !found; ++dy)
                    found = Qt.colorEqual(image.pixel(px + dx, py + dy), Theme.plotLine);
            verify(found, "no rating line at the last point");
            // the area under the first point is not filled: the rating started at zero there
            verify(!Qt.colorEqual(image.pixel(Theme.spacing + plot.leftMargin + 30, py + 4), Theme.plotLine));
        }

        function test_level_meter_reads_decibels_and_keeps_the_peak() {
            // -40 dB, -20 dB, below -60 dB, full scale, silence
            var shown = [0.01, 0.1, 0.0005, 1.0, 0.0].map(function (v) { meter.report(v); return meter.shown; });
            compare(shown.map(function (v) { return Math.round(v * 1000) / 1000; }), [0.333, 0.667, 0, 1, 0]);
            verify(meter.peak > 0.9);
        }
    }
}
