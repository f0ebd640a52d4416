import QtQuick 2.15
import QtQuick.Controls 2.15
import QtTest 1.15
import "../../content/qml/components"

// The keyboard's way through the screens: Tab reaches the buttons and shows the focus, Return
// presses the focused one; a map tile keeps its state word and shows a cut name whole.
Item {
    id: root

    // the "runtime" map, as far as the tiles read it
    property QtObject runtime: QtObject {
        property QtObject globals: QtObject {
            property bool interactionEnabled: true
        }
    }

    width: 640
    height: 480

    Row {
        spacing: 12

        AppButton {
            id: first

            property int presses: 0

            text: "First"
            onClicked: presses += 1
        }
        AppButton {
            id: second

            property int presses: 0

            text: "Second"
            onClicked: presses += 1
        }
    }

    QtObject {
        id: exam

        property string name: "Exam: Melody and Rhythm of the First Grade"
        property int state: 1      // locked
        property bool isCurrent: false
    }

    ActivityTile {
        id: tile

        y: 80
        width: 220
        item: exam
    }

    TestCase {
        name: "FocusAndTiles"
        when: windowShown

        function ring(item) {
            for (var i = 0; i < item.children.length; ++i)
                if (item.children[i].hasOwnProperty("shown"))
                    return item.children[i];
            return null;
        }

        function test_tab_reaches_buttons_shows_the_ring_and_return_presses() {
            first.forceActiveFocus(Qt.TabFocusReason);
            verify(first.activeFocus);
            verify(ring(first).visible, "the focused button shows its ring");
            verify(!ring(second).visible);
            keyClick(Qt.Key_Tab);
            verify(second.activeFocus, "Tab moves on to the next button");
            verify(ring(second).visible && !ring(first).visible);
            keyClick(Qt.Key_Return);
            keyClick(Qt.Key_Space);
            compare([first.presses, second.presses], [0, 2]);
            // a mouse click presses the button without taking the focus from the answer
            mouseClick(first);
            compare(first.presses, 1);
            verify(second.activeFocus);
        }

        function test_a_narrow_tile_keeps_its_state_and_shows_its_cut_name() {
            var label = findChild(tile, "stateLabel");
            verify(label.visible);
            compare(label.text, "locked");
            verify(!tile.ToolTip.visible);
            tile.forceActiveFocus(Qt.TabFocusReason);
            verify(tile.ToolTip.visible, "the focused tile shows its whole name");
            compare(tile.ToolTip.text, "Exam: Melody and Rhythm of the First Grade (locked)");
            tile.width = 600;
            verify(!tile.ToolTip.visible, "a name shown whole needs no tool tip");
        }
    }
}
