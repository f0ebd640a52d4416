import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import "../js/CourseLogic.js" as CourseLogic

// The main screen: where the learner is, how far the current subject is done, and every grade
// with its subjects and activities.
Rectangle {
    id: root

    // states change in the records without every item saying so; re-read them on these signals
    property int revision: 0
    readonly property var course: runtime.course
    readonly property var current: course.currentActivity
    readonly property var gradeStates: {
        revision;
        var states = [];
        var grades = course.rootItem.children;
        for (var i = 0; i < grades.length; ++i)
            states.push(grades[i].state);
        return states;
    }

    signal openRequested()

    function openCurrent() {
        if (current && runtime.globals.interactionEnabled)
            openRequested();
    }

    // every activity tile on the map, in the order they are laid out
    function tiles() {
        var found = [];
        var walk = function (item) {
            for (var i = 0; i < item.children.length; ++i) {
                var child = item.children[i];
                if (!child.visible)
                    continue;
                if (child.objectName === "activityTile")
                    found.push(child);
                else
                    walk(child);
            }
        };
        walk(scroller.contentItem);
        return found;
    }

    // the arrow keys move the focus to the nearest tile that way; false when it stays
    function moveFocus(direction) {
        var list = tiles();
        if (list.length === 0)
            return false;
        var from = -1, rects = [];
        for (var i = 0; i < list.length; ++i) {
            if (list[i].activeFocus)
                from = i;
            var p = list[i].mapToItem(root, 0, 0);
            rects.push({ x: p.x, y: p.y, width: list[i].width, height: list[i].height });
        }
        var to = -1;
        if (from < 0) {
            // nothing chosen yet: start at the current activity
            for (var k = 0; k < list.length && to < 0; ++k)
                if (list[k].isCurrent)
                    to = k;
            to = Math.max(0, to);
        } else {
            to = CourseLogic.neighbour(rects, from, direction);
        }
        if (to < 0)
            return from >= 0;
        // the tile scrolls itself into view as it takes the focus
        list[to].forceActiveFocus(Qt.TabFocusReason);
        return true;
    }

    color: Theme.background
    Keys.onReturnPressed: openCurrent()
    Keys.onEnterPressed: openCurrent()
    // an arrow before any tile has the focus; the tiles pass theirs to moveFocus themselves, since
    // the scrolled view between them and the map keeps the arrow keys
    Keys.onPressed: {
        var direction = CourseLogic.arrowDirection(event.key);
        if (direction !== "")
            event.accepted = moveFocus(direction);
    }

    Connections {
        target: root.course

        function onModelChanged() { root.revision++; }
        function onCurrentActivityChanged() { root.revision++; }
        function onModuleCompletionPercentageChanged() { root.revision++; }
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: Theme.margin
        spacing: Theme.margin

        Rectangle {
            Layout.fillWidth: true
            implicitHeight: currentRow.implicitHeight + 2 * Theme.margin
            color: Theme.accentLight
            radius: Theme.radius

            RowLayout {
                id: currentRow

                anchors.fill: parent
                anchors.margins: Theme.margin
                spacing: Theme.margin

                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 4

                    Text {
                        text: root.course.isInitialActivity ? qsTr("Start here") : qsTr("Continue with")
                        color: Theme.textMuted
                        font.family: Theme.fontFamily
                        font.pixelSize: Theme.fontSmall
                    }
                    Heading {
                        Layout.fillWidth: true
                        objectName: "currentActivityName"
                        text: root.current ? CourseLogic.displayName(root.current.name) : ""
                    }
                    RowLayout {
                        Layout.fillWidth: true

                        Text {
                            text: root.course.currentModule
                                  ? qsTr("%1: %2% done").arg(root.course.currentModule.name)
                                                         .arg(root.course.moduleCompletionPercentage)
                                  : ""
                            color: Theme.text
                            font.family: Theme.fontFamily
                            font.pixelSize: Theme.fontNormal
                        }
                        ProgressBar {
                            Layout.fillWidth: true
                            Layout.maximumWidth: 240
                            from: 0
                            to: 100
                            value: root.course.moduleCompletionPercentage
                        }
                    }
                }
                AppButton {
                    objectName: "openCurrentButton"
                    primary: true
                    enabled: root.current !== null && runtime.globals.interactionEnabled
                    text: qsTr("Open")
                    onClicked: root.openCurrent()
                }
            }
        }

        VerticalScroller {
            id: scroller

            Layout.fillWidth: true
            Layout.fillHeight: true

            ColumnLayout {
                width: scroller.availableWidth
                spacing: Theme.margin

                Repeater {
                    model: root.course.rootItem.children

                    GradeCard {
                        Layout.fillWidth: true
                        grade: modelData
                        revision: root.revision
                        unlockable: CourseLogic.unlockableGrade(root.gradeStates) === index
                        onUnlockRequested: root.course.unlockNextGrade()
                        onOpenRequested: {
                            root.course.setCurrentActivity(item);
                            root.openRequested();
                        }
                    }
                }
            }
        }
    }
}
