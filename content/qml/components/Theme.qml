pragma Singleton
import QtQuick 2.15

// One place for the colours, sizes and fonts of every screen.
QtObject {
    readonly property string fontFamily: "DejaVu Sans"

    // text sizes in pixels; chosen to stay readable at 800x600
    readonly property int fontSmall: 12
    readonly property int fontNormal: 14
    readonly property int fontLarge: 18
    readonly property int fontTitle: 22
    readonly property int fontHuge: 40

    readonly property int spacing: 8
    readonly property int margin: 16
    readonly property int radius: 6
    readonly property int headerHeight: 48
    readonly property int buttonHeight: 36
    readonly property int tileHeight: 34

    readonly property color background: "#f4f1ea"
    readonly property color surface: "#ffffff"
    readonly property color surfaceAlt: "#ebe6dc"
    readonly property color border: "#cfc7b8"
    readonly property color text: "#1f2a36"
    readonly property color textMuted: "#5d6670"
    readonly property color textOnDark: "#ffffff"
    readonly property color header: "#1f3b5a"
    readonly property color accent: "#2f6db5"
    readonly property color accentLight: "#d6e4f5"
    readonly property color current: "#f2b134"

    // activity states
    readonly property color locked: "#b9b4aa"
    readonly property color open: "#2f6db5"
    readonly property color completed: "#3a8f4f"

    // grades of an answered note
    readonly property color gradeRight: "#2e9b4b"
    readonly property color gradeClose: "#d9a521"
    readonly property color gradeFar: "#e07b24"
    readonly property color gradeWrong: "#c8372d"
    readonly property color gradeNone: "#9aa1a8"

    // colour of a grade class of ExerciseLogic.gradeClass
    function gradeColour(gradeClass) {
        switch (gradeClass) {
        case "right": return gradeRight;
        case "close": return gradeClose;
        case "far": return gradeFar;
        case "wrong": return gradeWrong;
        }
        return gradeNone;
    }

    readonly property color plotLine: "#2f6db5"
    readonly property color plotFill: "#302f6db5"
    readonly property color plotGrid: "#ddd6c8"
}
