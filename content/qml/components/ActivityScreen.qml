import QtQuick 2.15
import QtQuick.Layouts 1.15
import "../js/CourseLogic.js" as CourseLogic
import "../js/QuestionFollow.js" as Follow

// The current activity's own page, between Previous and Next. The page holds the keyboard focus.
FocusScope {
    id: root

    readonly property var course: runtime.course
    property var activity: null
    property url pageUrl
    // states change in the records without every item saying so (completing this one opens the
    // next): the moves are re-read when this one's state or the course changes
    property int revision: 0
    readonly property bool canGoPrevious: {
        revision;
        return activity !== null && activity.state !== undefined && Follow.canStep(activity, -1);
    }
    readonly property bool canGoNext: {
        revision;
        return activity !== null && activity.state !== undefined && CourseLogic.canGoNext(activity.type)
               && Follow.canStep(activity, 1);
    }

    function reload() {
        activity = course.currentActivity;
        pageUrl = activity ? CourseLogic.pageUrl(activity.fsPath) : "";
    }

    Component.onCompleted: reload()

    Shortcut {
        sequence: "Ctrl+Left"
        enabled: runtime.globals.interactionEnabled && root.canGoPrevious
        onActivated: root.course.previousActivity()
    }
    Shortcut {
        sequence: "Ctrl+Right"
        enabled: runtime.globals.interactionEnabled && root.canGoNext
        onActivated: root.course.nextActivity()
    }

    // the page may be the one asking to move on: swap it once its handler has returned
    Connections {
        target: root.course

        function onCurrentActivityChanged() { Qt.callLater(root.reload); }
        function onModelChanged() { root.revision++; }
    }
    Connections {
        target: root.activity

        function onStateChanged() { root.revision++; }
    }

    Rectangle {
        anchors.fill: parent
        color: Theme.background
    }

    Rectangle {
        id: bar

        anchors.left: parent.left
        anchors.right: parent.right
        height: Theme.headerHeight - 4
        color: Theme.surfaceAlt

        RowLayout {
            anchors.fill: parent
            anchors.leftMargin: Theme.margin
            anchors.rightMargin: Theme.margin
            spacing: Theme.spacing

            AppButton {
                objectName: "previousButton"
                text: qsTr("\u2039 Previous")
                enabled: runtime.globals.interactionEnabled && root.canGoPrevious
                onClicked: root.course.previousActivity()
            }
            Text {
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                text: root.activity ? CourseLogic.kindLabel(root.activity.type) + " \u00b7 "
                                      + (root.activity.parent ? root.activity.parent.name : "") : ""
                elide: Text.ElideRight
                color: Theme.textMuted
                font.family: Theme.fontFamily
                font.pixelSize: Theme.fontNormal
            }
            AppButton {
                objectName: "nextButton"
                text: qsTr("Next \u203a")
                enabled: runtime.globals.interactionEnabled && root.canGoNext
                onClicked: root.course.nextActivity()
            }
        }
    }

    Loader {
        id: pageLoader

        anchors.top: bar.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        source: root.pageUrl
        focus: true
        onLoaded: {
            if (item.hasOwnProperty("activity"))
                item.activity = root.activity;
            item.forceActiveFocus();
        }
    }
}
