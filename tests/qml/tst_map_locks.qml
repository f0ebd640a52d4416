import QtQuick 2.15
import QtTest 1.15
import "../../content/qml/components"

// Locks on the map say what they are: a locked tile chosen says what opens it, and "Unlock this
// grade" says what it will do before it does it.
Item {
    id: root

    property var subject: ({ name: "Rhythm", state: 2, children: [] })
    property var tapping: ({ name: "Exercise: Beat Tapping 1", state: 4, isCurrent: false, parent: subject })
    property var quiz: ({ name: "quiz", state: 1, isCurrent: false, parent: subject })
    property var lockedGrade: ({ name: "Grade 2", state: 1, children: [] })

    // the "runtime" map, as far as the tiles and the grade read it
    property QtObject runtime: QtObject {
        property QtObject globals: QtObject {
            property bool interactionEnabled: true
        }
    }

    width: 800
    height: 600

    Component.onCompleted: subject.children = [tapping, quiz]

    // as on the map: the activity that opens the locked one just above it, at the window's top
    ActivityTile {
        id: openTile

        width: 240
        item: root.tapping
    }

    ActivityTile {
        id: lockedTile

        y: 40
        width: 240
        item: root.quiz
    }

    GradeCard {
        id: card

        y: 120
        width: 780
        grade: root.lockedGrade
        unlockable: true
    }

    // a grade low on a small screen: its question opens below the fold
    Flickable {
        id: smallScreen

        x: 0
        y: 300
        width: 500
        height: 280
        contentWidth: width
        contentHeight: column.height
        clip: true

        Column {
            id: column

            width: parent.width

            Item {
                width: 1
                height: 210
            }
            GradeCard {
                id: lowCard

                width: column.width
                grade: root.lockedGrade
                unlockable: true
            }
            Item {
                width: 1
                height: 40
            }
        }
    }

    // a grade at the foot of the map's view: its button cut by the view's bottom edge
    VerticalScroller {
        id: mapFoot

        x: 500
        y: 300
        width: 290
        height: 120

        Column {
            width: mapFoot.availableWidth

            Item {
                width: 1
                height: 80
            }
            GradeCard {
                id: footCard

                width: parent.width
                grade: root.lockedGrade
                unlockable: true
            }
        }
    }

    SignalSpy {
        id: opened

        target: openTile
        signalName: "openRequested"
    }

    SignalSpy {
        id: lockedOpened

        target: lockedTile
        signalName: "openRequested"
    }

    SignalSpy {
        id: unlocked

        target: card
        signalName: "unlockRequested"
    }

    TestCase {
        name: "MapLocks"
        when: windowShown

        // the question scrolled into view where the grade sits low on a small screen
        function test_the_unlock_question_shows_where_it_is_asked() {
            var ask = findChild(lowCard, "unlockGradeButton");
            var explanation = findChild(lowCard, "unlockExplanation");
            var askedAt = ask.mapToItem(smallScreen, 0, 0).y;
            verify(askedAt >= 0 && askedAt + ask.height <= smallScreen.height, "the button shows");
            mouseClick(ask);
            var confirm = findChild(lowCard, "unlockConfirmButton");
            tryVerify(function () {
                var top = explanation.mapToItem(smallScreen, 0, 0).y;
                var bottom = confirm.mapToItem(smallScreen, 0, confirm.height).y;
                return top >= 0 && bottom <= smallScreen.height && explanation.mapToItem(smallScreen, 0, explanation.height).y <= smallScreen.height;
            }, 2000, "the question and its buttons in sight");
            mouseClick(findChild(lowCard, "unlockCancelButton"));
        }

        // the part of the button in sight takes a click anywhere, down to the view's bottom edge
        function test_a_button_cut_by_the_view_takes_a_click_low_on_it() {
            var ask = findChild(footCard, "unlockGradeButton");
            var top = ask.mapToItem(mapFoot, 0, 0).y;
            var shown = mapFoot.height - top;
            verify(shown > 8 && shown < ask.height, "the button cut at " + shown + " of " + ask.height);
            mouseClick(ask, ask.width / 2, shown - 2);
            verify(footCard.confirmingUnlock, "a click " + (shown - 2) + " px down the button asks");
            footCard.confirmingUnlock = false;
        }

        function test_a_locked_tile_chosen_says_what_opens_it() {
            var tip = findChild(lockedTile, "lockReason");
            verify(!tip.visible);
            mouseClick(lockedTile);
            compare(lockedOpened.count, 0, "a locked tile never opens");
            tryVerify(function () { return tip.visible; });
            compare(tip.text, "Locked. Complete Beat Tapping 1 first.");
            // it covers neither the tile chosen nor the one it names
            var hint = tip.contentItem.mapToItem(root, 0, 0);
            var rect = Qt.rect(hint.x, hint.y, tip.contentItem.width, tip.contentItem.height);
            [lockedTile, openTile].forEach(function (tile) {
                var t = tile.mapToItem(root, 0, 0);
                verify(rect.y >= t.y + tile.height || rect.y + rect.height <= t.y
                       || rect.x >= t.x + tile.width || rect.x + rect.width <= t.x,
                       "the hint at " + JSON.stringify(rect) + " covers " + tile.item.name);
            });
            tip.close();
            mouseClick(openTile);
            compare(opened.count, 1, "an open tile opens and says nothing");
            verify(!findChild(openTile, "lockReason").visible);
        }

        function test_unlock_this_grade_asks_first_and_says_what_it_does() {
            var ask = findChild(card, "unlockGradeButton");
            var explanation = findChild(card, "unlockExplanation");
            verify(ask.visible && !explanation.visible);
            mouseClick(ask);
            compare(unlocked.count, 0, "nothing is unlocked before the learner agrees");
            verify(explanation.visible);
            verify(explanation.text.indexOf("Unlocking Grade 2 opens the first activity of each of its subjects") === 0,
                   explanation.text);
            mouseClick(findChild(card, "unlockCancelButton"));
            verify(!explanation.visible && ask.visible);
            compare(unlocked.count, 0);
            mouseClick(ask);
            mouseClick(findChild(card, "unlockConfirmButton"));
            compare(unlocked.count, 1);
            verify(!explanation.visible);
        }

        // from the keyboard the focus follows the question: Unlock has it once asked (Return
        // agrees), and Cancel gives it back to the button that asked; never lost on a hidden button
        function test_the_unlock_question_keeps_the_keyboard_focus() {
            var ask = findChild(card, "unlockGradeButton");
            var confirm = findChild(card, "unlockConfirmButton");
            var before = unlocked.count;
            card.confirmingUnlock = false;
            ask.forceActiveFocus(Qt.TabFocusReason);
            keyClick(Qt.Key_Return);
            tryVerify(function () { return confirm.activeFocus; }, 2000, "Unlock has the focus");
            keyClick(Qt.Key_Tab);
            var cancel = findChild(card, "unlockCancelButton");
            verify(cancel.activeFocus);
            keyClick(Qt.Key_Return);
            verify(ask.visible && ask.activeFocus, "the asking button has the focus back");
            compare(unlocked.count, before, "cancelled from the keyboard, nothing unlocked");
            keyClick(Qt.Key_Return);
            tryVerify(function () { return confirm.activeFocus; }, 2000);
            keyClick(Qt.Key_Return);
            compare(unlocked.count, before + 1);
            unlocked.clear();
        }
    }
}
