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

    ActivityTile {
        id: lockedTile

        width: 240
        item: root.quiz
    }

    ActivityTile {
        id: openTile

        y: 50
        width: 240
        item: root.tapping
    }

    GradeCard {
        id: card

        y: 120
        width: 780
        grade: root.lockedGrade
        unlockable: true
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

        function test_a_locked_tile_chosen_says_what_opens_it() {
            var tip = findChild(lockedTile, "lockReason");
            verify(!tip.visible);
            mouseClick(lockedTile);
            compare(lockedOpened.count, 0, "a locked tile never opens");
            tryVerify(function () { return tip.visible; });
            compare(tip.text, "Locked. Complete Beat Tapping 1 first.");
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
    }
}
