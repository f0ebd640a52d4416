import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import "../js/PlotLogic.js" as Plot

// Statistics: the skill rating over time, the three subject skills, quiz and exam marks.
Rectangle {
    id: root

    // every read of a statistics model rebuilds it: read each once
    property var ratingPoints: []
    property var skills: []
    property var quizRows: []
    property var examRows: []
    readonly property int maxSkill: {
        var top = 1;
        for (var i = 0; i < skills.length; ++i)
            top = Math.max(top, skills[i].value);
        return top;
    }

    function refresh() {
        ratingPoints = Plot.ratingPoints(runtime.stats.progress);
        var model = runtime.stats.skills;
        var list = [];
        for (var i = 0; i < model.length; ++i)
            list.push({ subject: model.get(i).subject, value: Number(model.get(i).value) });
        skills = list;
        quizRows = Plot.markRows(runtime.stats.quizMarks);
        examRows = Plot.markRows(runtime.stats.examMarks);
    }

    color: Theme.background
    Component.onCompleted: refresh()

    ScrollView {
        id: scroller

        anchors.fill: parent
        anchors.margins: Theme.margin
        contentWidth: availableWidth
        clip: true

        ColumnLayout {
            width: scroller.availableWidth
            spacing: Theme.margin

            RowLayout {
                Layout.fillWidth: true

                Heading {
                    Layout.fillWidth: true
                    text: qsTr("Your skill rating")
                }
                Text {
                    text: root.ratingPoints.length > 0
                          ? qsTr("now %1").arg(root.ratingPoints[root.ratingPoints.length - 1].y) : ""
                    color: Theme.accent
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.fontLarge
                    font.bold: true
                }
            }

            RatingPlot {
                objectName: "ratingPlot"
                Layout.fillWidth: true
                Layout.preferredHeight: Math.max(180, Math.min(300, root.height * 0.38))
                points: root.ratingPoints
            }

            ColumnLayout {
                Layout.fillWidth: true
                spacing: 6

                Heading {
                    large: false
                    text: qsTr("Skills")
                }
                Repeater {
                    model: root.skills

                    RowLayout {
                        Layout.fillWidth: true
                        spacing: Theme.spacing

                        Text {
                            Layout.preferredWidth: 90
                            text: modelData.subject
                            color: Theme.text
                            font.family: Theme.fontFamily
                            font.pixelSize: Theme.fontNormal
                        }
                        Rectangle {
                            Layout.fillWidth: true
                            height: 16
                            radius: 3
                            color: Theme.surfaceAlt

                            Rectangle {
                                width: parent.width * Math.max(0, modelData.value) / root.maxSkill
                                height: parent.height
                                radius: 3
                                color: Theme.accent
                            }
                        }
                        Text {
                            Layout.preferredWidth: 48
                            horizontalAlignment: Text.AlignRight
                            text: modelData.value
                            color: Theme.text
                            font.family: Theme.fontFamily
                            font.pixelSize: Theme.fontNormal
                        }
                    }
                }
            }

            RowLayout {
                Layout.fillWidth: true
                spacing: Theme.margin * 2

                MarksTable {
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    Layout.alignment: Qt.AlignTop
                    title: qsTr("Quizzes")
                    rows: root.quizRows
                }
                MarksTable {
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    Layout.alignment: Qt.AlignTop
                    title: qsTr("Exams")
                    rows: root.examRows
                }
            }
        }
    }
}
