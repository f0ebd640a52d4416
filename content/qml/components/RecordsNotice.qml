import QtQuick 2.15
import QtQuick.Layouts 1.15

// One line about the learner records under the header: a read that failed, or results of the
// last session saved at this start. Empty text: nothing shown, no room taken.
Rectangle {
    id: root

    property string text: ""

    signal dismissed()

    visible: text !== ""
    height: visible ? row.height + 2 * Theme.spacing : 0
    color: Theme.accentLight
    border.color: Theme.border

    RowLayout {
        id: row

        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.topMargin: Theme.spacing
        anchors.leftMargin: Theme.margin
        anchors.rightMargin: Theme.spacing
        spacing: Theme.spacing

        BodyText {
            objectName: "recordsNoticeText"
            Layout.fillWidth: true
            text: root.text
        }
        AppButton {
            objectName: "recordsNoticeDismiss"
            text: qsTr("OK")
            onClicked: root.dismissed()
        }
    }
}
