import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import "../js/PlotLogic.js" as Plot

// Practice: the kinds of exercise by subject with their progress (the recommended ones ticked),
// how many questions, Start; then the drawn questions run like an exercise.
FocusScope {
    id: root

    readonly property var practice: runtime.practice
    property int selectedCount: 0
    property bool running: false

    function reload() {
        practice.load();
        selectedCount = 0;
        // ticks live in the delegates; count the recommended ones the load preselected
        var groups = practice.model;
        for (var g = 0; g < groups.length; ++g) {
            var items = groups.get(g).itemModel;
            for (var i = 0; i < items.length; ++i)
                if (items.get(i).itemSelected)
                    ++selectedCount;
        }
    }

    function start() {
        if (running || !runtime.globals.interactionEnabled || selectedCount < 1 || !practice.prepare(countBox.value, true))
            return;
        running = true;
        runner.active = true;
        // a new page each time: setting its activity begins the run
        runner.item.activity = practice.activity;
        runner.item.forceActiveFocus();
    }

    Component.onCompleted: reload()
    Keys.onReturnPressed: start()
    Keys.onEnterPressed: start()

    Rectangle {
        anchors.fill: parent
        color: Theme.background
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: Theme.margin
        spacing: Theme.margin
        visible: !root.running

        RowLayout {
            Layout.fillWidth: true
            spacing: Theme.margin

            Heading {
                text: qsTr("Practice")
            }
            Text {
                Layout.fillWidth: true
                objectName: "lastPractice"
                text: root.practice.lastPracticePoints >= 0 && !isNaN(root.practice.lastPracticeDate)
                      ? qsTr("Last practice: course rating +%1 on %2").arg(root.practice.lastPracticePoints)
                                                             .arg(Qt.formatDate(root.practice.lastPracticeDate))
                      : qsTr("No practice yet")
                horizontalAlignment: Text.AlignRight
                elide: Text.ElideRight
                color: Theme.textMuted
                font.family: Theme.fontFamily
                font.pixelSize: Theme.fontNormal
            }
        }

        BodyText {
            Layout.fillWidth: true
            text: qsTr("Tick the kinds of exercise to practise. The ticked ones are those you found hardest; practice draws the questions you answered worst most often. Each bar is your average mark over all of that kind's questions in every grade (your last 20 answers to each), a question not answered yet counting 0.")
        }

        VerticalScroller {
            id: scroller

            Layout.fillWidth: true
            Layout.fillHeight: true

            RowLayout {
                width: scroller.availableWidth
                spacing: Theme.margin

                Repeater {
                    model: root.practice.model

                    ColumnLayout {
                        Layout.fillWidth: true
                        Layout.preferredWidth: 1
                        Layout.alignment: Qt.AlignTop
                        spacing: 4

                        Text {
                            text: model.groupName
                            color: Theme.text
                            font.family: Theme.fontFamily
                            font.pixelSize: Theme.fontLarge
                            font.bold: true
                        }

                        Repeater {
                            model: itemModel

                            PracticeItemRow {
                                Layout.fillWidth: true
                                onToggled: {
                                    // the model stores the tick on its item; the row keeps showing it
                                    model.itemSelected = checked;
                                    root.selectedCount += checked ? 1 : -1;
                                }
                            }
                        }
                    }
                }
            }
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: Theme.spacing

            Text {
                objectName: "practiceTotals"
                text: qsTr("Sessions: %1   Course rating: %2").arg(root.practice.totalSessions)
                                                          .arg(Plot.ratingText(root.practice.totalSkillPoints))
                color: Theme.textMuted
                font.family: Theme.fontFamily
                font.pixelSize: Theme.fontNormal
            }
            Item {
                Layout.fillWidth: true
            }
            Text {
                text: qsTr("Questions:")
                color: Theme.text
                font.family: Theme.fontFamily
                font.pixelSize: Theme.fontNormal
            }
            SpinBox {
                id: countBox

                from: 1
                to: 30
                value: 10
                font.family: Theme.fontFamily
                font.pixelSize: Theme.fontNormal

                FocusFrame {}
            }
            AppButton {
                objectName: "startPracticeButton"
                primary: true
                enabled: root.selectedCount > 0 && runtime.globals.interactionEnabled
                text: qsTr("Start")
                onClicked: root.start()
            }
        }
    }

    Loader {
        id: runner

        anchors.fill: parent
        active: false
        visible: root.running
        focus: root.running
        sourceComponent: ExercisePage {
            practiceMode: true
            onRunFinished: root.practice.updateStats()
            onLeaveRequested: {
                root.running = false;
                runner.active = false;
                root.reload();
            }
        }
    }
}
