import QtQuick 2.15
import QtQuick.Layouts 1.15
import "../js/ExerciseLogic.js" as Logic
import "../js/FeedbackLogic.js" as Feedback

// The end of a run of questions: the activity's mark, each question's mark and what comes next.
ColumnLayout {
    id: root

    property real mark: -1
    property var marks: []
    property bool testMode: false
    property bool practiceMode: false
    // the activity's completion is stored or kept (a run that could not complete it shows its mark only)
    property bool completed: true
    property real ratingDelta: -1

    signal repeatRequested()
    signal nextRequested()

    spacing: Theme.margin

    RowLayout {
        Layout.fillWidth: true
        spacing: Theme.margin

        MarkBadge {
            objectName: "runMark"
            mark: root.mark
            implicitWidth: 96
            implicitHeight: 96
        }
        ColumnLayout {
            Layout.fillWidth: true

            Heading {
                objectName: "runSummaryHeading"
                Layout.fillWidth: true
                text: root.testMode || !root.completed ? qsTr("Your mark: %1").arg(Logic.percentText(root.mark))
                                                       : qsTr("Completed with %1").arg(Logic.percentText(root.mark))
            }
            BodyText {
                Layout.fillWidth: true
                text: Feedback.runVerdict(root.marks)
            }
            BodyText {
                Layout.fillWidth: true
                visible: root.ratingDelta > 0
                muted: true
                text: qsTr("Course rating: +%1 points").arg(Math.round(root.ratingDelta))
            }
        }
    }

    Flow {
        Layout.fillWidth: true
        spacing: Theme.spacing

        Repeater {
            model: root.marks

            Text {
                text: qsTr("Q%1: %2").arg(index + 1).arg(Logic.percentText(modelData))
                color: Theme.textMuted
                font.family: Theme.fontFamily
                font.pixelSize: Theme.fontNormal
            }
        }
    }

    RowLayout {
        Layout.fillWidth: true
        spacing: Theme.spacing

        Item {
            Layout.fillWidth: true
        }
        AppButton {
            objectName: "repeatButton"
            text: root.practiceMode ? qsTr("Practise again") : qsTr("Do it again")
            onClicked: root.repeatRequested()
        }
        AppButton {
            objectName: "nextActivityButton"
            primary: true
            text: root.practiceMode ? qsTr("Back to practice") : qsTr("Next activity")
            onClicked: root.nextRequested()
        }
    }
}
