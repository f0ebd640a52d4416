import QtQuick 2.15
import QtQuick.Layouts 1.15
import "../js/CourseLogic.js" as CourseLogic
import "../js/FocusLogic.js" as FocusLogic

// A grade of the course map: its subjects side by side, then the activities of the grade itself.
Rectangle {
    id: root

    property var grade: null
    property int revision: 0
    property bool unlockable: false
    // "Unlock this grade" asks first, saying what it does
    property bool confirmingUnlock: false
    // asked from the keyboard: the question's buttons take the focus the hidden button had
    property bool confirmByKeyboard: false
    readonly property int gradeState: { revision; return grade ? grade.state : 0; }
    readonly property bool locked: gradeState === CourseLogic.State.Locked
    readonly property var done: {
        revision;
        var states = [];
        var collect = function (item) {
            var children = item.children;
            if (children.length === 0)
                states.push(item.state);
            for (var i = 0; i < children.length; ++i)
                collect(children[i]);
        };
        if (grade)
            collect(grade);
        return CourseLogic.completion(states);
    }

    signal openRequested(var item)
    signal unlockRequested()

    implicitHeight: layout.implicitHeight + 2 * Theme.margin
    // a locked grade is set back by its background, not by fading its text below a readable contrast
    color: locked ? Theme.background : Theme.surface
    radius: Theme.radius
    border.color: Theme.border

    ColumnLayout {
        id: layout

        anchors.fill: parent
        anchors.margins: Theme.margin
        spacing: Theme.spacing

        RowLayout {
            Layout.fillWidth: true
            spacing: Theme.margin

            Heading {
                text: root.grade ? root.grade.name : ""
            }
            Text {
                Layout.fillWidth: true
                text: root.locked ? qsTr("locked")
                                  : qsTr("%1 of %2 activities completed").arg(root.done.done).arg(root.done.total)
                elide: Text.ElideRight
                color: Theme.textMuted
                font.family: Theme.fontFamily
                font.pixelSize: Theme.fontNormal
            }
            AppButton {
                id: unlockGradeButton

                objectName: "unlockGradeButton"
                visible: root.locked && root.unlockable && !root.confirmingUnlock
                enabled: runtime.globals.interactionEnabled
                text: qsTr("Unlock this grade\u2026")
                onClicked: {
                    root.confirmByKeyboard = activeFocus;
                    root.confirmingUnlock = true;
                }
            }
        }

        RowLayout {
            id: confirmRow

            Layout.fillWidth: true
            visible: root.locked && root.unlockable && root.confirmingUnlock
            spacing: Theme.spacing

            // the question shows where it is asked, also on a small screen: scrolled into view once
            // the layouts have made room for it
            onVisibleChanged: {
                if (visible)
                    showConfirmation.restart();
            }

            Timer {
                id: showConfirmation

                interval: 50
                onTriggered: {
                    FocusLogic.scrollIntoView(confirmRow, Theme.margin);
                    if (root.confirmByKeyboard)
                        unlockConfirmButton.forceActiveFocus(Qt.TabFocusReason);
                }
            }

            BodyText {
                objectName: "unlockExplanation"
                Layout.fillWidth: true
                text: qsTr("Unlocking %1 opens the first activity of each of its subjects now, before the grade "
                           + "above is done; the others still open one by one as you complete them. Nothing you "
                           + "have done is lost.").arg(root.grade ? root.grade.name : "")
            }
            AppButton {
                id: unlockConfirmButton

                objectName: "unlockConfirmButton"
                primary: true
                enabled: runtime.globals.interactionEnabled
                text: qsTr("Unlock")
                onClicked: {
                    root.confirmingUnlock = false;
                    root.unlockRequested();
                }
            }
            AppButton {
                objectName: "unlockCancelButton"
                text: qsTr("Cancel")
                onClicked: {
                    var back = activeFocus;
                    root.confirmingUnlock = false;
                    if (back)
                        unlockGradeButton.forceActiveFocus(Qt.TabFocusReason);
                }
            }
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: Theme.margin

            Repeater {
                model: root.grade ? root.grade.children : []

                SubjectColumn {
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    Layout.alignment: Qt.AlignTop
                    visible: modelData.type === CourseLogic.Type.Module
                    subject: visible ? modelData : null
                    revision: root.revision
                    onOpenRequested: root.openRequested(item)
                }
            }
        }

        Flow {
            Layout.fillWidth: true
            spacing: Theme.spacing

            Repeater {
                model: root.grade ? root.grade.children : []

                ActivityTile {
                    width: 260
                    visible: modelData.type !== CourseLogic.Type.Module
                    item: modelData
                    revision: root.revision
                    onOpenRequested: root.openRequested(item)
                }
            }
        }
    }
}
