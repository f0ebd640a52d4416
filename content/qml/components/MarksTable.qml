import QtQuick 2.15
import QtQuick.Layouts 1.15

// Marks of quizzes or exams, newest first.
ColumnLayout {
    id: root

    property string title
    // [{timestamp, grade, subject, value}] as PlotLogic.markRows gives them
    property var rows: []

    spacing: 4

    Heading {
        Layout.fillWidth: true
        large: false
        text: root.title
    }
    Text {
        visible: root.rows.length === 0
        text: qsTr("None yet")
        color: Theme.textMuted
        font.family: Theme.fontFamily
        font.pixelSize: Theme.fontNormal
    }
    Repeater {
        model: root.rows

        RowLayout {
            Layout.fillWidth: true
            spacing: Theme.spacing

            Text {
                Layout.fillWidth: true
                text: modelData.grade + (modelData.subject ? " \u00b7 " + modelData.subject : "")
                elide: Text.ElideRight
                color: Theme.text
                font.family: Theme.fontFamily
                font.pixelSize: Theme.fontNormal
            }
            Text {
                text: modelData.timestamp
                color: Theme.textMuted
                font.family: Theme.fontFamily
                font.pixelSize: Theme.fontSmall
            }
            Text {
                Layout.preferredWidth: 48
                horizontalAlignment: Text.AlignRight
                text: modelData.value < 0 ? qsTr("aborted") : modelData.value + "%"
                color: modelData.value >= 75 ? Theme.gradeRight : modelData.value >= 50 ? Theme.gradeClose
                                                                                        : Theme.gradeWrong
                font.family: Theme.fontFamily
                font.pixelSize: Theme.fontNormal
                font.bold: true
            }
        }
    }
}
