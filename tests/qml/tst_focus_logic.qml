import QtQuick 2.15
import QtTest 1.15
import "../../content/qml/js/FocusLogic.js" as FocusLogic

// A control reached with the keyboard inside a scrolled screen is scrolled into view, moving the
// view as little as possible.
Item {
    width: 300
    height: 300

    Flickable {
        id: flick

        width: 200
        height: 100
        contentHeight: 1000
        clip: true

        Column {
            Repeater {
                id: rows

                model: 20

                Rectangle {
                    width: 200
                    height: 50
                }
            }
        }
    }

    TestCase {
        name: "FocusLogic"
        when: windowShown

        function test_scroll_position_data() {
            // a view 100 high over 1000 of content, margin 10
            return [
                { tag: "already in view", y: 0, top: 20, bottom: 60, to: 0 },
                { tag: "below: its bottom comes to the view's bottom", y: 0, top: 200, bottom: 250, to: 160 },
                { tag: "above: its top comes to the view's top", y: 500, top: 300, bottom: 350, to: 290 },
                { tag: "never above the start", y: 300, top: 5, bottom: 40, to: 0 },
                { tag: "never past the end", y: 0, top: 960, bottom: 1000, to: 900 },
                { tag: "taller than the view: its top shows", y: 0, top: 400, bottom: 700, to: 390 }
            ];
        }

        function test_scroll_position(data) {
            compare(FocusLogic.scrolledTo(data.y, 100, 1000, data.top, data.bottom, 10), data.to);
        }

        function test_scrolling_keys_data() {
            // a view 100 high over 1000 of content, a line of 10: a page is the view less two lines
            return [
                { tag: "down a line", key: Qt.Key_Down, y: 0, to: 10 },
                { tag: "up a line, not above the start", key: Qt.Key_Up, y: 4, to: 0 },
                { tag: "a page down", key: Qt.Key_PageDown, y: 100, to: 180 },
                { tag: "space pages down too", key: Qt.Key_Space, y: 0, to: 80 },
                { tag: "a page up", key: Qt.Key_PageUp, y: 500, to: 420 },
                { tag: "not past the end", key: Qt.Key_PageDown, y: 880, to: 900 },
                { tag: "home", key: Qt.Key_Home, y: 640, to: 0 },
                { tag: "end", key: Qt.Key_End, y: 0, to: 900 },
                { tag: "any other key is not a scroll", key: Qt.Key_Return, y: 300, to: -1 }
            ];
        }

        function test_scrolling_keys(data) {
            compare(FocusLogic.scrolledByKey(data.key, data.y, 100, 1000, 10), data.to);
        }

        function test_the_enclosing_flickable_is_scrolled() {
            flick.contentY = 0;
            verify(FocusLogic.scrollIntoView(rows.itemAt(7), 0));
            compare(flick.contentY, 300);    // row 7 spans 350..400
            verify(FocusLogic.scrollIntoView(rows.itemAt(1), 0));
            compare(flick.contentY, 50);
            verify(!FocusLogic.scrollIntoView(flick, 0), "nothing scrolls an item outside a flickable");
        }
    }
}
