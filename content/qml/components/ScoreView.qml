import QtQuick 2.15
import Tarvolin 1.0

// A score drawn to the width it is given and cut below its last staff.
Rectangle {
    id: root

    property alias score: proxy
    property alias gmnCode: proxy.gmnCode
    property alias tempo: proxy.tempo
    property int maximumHeight: 220
    readonly property int padding: Theme.spacing
    // lowest edge of the drawn staves, in item coordinates of the score
    readonly property real musicBottom: {
        var bottom = 0;
        var rects = proxy.noteBoundingRects;
        for (var i = 0; i < rects.length; ++i)
            bottom = Math.max(bottom, rects[i].y + rects[i].height);
        return bottom > 0 ? bottom : Math.min(proxy.height, maximumHeight);
    }
    property real baseWidth: 0

    function fit() {
        if (proxy.gmnCode === "" || proxy.width <= 0 || proxy.scalingFactor <= 0)
            return;
        if (baseWidth <= 0)
            baseWidth = proxy.width / proxy.scalingFactor;
        var factor = (root.width - 2 * padding) / baseWidth;
        if (factor > 0 && factor <= 10 && Math.abs(factor - proxy.scalingFactor) > 0.001)
            proxy.scalingFactor = factor;
    }

    implicitHeight: Math.min(maximumHeight, musicBottom + 2 * padding)
    color: Theme.surface
    border.color: Theme.border
    radius: Theme.radius
    clip: true

    onWidthChanged: fit()

    ScoreProxy {
        id: proxy

        x: root.padding
        y: root.padding
        compact: true
        onGmnCodeChanged: {
            root.baseWidth = 0;
            root.fit();
        }
    }
}
