import QtQuick 2.15
import "../js/PlotLogic.js" as Plot

// The skill rating over time as a line over a shaded area, with a labelled grid.
Rectangle {
    id: root

    // [{x, y}] as PlotLogic.ratingPoints gives them
    property var points: []
    readonly property var bounds: Plot.bounds(points, 5)
    readonly property int leftMargin: 48
    readonly property int bottomMargin: 28

    color: Theme.surface
    border.color: Theme.border
    radius: Theme.radius

    onPointsChanged: canvas.requestPaint()
    onWidthChanged: canvas.requestPaint()
    onHeightChanged: canvas.requestPaint()

    Canvas {
        id: canvas

        anchors.fill: parent
        anchors.margins: Theme.spacing

        onPaint: {
            var ctx = getContext("2d");
            ctx.reset();
            var area = { x: root.leftMargin, y: 8, width: width - root.leftMargin - 12,
                         height: height - root.bottomMargin - 8 };
            var b = root.bounds;
            ctx.font = Theme.fontSmall + "px \"" + Theme.fontFamily + "\"";
            ctx.textBaseline = "middle";

            // grid and its values
            var grid = Plot.gridValues(b);
            ctx.lineWidth = 1;
            for (var g = 0; g < grid.length; ++g) {
                var gy = Plot.toCanvas({ x: b.minX, y: grid[g] }, b, area).y;
                ctx.strokeStyle = Theme.plotGrid;
                ctx.beginPath();
                ctx.moveTo(area.x, gy);
                ctx.lineTo(area.x + area.width, gy);
                ctx.stroke();
                ctx.fillStyle = Theme.textMuted;
                ctx.textAlign = "right";
                ctx.fillText(String(grid[g]), area.x - 6, gy);
            }
            ctx.textAlign = "center";
            ctx.fillText(qsTr("activities and practice sessions, oldest first"), area.x + area.width / 2,
                         area.y + area.height + root.bottomMargin / 2 + 2);

            var pts = root.points;
            if (pts.length === 0)
                return;
            var first = Plot.toCanvas(pts[0], b, area);
            var bottom = Plot.toCanvas({ x: b.minX, y: Math.max(b.minY, 0) }, b, area).y;

            ctx.fillStyle = Theme.plotFill;
            ctx.beginPath();
            ctx.moveTo(first.x, bottom);
            for (var i = 0; i < pts.length; ++i) {
                var p = Plot.toCanvas(pts[i], b, area);
                ctx.lineTo(p.x, p.y);
            }
            ctx.lineTo(Plot.toCanvas(pts[pts.length - 1], b, area).x, bottom);
            ctx.closePath();
            ctx.fill();

            ctx.strokeStyle = Theme.plotLine;
            ctx.lineWidth = 2.5;
            ctx.beginPath();
            for (var j = 0; j < pts.length; ++j) {
                var q = Plot.toCanvas(pts[j], b, area);
                if (j === 0)
                    ctx.moveTo(q.x, q.y);
                else
                    ctx.lineTo(q.x, q.y);
            }
            ctx.stroke();

            ctx.fillStyle = Theme.plotLine;
            for (var k = 0; k < pts.length; ++k) {
                var d = Plot.toCanvas(pts[k], b, area);
                ctx.beginPath();
                ctx.arc(d.x, d.y, 3.5, 0, 2 * Math.PI);
                ctx.fill();
            }
        }
    }
}
