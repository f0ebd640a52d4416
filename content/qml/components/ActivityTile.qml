import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import "../js/CourseLogic.js" as CourseLogic
import "../js/FocusLogic.js" as FocusLogic
import "../js/QuestionFollow.js" as Follow

// One activity of the course map: its name and state; the current one is outlined. A name cut
// short shows whole in a tool tip, on the mouse or the keyboard focus.
Rectangle {
    id: root

    property var item: null
    // bumped by the map when states may have changed behind the items' backs
    property int revision: 0
    readonly property int itemState: { revision; return item ? item.state : 0; }
    readonly property bool isCurrent: { revision; return item ? !!item.isCurrent : false; }
    readonly property bool openable: CourseLogic.canOpen(itemState)

    signal openRequested(var item)

    function open() {
        if (!runtime.globals.interactionEnabled)
            return;
        if (openable) {
            openRequested(item);
        } else if (itemState === CourseLogic.State.Locked) {
            // chosen but locked: say what opens it
            var reason = Follow.lockReason(item);
            lockTip.text = reason !== "" ? qsTr("Locked. %1").arg(reason) : qsTr("Locked.");
            lockTip.open();
        }
    }

    objectName: "activityTile"
    activeFocusOnTab: true
    onActiveFocusChanged: {
        if (activeFocus)
            FocusLogic.scrollIntoView(root, Theme.spacing);
    }
    Keys.onReturnPressed: open()
    Keys.onEnterPressed: open()
    // the arrows go to the map this tile is on
    Keys.onPressed: {
        var direction = CourseLogic.arrowDirection(event.key);
        for (var p = parent; p && direction !== ""; p = p.parent) {
            if (typeof p.moveFocus === "function") {
                event.accepted = p.moveFocus(direction);
                return;
            }
        }
    }

    implicitHeight: Theme.tileHeight
    radius: Theme.radius
    color: itemState === CourseLogic.State.Completed ? Theme.completedSurface
         : openable ? Theme.surface : Theme.surfaceAlt
    border.width: isCurrent || activeFocus ? 3 : 1
    border.color: activeFocus ? Theme.accent : isCurrent ? Theme.current : Theme.border

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: Theme.spacing
        anchors.rightMargin: Theme.spacing
        spacing: 6

        Rectangle {
            width: 10
            height: 10
            radius: 5
            color: root.itemState === CourseLogic.State.Completed ? Theme.completed
                 : root.openable ? Theme.open : Theme.locked
        }
        Text {
            id: nameText

            Layout.fillWidth: true
            text: root.item ? CourseLogic.displayName(root.item.name) : ""
            elide: Text.ElideRight
            color: root.openable ? Theme.text : Theme.textMuted
            font.family: Theme.fontFamily
            font.pixelSize: Theme.fontNormal
            font.bold: root.isCurrent
        }
        Text {
            objectName: "stateLabel"
            text: CourseLogic.stateLabel(root.itemState)
            color: Theme.textMuted
            font.family: Theme.fontFamily
            font.pixelSize: Theme.fontSmall
        }
    }

    ToolTip.visible: nameText.truncated && (pointer.containsMouse || activeFocus)
    ToolTip.text: nameText.text + " (" + CourseLogic.stateLabel(itemState) + ")"
    ToolTip.delay: pointer.containsMouse ? 500 : 0

    // below the tile: what it names (the activity before it) is above, and stays in sight
    ToolTip {
        id: lockTip

        objectName: "lockReason"
        x: 0
        y: root.height + 3
        timeout: 4000
    }

    MouseArea {
        id: pointer

        anchors.fill: parent
        hoverEnabled: true
        cursorShape: root.openable && runtime.globals.interactionEnabled ? Qt.PointingHandCursor : Qt.ArrowCursor
        onClicked: root.open()
    }
}
