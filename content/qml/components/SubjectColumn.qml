import QtQuick 2.15
import QtQuick.Layouts 1.15
import "../js/CourseLogic.js" as CourseLogic

// A subject of a grade: its name, how much of it is done, and its activities.
ColumnLayout {
    id: root

    property var subject: null
    property int revision: 0
    readonly property var done: {
        revision;
        var states = [];
        var children = subject ? subject.children : [];
        for (var i = 0; i < children.length; ++i)
            states.push(children[i].state);
        return CourseLogic.completion(states);
    }

    signal openRequested(var item)

    spacing: 4

    RowLayout {
        Layout.fillWidth: true

        Text {
            Layout.fillWidth: true
            text: root.subject ? root.subject.name : ""
            elide: Text.ElideRight
            color: Theme.text
            font.family: Theme.fontFamily
            font.pixelSize: Theme.fontLarge
            font.bold: true
        }
        Text {
            text: qsTr("%1/%2").arg(root.done.done).arg(root.done.total)
            color: Theme.textMuted
            font.family: Theme.fontFamily
            font.pixelSize: Theme.fontSmall
        }
    }

    Repeater {
        model: root.subject ? root.subject.children : []

        ActivityTile {
            Layout.fillWidth: true
            item: modelData
            revision: root.revision
            onOpenRequested: root.openRequested(item)
        }
    }
}
