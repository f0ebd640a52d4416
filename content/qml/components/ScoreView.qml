import QtQuick 2.15
import Tarvolin 1.0
import "../js/FeedbackLogic.js" as Feedback

// A score drawn as large as its width allows (up to maximumScale) and cut below its last staff.
Rectangle {
    id: root

    property alias score: proxy
    // the code to draw; an empty code is never handed to the score (the engine refuses it)
    property string code
    property alias tempo: proxy.tempo
    property int maximumHeight: 220
    property real maximumScale: 4.5
    // outcome row per note (see FeedbackLogic): each graded note is marked in its grade's colour
    property var grades: []
    // mark the note the score's playback has reached
    property bool followPlayback: false
    // or the note another playback of the same notes has reached: the Date.now() of its first
    // note, 0 when none runs (the exercise engine plays the question on its own timeline)
    property real followSince: 0
    property int clockNote: -1
    // or a note given from outside (another score of the same notes is playing)
    property int shownNote: -1
    readonly property int markedNote: shownNote >= 0 ? shownNote : followSince > 0 ? clockNote
                                    : followPlayback ? proxy.currentNoteIndex : -1
    readonly property int padding: Theme.spacing
    // room below the marked staff band for stems and the time signature, at scale 1: a one-line
    // (percussive) staff's band is only the line, a five-line staff's band already holds it
    readonly property real belowBand: proxy.playbackPercussive ? 6 : 2
    // width of the music (not of the page) at scale 1, measured on each new code
    property real baseMusicWidth: 0
    property real baseMusicBottom: 0
    readonly property real musicBottom: {
        var bottom = 0;
        var rects = proxy.noteBoundingRects;
        for (var i = 0; i < rects.length; ++i)
            bottom = Math.max(bottom, rects[i].y + rects[i].height);
        return bottom > 0 ? bottom : Math.min(proxy.height, maximumHeight);
    }

    function measureMusic() {
        var right = 0;
        var rects = proxy.noteBoundingRects;
        for (var i = 0; i < rects.length; ++i)
            right = Math.max(right, rects[i].x + rects[i].width);
        // the final bar line stands a little after the last note
        if (right > 0 && proxy.scalingFactor > 0) {
            baseMusicWidth = (right * 1.08 + 12) / proxy.scalingFactor;
            baseMusicBottom = musicBottom / proxy.scalingFactor;
        }
    }

    function fit() {
        if (baseMusicWidth <= 0)
            return;
        // as wide as the view, as tall as allowed (see implicitHeight), never larger than maximumScale
        var factor = Math.min(maximumScale, (width - 2 * padding) / baseMusicWidth,
                              (maximumHeight - 3 * padding) / (baseMusicBottom + belowBand));
        if (factor > 0 && Math.abs(factor - proxy.scalingFactor) > 0.001)
            proxy.scalingFactor = factor;
    }

    implicitHeight: Math.min(maximumHeight, musicBottom + 3 * padding + belowBand * proxy.scalingFactor)
    color: Theme.surface
    border.color: Theme.border
    radius: Theme.radius
    clip: true

    onWidthChanged: fit()
    onMaximumHeightChanged: fit()
    onCodeChanged: {
        if (code !== "")
            proxy.gmnCode = code;
    }

    Timer {
        interval: 20
        repeat: true
        running: root.followSince > 0
        onTriggered: root.clockNote = proxy.noteIndexAtTime((Date.now() - root.followSince) / 1000)
        onRunningChanged: root.clockNote = -1
    }

    ScoreProxy {
        id: proxy

        x: root.padding
        y: 2 * root.padding
        compact: true
        // the rectangles of a new code are in place when its change is announced
        onGmnCodeChanged: {
            root.measureMusic();
            root.fit();
        }

        Rectangle {
            objectName: "playedNoteMark"

            readonly property var rect: proxy.noteBoundingRectAtIdx(root.markedNote)

            visible: root.markedNote >= 0 && rect !== undefined
            x: visible ? rect.x : 0
            y: visible ? rect.y : 0
            width: visible ? rect.width : 0
            height: visible ? rect.height + 2 * root.padding : 0
            radius: 3
            color: Qt.rgba(Theme.current.r, Theme.current.g, Theme.current.b, 0.35)
        }

        Repeater {
            model: root.grades.length > 0 ? proxy.noteBoundingRects : []

            Rectangle {
                readonly property var grade: root.grades[index]
                readonly property color gradeColour: Theme.gradeColour(Feedback.gradeClass(grade))

                visible: grade !== undefined && proxy.noteAtIndex(index) !== "S"
                x: modelData.x
                y: modelData.y
                width: modelData.width
                height: modelData.height + 2 * root.padding
                radius: 3
                color: Qt.rgba(gradeColour.r, gradeColour.g, gradeColour.b, 0.22)
                border.color: gradeColour
                border.width: 2
            }
        }
    }
}
