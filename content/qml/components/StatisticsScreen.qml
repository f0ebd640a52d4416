import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import "../js/PlotLogic.js" as Plot
import "../js/FocusLogic.js" as FocusLogic

// Statistics: the course rating over time, the three subject skills on their own fixed scale, a
// line on what the points are, quiz and exam marks.
Rectangle {
    id: root

    // every read of a statistics model rebuilds it: read each once
    property var ratingPoints: []
    property var skills: []
    property var quizRows: []
    property var examRows: []
    readonly property int rating: Plot.currentRating(ratingPoints)
    readonly property var skillScale: Plot.skillScale(skills.map(function (s) { return s.value; }))

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
    // nothing here takes the focus: the keys scroll the screen itself
    Keys.onPressed: {
        var flick = scroller.contentItem;
        var to = FocusLogic.scrolledByKey(event.key, flick.contentY, flick.height, flick.contentHeight,
                                          3 * Theme.fontNormal);
        if (to >= 0) {
            flick.contentY = to;
            event.accepted = true;
        }
    }

    VerticalScroller {
        id: scroller

        readonly property bool overflows: contentHeight > availableHeight

        anchors.fill: parent
        anchors.margins: Theme.margin
        // the bar stays in sight while there is more below
        ScrollBar.vertical.policy: overflows ? ScrollBar.AlwaysOn : ScrollBar.AsNeeded

        ColumnLayout {
            // the scroll bar's room kept always: a width that followed it would change the
            // text's height, and with it whether the bar shows
            width: scroller.availableWidth - scroller.ScrollBar.vertical.width - Theme.spacing
            spacing: Theme.margin

            RowLayout {
                Layout.fillWidth: true

                Heading {
                    Layout.fillWidth: true
                    text: qsTr("Course rating")
                }
                Text {
                    objectName: "currentRating"
                    text: Plot.ratingText(root.rating)
                    color: Theme.accent
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.fontLarge
                    font.bold: true
                }
            }

            BodyText {
                Layout.fillWidth: true
                muted: true
                text: qsTr("Skill points: each kind of question you have answered adds its average mark (1 when always right). The course rating spreads them over every activity of the course (x 1000); a subject's skill over that subject's activities only (x 1500), so it reads higher. 1500 is a subject with one kind of question per activity, always right.")
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
                    text: qsTr("Skills by subject")
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
                            id: bar

                            Layout.fillWidth: true
                            height: 16
                            radius: 3
                            color: Theme.surfaceAlt
                            border.color: Theme.border

                            Rectangle {
                                width: parent.width * Math.min(1, Math.max(0, modelData.value) / root.skillScale.top)
                                height: parent.height
                                radius: 3
                                color: Theme.accent
                            }
                        }
                        Text {
                            Layout.preferredWidth: 60
                            horizontalAlignment: Text.AlignRight
                            text: modelData.value
                            color: Theme.text
                            font.family: Theme.fontFamily
                            font.pixelSize: Theme.fontNormal
                        }
                    }
                }
                // the bars' scale, under them
                RowLayout {
                    Layout.fillWidth: true
                    spacing: Theme.spacing

                    Item {
                        Layout.preferredWidth: 90
                    }
                    Item {
                        Layout.fillWidth: true
                        implicitHeight: Theme.fontSmall + 6

                        Repeater {
                            model: root.skillScale.ticks

                            Text {
                                objectName: "skillTick"
                                x: Math.max(0, Math.min(parent.width - width,
                                                        parent.width * modelData / root.skillScale.top - width / 2))
                                text: modelData
                                color: Theme.textMuted
                                font.family: Theme.fontFamily
                                font.pixelSize: Theme.fontSmall
                            }
                        }
                    }
                    Text {
                        Layout.preferredWidth: 60
                        horizontalAlignment: Text.AlignRight
                        text: qsTr("points")
                        color: Theme.textMuted
                        font.family: Theme.fontFamily
                        font.pixelSize: Theme.fontSmall
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
