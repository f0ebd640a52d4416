import QtQuick 2.15
import QtTest 1.15
import "../../content/qml/js/PlotLogic.js" as Plot

// What the statistics screen draws, from models shaped like the statistics facade's.
TestCase {
    name: "PlotLogic"

    // {length, get(row)} over plain rows, as the role item models answer
    function model(rows) {
        return { length: rows.length, get: function (i) { return rows[i]; } };
    }

    function test_points_and_mark_rows_skip_the_empty_first_row() {
        compare(Plot.ratingPoints(model([{}, { timestamp: 1, value: 12 }, { timestamp: 2, value: 9 }])),
                [{ x: 1, y: 12 }, { x: 2, y: 9 }]);
        var rows = Plot.markRows(model([{}, { timestamp: "2026/12/07 00:10", grade: "Grade 1", value: -100 }]));
        // exam rows have no subject
        compare(rows, [{ timestamp: "2026/12/07 00:10", grade: "Grade 1", subject: "", value: -100 }]);
    }

    function test_bounds_data() {
        return [
            { tag: "from zero to a rounded top (steps of 10)", ys: [0, 12, 27], minY: 0, maxY: 30, grid: [0, 10, 20, 30] },
            { tag: "below zero for a fallen rating (steps of 5)", ys: [0, -8, 4], minY: -10, maxY: 5 },
            { tag: "a single point still has an area (steps of 2)", ys: [0], minY: 0, maxY: 10, grid: [0, 2, 4, 6, 8, 10] }
        ];
    }

    function test_bounds(data) {
        var b = Plot.bounds(data.ys.map(function (y, i) { return { x: i, y: y }; }), 5);
        compare([b.minX, b.maxX, b.minY, b.maxY], [0, Math.max(1, data.ys.length - 1), data.minY, data.maxY]);
        if (data.grid)
            compare(Plot.gridValues(b), data.grid);
    }

    // and said in the same words everywhere: nothing stored and nothing earned read alike
    function test_current_rating_is_the_newest_stored_one_data() {
        return [
            { tag: "nothing stored: only the starting row", points: [{ x: 0, y: 0 }], rating: -1, says: "not earned yet" },
            { tag: "no rows at all", points: [], rating: -1, says: "not earned yet" },
            { tag: "a stored zero is a rating", points: [{ x: 0, y: 0 }, { x: 1, y: 0 }], rating: 0, says: "not earned yet" },
            { tag: "one point", points: [{ x: 0, y: 0 }, { x: 1, y: 1 }], rating: 1, says: "1 point" },
            { tag: "the newest of several", points: [{ x: 0, y: 0 }, { x: 1, y: 120 }, { x: 2, y: 95 }], rating: 95,
              says: "95 points" }
        ];
    }

    function test_current_rating_is_the_newest_stored_one(data) {
        compare(Plot.currentRating(data.points), data.rating);
        compare(Plot.ratingText(data.rating), data.says);
    }

    // the bars keep one scale however small the skills are: never stretched to the largest
    function test_skill_bars_have_a_fixed_scale_data() {
        return [
            { tag: "no skills yet", values: [0, 0, 0], top: 1500, ticks: [0, 750, 1500] },
            { tag: "small skills", values: [187, 172, 0], top: 1500, ticks: [0, 750, 1500] },
            { tag: "right at the top", values: [1500, 10, 0], top: 1500, ticks: [0, 750, 1500] },
            { tag: "a skill beyond it", values: [1501, 10, 0], top: 3000, ticks: [0, 1500, 3000] },
            { tag: "far beyond", values: [4400, 3000, 0], top: 4500, ticks: [0, 1500, 3000, 4500] }
        ];
    }

    function test_skill_bars_have_a_fixed_scale(data) {
        var scale = Plot.skillScale(data.values);
        compare(scale.top, data.top);
        compare(scale.ticks, data.ticks);
    }
}
