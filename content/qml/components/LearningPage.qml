import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import CourseItem 1.0
import "../js/FocusLogic.js" as FocusLogic

// A lesson: text with an example score, then Continue (which completes it and opens the next).
FocusScope {
    id: page

    property var activity: null
    property string title
    property var paragraphs: []
    property string exampleGmn
    property string exampleCaption

    function complete() {
        activity.state = CourseItem.Completed;
        runtime.course.nextActivity();
    }

    Keys.onReturnPressed: complete()
    Keys.onEnterPressed: complete()
    // a long text read from the keyboard: the arrow, page, Home and End keys scroll it
    Keys.onPressed: {
        var flick = scroller.contentItem;
        var to = FocusLogic.scrolledByKey(event.key, flick.contentY, flick.height, flick.contentHeight,
                                          3 * Theme.fontNormal);
        if (to >= 0) {
            flick.contentY = to;
            event.accepted = true;
        }
    }

    Rectangle {
        anchors.fill: parent
        color: Theme.background
    }

    // the text scrolls; Continue stays below it, in sight at the window's foot when the text is long
    Item {
        anchors.fill: parent
        anchors.margins: Theme.margin

        VerticalScroller {
            id: scroller

            // measured on the text itself and the room left by the buttons
            readonly property real room: Math.max(0, parent.height - buttons.height - Theme.margin)
            readonly property bool overflows: contentHeight > room

            width: parent.width
            height: Math.min(contentHeight, room)
            // the bar stays in sight while there is more below (an example beyond the fold)
            ScrollBar.vertical.policy: overflows ? ScrollBar.AlwaysOn : ScrollBar.AsNeeded

            ColumnLayout {
                // the scroll bar's room kept always: a width that followed it would change the
                // text's height, and with it whether the bar shows
                width: scroller.availableWidth - scroller.ScrollBar.vertical.width - Theme.spacing
                spacing: Theme.margin

                Heading {
                    Layout.fillWidth: true
                    text: page.title
                }

                Repeater {
                    model: page.paragraphs

                    BodyText {
                        Layout.fillWidth: true
                        text: modelData
                    }
                }

                BodyText {
                    Layout.fillWidth: true
                    visible: page.exampleGmn !== ""
                    muted: true
                    text: page.exampleCaption
                }

                ScoreView {
                    id: example

                    Layout.fillWidth: true
                    Layout.preferredHeight: implicitHeight
                    visible: page.exampleGmn !== ""
                    code: page.exampleGmn
                    followPlayback: true
                    maximumHeight: 160
                }
            }
        }

        RowLayout {
            id: buttons

            y: scroller.height + Theme.margin
            width: parent.width

            AppButton {
                objectName: "playExampleButton"
                visible: page.exampleGmn !== ""
                enabled: runtime.globals.interactionEnabled
                text: qsTr("Play the example")
                onClicked: example.score.play()
            }
            Item {
                Layout.fillWidth: true
            }
            AppButton {
                objectName: "continueButton"
                primary: true
                enabled: runtime.globals.interactionEnabled
                text: qsTr("Continue")
                onClicked: page.complete()
            }
        }
    }
}
