import QtQuick 2.15
import QtTest 1.15
import "../../content/qml/components"
import "ContrastWalk.js" as Walk

// The course map driven from the keyboard: the arrows walk the tiles of a grade's subjects and its
// exam, Return opens an open one.
Item {
    id: root

    function activity(name, state) {
        return { name: name, state: state, type: 3, isCurrent: false, children: [] };
    }

    property var rhythm: ({ name: "Rhythm", type: 1, state: 2, children: [activity("Beat Tapping 1", 4),
                                                                         activity("Note Tapping 1", 2),
                                                                         activity("Rhythm Tapping 1", 1)] })
    property var current: ({ name: "Pitch Singing 1", type: 3, state: 2, isCurrent: true, children: [] })
    property var melody: ({ name: "Melody", type: 1, state: 2, children: [current,
                                                                         activity("Interval Singing 1", 1)] })
    property var exam: ({ name: "exam", type: 4, state: 1, isCurrent: false, children: [] })
    property var grade: ({ name: "Grade 1", type: 1, state: 2, children: [rhythm, melody, exam] })

    // the "runtime" map, as far as the map reads it
    property QtObject runtime: QtObject {
        property QtObject globals: QtObject {
            property bool interactionEnabled: true
        }
        property QtObject course: QtObject {
            property var rootItem: ({ children: [root.grade] })
            property var currentActivity: root.current
            property bool isInitialActivity: false
            property var currentModule: null
            property int moduleCompletionPercentage: 0
            property var opened: []

            signal modelChanged()

            function setCurrentActivity(item) { opened.push(item.name); }
            function unlockNextGrade() {}
        }
    }

    width: 900
    height: 600

    CourseMap {
        id: map

        anchors.fill: parent
        focus: true
    }

    TestCase {
        name: "CourseMap"
        when: windowShown

        function focusedName() {
            var tiles = map.tiles();
            for (var i = 0; i < tiles.length; ++i)
                if (tiles[i].activeFocus)
                    return tiles[i].item.name;
            return "";
        }

        function test_arrow_keys_walk_the_tiles() {
            map.forceActiveFocus();
            compare(map.tiles().length, 6);
            var seen = [];
            var keys = [Qt.Key_Down, Qt.Key_Down, Qt.Key_Left, Qt.Key_Up, Qt.Key_Up, Qt.Key_Up, Qt.Key_Right,
                        Qt.Key_Right, Qt.Key_Down, Qt.Key_Down, Qt.Key_Down, Qt.Key_Down];
            for (var k = 0; k < keys.length; ++k) {
                keyClick(keys[k]);
                seen.push(focusedName());
            }
            // the first arrow starts at the current activity; below the short column the nearest tile
            // is the long column's; a move with nowhere to go stays put
            compare(seen, ["Pitch Singing 1", "Interval Singing 1", "Note Tapping 1", "Beat Tapping 1",
                           "Beat Tapping 1", "Beat Tapping 1", "Pitch Singing 1", "Pitch Singing 1",
                           "Interval Singing 1", "Rhythm Tapping 1", "exam", "exam"]);
            // arrows on the keypad are arrows too
            keyClick(Qt.Key_Up, Qt.KeypadModifier);
            compare(focusedName(), "Rhythm Tapping 1");
        }

        // every text the map draws on what is under it, and the focus of each kind of tile (done, open,
        // current, locked) and of its buttons, read from the items themselves
        function test_every_colour_pair_reaches_its_contrast() {
            var rows = Walk.textPairs(root, Theme.background);
            verify(rows.length > 15, rows.length + " texts");
            var tiles = map.tiles();
            for (var i = 0; i < tiles.length; ++i)
                rows.push(Walk.focusPair(root, tiles[i], Theme.background));
            rows.push(Walk.focusPair(root, findChild(map, "openCurrentButton"), Theme.background));
            verify(rows.every(function (r) { return r.rings === undefined || r.rings > 0; }), "a focus shows");
            compare(Walk.failures(rows), "");
        }

        function test_return_opens_the_focused_tile_only_when_open() {
            runtime.course.opened = [];
            map.forceActiveFocus();
            keyClick(Qt.Key_Down);                 // the current one, Pitch Singing 1
            keyClick(Qt.Key_Return);
            keyClick(Qt.Key_Down);                 // Interval Singing 1, locked
            keyClick(Qt.Key_Return);
            compare(runtime.course.opened, ["Pitch Singing 1"]);
        }
    }
}
