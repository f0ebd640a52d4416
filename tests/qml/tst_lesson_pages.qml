import QtQuick 2.15
import QtTest 1.15
import QtQuick.Controls 2.15
import "../../content/qml/components"

// The course's lessons in the room an 800x600 screen leaves a page under a window manager's title
// bar, the header and the bar of Previous and Next: Continue in sight whatever the text's length,
// and the text read to its end from the keyboard.
Item {
    id: root

    // the "runtime" map, as far as a lesson reads it
    property QtObject runtime: QtObject {
        property QtObject globals: QtObject {
            property bool interactionEnabled: true
        }
        property QtObject course: QtObject {
            property int nextCalls: 0
            function nextActivity() { nextCalls += 1; }
        }
    }

    width: 800
    height: 600

    QtObject {
        id: lesson

        property int state: 2
    }

    Item {
        id: view

        width: 798
        height: 600 - 30 - 1 - Theme.headerHeight - (Theme.headerHeight - 4)
        clip: true

        Loader {
            id: loader

            anchors.fill: parent
            focus: true
            onLoaded: item.activity = lesson
        }
    }

    TestCase {
        name: "LessonPages"
        when: windowShown

        function find(item, name) {
            if (item.objectName === name)
                return item;
            for (var i = 0; i < item.children.length; ++i) {
                var found = find(item.children[i], name);
                if (found)
                    return found;
            }
            return null;
        }

        function test_continue_in_sight_and_the_text_scrolled_by_keyboard_data() {
            var course = "../../content/qml/content/";
            return [
                { tag: "how to answer", url: course + "00_grade_1/00_rhythm/00_how_to_answer/page.qml" },
                { tag: "singing into the microphone",
                  url: course + "00_grade_1/01_melody/00_singing_into_the_microphone/page.qml" }
            ];
        }

        function test_continue_in_sight_and_the_text_scrolled_by_keyboard(data) {
            loader.source = "";
            loader.source = Qt.resolvedUrl(data.url);
            tryCompare(loader, "status", Loader.Ready);
            var page = loader.item;
            // the example score at its largest (the stand-in draws nothing)
            var example = null;
            var walk = function (item) {
                if (item.score !== undefined && item.maximumHeight !== undefined)
                    example = item;
                for (var i = 0; i < item.children.length && !example; ++i)
                    walk(item.children[i]);
            };
            walk(page);
            if (example)
                example.score.height = example.maximumHeight;
            waitForRendering(page);
            var ring = 2 * Theme.focusWidth;
            ["continueButton", "playExampleButton"].forEach(function (name) {
                var button = find(page, name);
                if (!button || !button.visible)
                    return;
                var at = button.mapToItem(view, 0, 0);
                verify(at.y >= 0 && at.y + button.height + ring <= view.height,
                       name + " at " + at.y + ".." + (at.y + button.height) + " in a page " + view.height + " high");
            });
            // the text: the keys scroll it when it is longer than the room
            var flick = null;
            for (var p = find(page, "continueButton"); p && !flick; p = p.parent)
                for (var i = 0; i < p.children.length && !flick; ++i)
                    if (p.children[i].contentItem && p.children[i].contentItem.contentY !== undefined)
                        flick = p.children[i].contentItem;
            verify(flick, "a scrolled text");
            // more below the fold: the scroll bar says so
            var bar = flick.parent.ScrollBar.vertical;
            compare(bar.policy === ScrollBar.AlwaysOn, flick.contentHeight > flick.height);
            page.forceActiveFocus();
            keyClick(Qt.Key_End);
            compare(flick.contentY, Math.max(0, flick.contentHeight - flick.height));
            keyClick(Qt.Key_Home);
            compare(flick.contentY, 0);
            compare(runtime.course.nextCalls, 0, "the scrolling keys open nothing");
        }
    }
}
