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
    readonly property color textMuted: "#525b65"
    readonly property color textOnDark: "#ffffff"
    readonly property color textOnBright: "#000000"
    readonly property color header: "#1f3b5a"
    readonly property color accent: "#2f6db5"
    readonly property color accentLight: "#d6e4f5"
    readonly property color current: "#f2b134"
    // text of a failure
    readonly property color error: "#b3261e"
    // the keyboard focus: a ring no background hides
    readonly property color focus: "#1a56a8"
    readonly property int focusWidth: 2

    // activity states
    readonly property color locked: "#b9b4aa"
    readonly property color open: "#2f6db5"
    readonly property color completed: "#3a8f4f"
    readonly property color completedSurface: "#e3f1e6"

    // The one colour scale of grades, used by the mark badge, the chips, the boxes on the score
    // and the notes: its steps are the marks a grade earns (right 1, close 0.75, far 0.5, wrong 0,
    // see FeedbackLogic.markClass). Right and wrong are the colours the evaluator writes into the
    // answer's notes ("green" and "red"), so a note and its box agree.
    readonly property color gradeRight: "#008000"
    readonly property color gradeClose: "#f2c12e"
    readonly property color gradeFar: "#f08a24"
    readonly property color gradeWrong: "#ff0000"
    readonly property color gradeNone: "#6b7280"

    // colour of a grade class of FeedbackLogic.gradeClass / markClass
    function gradeColour(gradeClass) {
        switch (gradeClass) {
        case "right": return gradeRight;
        case "close": return gradeClose;
        case "far": return gradeFar;
        case "wrong": return gradeWrong;
        }
        return gradeNone;
    }

    // text on a grade's colour: the one of the two that stays readable (4.5:1) on it
    function gradeTextColour(gradeClass) {
        switch (gradeClass) {
        case "close": case "far": return text;
        case "wrong": return textOnBright;
        }
        return textOnDark;
    }

    readonly property color plotLine: "#2f6db5"
    readonly property color plotFill: "#302f6db5"
    readonly property color plotGrid: "#ddd6c8"
}
