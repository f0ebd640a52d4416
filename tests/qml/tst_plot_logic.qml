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

    function test_rating_points_follow_the_progress_rows() {
        var progress = model([{ timestamp: 0, value: 0 }, { timestamp: 1, value: 12 },
                              { timestamp: 2, value: 9 }, { timestamp: 3, value: 30 }]);
        compare(Plot.ratingPoints(progress), [{ x: 0, y: 0 }, { x: 1, y: 12 }, { x: 2, y: 9 }, { x: 3, y: 30 }]);
        compare(Plot.ratingPoints(null), []);
    }

    function test_mark_rows_skip_the_empty_first_row() {
        var quizzes = model([{}, { timestamp: "2026/12/07 00:10", grade: "Grade 1", subject: "Rhythm", value: 85 },
                             { timestamp: "2026/12/06 23:50", grade: "Grade 1", subject: "Melody", value: -100 }]);
        var rows = Plot.markRows(quizzes);
        compare(rows.length, 2);
        compare(rows[0], { timestamp: "2026/12/07 00:10", grade: "Grade 1", subject: "Rhythm", value: 85 });
        compare(rows[1].value, -100);
        // exam rows have no subject
        compare(Plot.markRows(model([{}, { timestamp: "t", grade: "Grade 2", value: 60 }]))[0].subject, "");
    }

    function test_nice_steps_data() {
        return [
            { tag: "30 over 5", range: 30, ticks: 5, step: 10 },
            { tag: "7 over 5", range: 7, ticks: 5, step: 2 },
            { tag: "120 over 5", range: 120, ticks: 5, step: 50 },
            { tag: "0.3 over 3", range: 0.3, ticks: 3, step: 0.1 },
            { tag: "no range", range: 0, ticks: 5, step: 1 }
        ];
    }

    function test_nice_steps(data) {
        fuzzyCompare(Plot.niceStep(data.range, data.ticks), data.step, 1e-12);
    }

    function test_bounds_start_at_zero_and_round_the_top() {
        var b = Plot.bounds([{ x: 0, y: 0 }, { x: 1, y: 12 }, { x: 2, y: 27 }], 5);
        compare(b.minX, 0);
        compare(b.maxX, 2);
        compare(b.minY, 0);
        compare(b.stepY, 10);
        compare(b.maxY, 30);
        compare(Plot.gridValues(b), [0, 10, 20, 30]);
    }

    function test_bounds_reach_below_zero_for_a_fallen_rating() {
        var b = Plot.bounds([{ x: 0, y: 0 }, { x: 1, y: -8 }, { x: 2, y: 4 }], 5);
        compare(b.minY, -10);
        compare(b.maxY, 5);
    }

    function test_a_single_point_still_has_an_area() {
        var b = Plot.bounds([{ x: 0, y: 0 }], 5);
        verify(b.maxX > b.minX);
        verify(b.maxY > b.minY);
    }

    function test_points_map_into_the_plot_area() {
        var b = { minX: 0, maxX: 4, minY: 0, maxY: 40, stepY: 10 };
        var area = { x: 50, y: 10, width: 400, height: 200 };
        compare(Plot.toCanvas({ x: 0, y: 0 }, b, area), { x: 50, y: 210 });
        compare(Plot.toCanvas({ x: 4, y: 40 }, b, area), { x: 450, y: 10 });
        compare(Plot.toCanvas({ x: 2, y: 10 }, b, area), { x: 250, y: 160 });
    }
}
