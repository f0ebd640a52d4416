import QtQuick 2.15
import QtQuick.Layouts 1.15
import "../js/CourseLogic.js" as CourseLogic

// The current activity's own page, between Previous and Next. The page holds the keyboard focus.
FocusScope {
    id: root

    readonly property var course: runtime.course
    property var activity: null
    property url pageUrl

    function reload() {
        activity = course.currentActivity;
        pageUrl = activity ? CourseLogic.pageUrl(activity.fsPath) : "";
    }

    Component.onCompleted: reload()

    Shortcut {
        sequence: "Ctrl+Left"
        enabled: runtime.globals.interactionEnabled
        onActivated: root.course.previousActivity()
    }
    Shortcut {
        sequence: "Ctrl+Right"
        enabled: runtime.globals.interactionEnabled && root.activity !== null
                 && CourseLogic.canGoNext(root.activity.type)
        onActivated: root.course.nextActivity()
    }

    // the page may be the one asking to move on: swap it once its handler has returned
    Connections {
        target: root.course

        function onCurrentActivityChanged() { Qt.callLater(root.reload); }
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
                enabled: runtime.globals.interactionEnabled
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
                enabled: runtime.globals.interactionEnabled && root.activity !== null
                         && CourseLogic.canGoNext(root.activity.type)
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
