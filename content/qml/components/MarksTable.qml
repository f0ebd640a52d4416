import QtQuick 2.15
import QtQuick.Layouts 1.15
import "../js/FeedbackLogic.js" as Feedback

// Marks of quizzes or exams, newest first, each on the grade scale.
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
            // the mark on the grade scale, as a chip whose text stays readable on it
            Rectangle {
                readonly property string gradeClass: modelData.value < 0 ? "none"
                                                                         : Feedback.markClass(modelData.value / 100)

                objectName: "markChip"
                Layout.preferredWidth: 64
                implicitHeight: markText.implicitHeight + 4
                radius: Theme.radius
                color: Theme.gradeColour(gradeClass)

                Text {
                    id: markText

                    anchors.centerIn: parent
                    text: modelData.value < 0 ? qsTr("aborted") : modelData.value + "%"
                    color: Theme.gradeTextColour(parent.gradeClass)
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.fontSmall
                    font.bold: true
                }
            }
        }
    }
}
