import QtQuick 2.15
import "components"

// The window's content: the header and one screen at a time.
Rectangle {
    id: root

    // map, activity, practice, statistics, settings
    property string screen: "map"

    width: 1024
    height: 768
    color: Theme.background

    // Ctrl+1..4 reach the screens the header's buttons reach
    Repeater {
        model: ["map", "practice", "statistics", "settings"]

        Item {
            Shortcut {
                sequence: "Ctrl+" + (index + 1)
                enabled: runtime.globals.interactionEnabled
                onActivated: root.screen = modelData
            }
        }
    }

    AppHeader {
        id: header

        anchors.left: parent.left
        anchors.right: parent.right
        current: root.screen
        interactive: runtime.globals.interactionEnabled
        onNavigate: root.screen = target
    }

    RecordsNotice {
        id: recordsNotice

        anchors.top: header.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        text: runtime.globals.recordsNotice
        onDismissed: runtime.globals.dismissRecordsNotice()
    }

    Loader {
        id: screenLoader

        anchors.top: recordsNotice.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        focus: true
        sourceComponent: {
            switch (root.screen) {
            case "activity": return activityScreen;
            case "practice": return practiceScreen;
            case "statistics": return statisticsScreen;
            case "settings": return settingsScreen;
            }
            return courseMap;
        }
        onLoaded: item.forceActiveFocus()
    }

    Component {
        id: courseMap

        CourseMap {
            onOpenRequested: root.screen = "activity"
        }
    }
    Component {
        id: activityScreen

        ActivityScreen {
        }
    }
    Component {
        id: practiceScreen

        Loader {
            // the practice page lives in the course tree
            focus: true
            source: Qt.resolvedUrl("content/%23practice%23/page.qml")
            onLoaded: item.forceActiveFocus()
        }
    }
    Component {
        id: statisticsScreen

        StatisticsScreen {
        }
    }
    Component {
        id: settingsScreen

        SettingsScreen {
        }
    }
}
