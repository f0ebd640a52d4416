import QtQuick 2.15
import QtTest 1.15
import "../../content/qml/components"
import "ContrastWalk.js" as Walk

// Settings, Statistics and Practice in the room an 800x600 screen leaves them under a window
// manager's frame (a title bar of 20 to 30 px) and the header: what must be reached is in sight or
// reached with the keyboard and the mouse, and every text and focus ring reads on its background.
Item {
    id: root

    // a statistics model: {length, get(row)}
    function rows(list) {
        return { length: list.length, get: function (i) { return list[i]; } };
    }

    // the "runtime" map, as far as the three screens read it
    property QtObject runtime: QtObject {
        property QtObject globals: QtObject {
            property bool interactionEnabled: true
        }
        property var settings: ({ output_volume: 0.8, input_sensitivity: 0.5, input_default_clapping: "keyboard" })
        property QtObject system: QtObject {
            property var outputDeviceList: ["default", "pulse"]
            property string outputDeviceName: "default"
            property var inputDeviceList: ["default", "pulse"]
            property string inputDeviceName: "default"
            function update() {}
        }
        property QtObject calibration: QtObject {
            property QtObject calibrator: QtObject {
                property bool capturing: false
                property bool calibrated: false
                property string failReason: ""
                property int captureSeconds: 4
                property real progress: 0
                signal testNote(string note, int octave)
                function startCapture() { capturing = true; }
                function stopCapture() { capturing = false; }
                function startTest() {}
                function stopTest() {}
            }
            property QtObject inputLevelMeter: QtObject {
                signal newInputLevel(real level)
                function start() {}
                function stop() {}
            }
        }
        property QtObject stats: QtObject {
            property var progress: root.rows([{ timestamp: 1, value: 0 }, { timestamp: 2, value: 120 },
                                              { timestamp: 3, value: 260 }, { timestamp: 4, value: 613 }])
            property var skills: root.rows([{ subject: "Rhythm", value: 1829 }, { subject: "Melody", value: 881 },
                                            { subject: "Harmony", value: 0 }])
            // the first row of a marks model is empty; an aborted one is -1
            property var quizMarks: root.rows([{}, { timestamp: "2026/12/07 12:53", grade: "Grade 1", subject: "Rhythm", value: 100 },
                                               { timestamp: "2026/12/07 13:10", grade: "Grade 1", subject: "Melody", value: 62 },
                                               { timestamp: "2026/12/07 13:30", grade: "Grade 1", subject: "Harmony", value: 30 },
                                               { timestamp: "2026/12/07 13:40", grade: "Grade 2", subject: "Rhythm", value: -1 }])
            property var examMarks: root.rows([{}, { timestamp: "2026/12/07 14:00", grade: "Grade 1", subject: "", value: 81 }])
        }
        property QtObject practice: QtObject {
            property var model: groups
            property var activity: null
            property int totalSessions: 2
            property int totalSkillPoints: 613
            property int lastPracticePoints: 12
            property date lastPracticeDate: new Date(2026, 11, 7)
            function load() {}
            function prepare() { return false; }
            function updateStats() {}
        }
    }

    width: 800
    height: 600

    ListModel {
        id: groups

        ListElement {
            groupName: "Rhythm"
            itemModel: [
                ListElement { itemName: "Beat Tapping"; itemProgress: 0.46; itemSelected: true; itemLocked: false },
                ListElement { itemName: "Rhythm Imitation"; itemProgress: 0; itemSelected: false; itemLocked: true }
            ]
        }
        ListElement {
            groupName: "Melody"
            itemModel: [
                ListElement { itemName: "Pitch Singing"; itemProgress: 0.19; itemSelected: true; itemLocked: false },
                ListElement { itemName: "Scale Singing"; itemProgress: 0.32; itemSelected: false; itemLocked: false },
                ListElement { itemName: "Interval Singing"; itemProgress: 0.33; itemSelected: false; itemLocked: false },
                ListElement { itemName: "Sight Singing"; itemProgress: 0; itemSelected: false; itemLocked: true },
                ListElement { itemName: "Melody Imitation"; itemProgress: 0; itemSelected: false; itemLocked: true }
            ]
        }
        ListElement {
            groupName: "Harmony"
            itemModel: [
                ListElement { itemName: "Arpeggio Singing"; itemProgress: 0; itemSelected: false; itemLocked: false }
            ]
        }
    }

    // what an 800x600 screen leaves a screen: the window inside a frame of 1 px and a title bar of
    // 30, less the header's 48 px
    Item {
        id: view

        width: 798
        height: 600 - 30 - 1 - Theme.headerHeight
        clip: true
    }

    Component {
        id: settingsScreen

        SettingsScreen {
            anchors.fill: parent
        }
    }
    Component {
        id: statisticsScreen

        StatisticsScreen {
            anchors.fill: parent
        }
    }
    Component {
        id: practiceScreen

        PracticeScreen {
            anchors.fill: parent
        }
    }

    TestCase {
        name: "SmallScreens"
        when: windowShown

        function init() {
            view.height = 600 - 30 - 1 - Theme.headerHeight;
        }

        function scrollerOf(item) {
            for (var p = item.parent; p; p = p.parent)
                if (p.contentY !== undefined && p.flickableDirection !== undefined)
                    return p;
            return null;
        }

        // the control and its focus ring inside the visible part of its scrolled view and of the window
        function inSight(control) {
            var flick = scrollerOf(control);
            var ring = 2 * Theme.focusWidth;
            var inFlick = control.mapToItem(flick, 0, 0);
            var inView = control.mapToItem(view, 0, 0);
            return inFlick.y - ring >= 0 && inFlick.y + control.height + ring <= flick.height
                   && inView.y + control.height + ring <= view.height
                   && inView.x - ring >= 0 && inView.x + control.width + ring <= view.width;
        }

        // the control that holds the keyboard focus under item
        function focusedIn(item) {
            if (item.activeFocus && item.activeFocusOnTab)
                return item;
            for (var i = 0; i < item.children.length; ++i) {
                var found = focusedIn(item.children[i]);
                if (found)
                    return found;
            }
            return null;
        }

        function place(component) {
            var screen = createTemporaryObject(component, view);
            waitForRendering(screen);
            return screen;
        }

        // Calibrate and Test show without scrolling: the learner sent here to calibrate sees the button
        function test_settings_fit_with_the_calibration_buttons() {
            var screen = place(settingsScreen);
            var calibrate = findChild(screen, "calibrateButton");
            tryVerify(function () { return calibrate.height > 0 && inSight(calibrate); }, 2000,
                      "Calibrate at " + JSON.stringify(calibrate.mapToItem(view, 0, 0)) + " in a view "
                      + view.height + " high");
            verify(inSight(findChild(screen, "testButton")));
            compare(scrollerOf(calibrate).contentY, 0);
        }

        // the buttons stay where they are whatever the message above them says, in one line or two
        function test_calibration_buttons_never_move() {
            var screen = place(settingsScreen);
            var calibrator = runtime.calibration.calibrator;
            var calibrate = findChild(screen, "calibrateButton");
            var at = function () { return calibrate.mapToItem(view, 0, 0).y; };
            var notCalibrated = at();
            calibrator.calibrated = true;
            waitForRendering(screen);
            compare(at(), notCalibrated, "the message in one line");
            calibrator.capturing = true;
            waitForRendering(screen);
            compare(at(), notCalibrated, "while capturing, with the bar shown");
            calibrator.capturing = false;
            calibrator.failReason = "Could not detect your input.";
            waitForRendering(screen);
            compare(at(), notCalibrated, "after a failure");
            calibrator.failReason = "";
            calibrator.calibrated = false;
        }

        // on a window made smaller still, Tab scrolls each control it reaches into sight, and so does
        // the mouse wheel
        function test_settings_scroll_to_calibrate_by_keyboard_and_mouse() {
            view.height = 260;
            var screen = place(settingsScreen);
            var calibrate = findChild(screen, "calibrateButton");
            var flick = scrollerOf(calibrate);
            tryVerify(function () { return flick.contentHeight > flick.height + 100; });
            verify(!inSight(calibrate));
            screen.forceActiveFocus();
            for (var i = 0; i < 20 && !calibrate.activeFocus; ++i) {
                keyClick(Qt.Key_Tab);
                var focused = focusedIn(screen);
                tryVerify(function () { return !flick.moving; });
                verify(focused && inSight(focused), "Tab " + (i + 1) + " reached a control out of sight: " + focused);
            }
            verify(calibrate.activeFocus, "Tab reaches Calibrate");
            flick.contentY = 0;
            verify(!inSight(calibrate));
            for (var w = 0; w < 20 && !inSight(calibrate); ++w)
                mouseWheel(flick, flick.width / 2, flick.height / 2, 0, -120);
            tryVerify(function () { return inSight(calibrate); }, 2000, "the wheel scrolls down to Calibrate");
        }

        function test_settings_colour_pairs_reach_their_contrast() {
            var screen = place(settingsScreen);
            var rows = Walk.textPairs(screen, Theme.background);
            verify(rows.length >= 10, rows.length + " texts");
            ["volumeSlider", "clappingSource", "calibrateButton", "testButton"].forEach(function (name) {
                var control = findChild(screen, name);
                rows.push(Walk.focusPair(screen, control, Theme.background));
            });
            verify(rows.every(function (r) { return r.rings === undefined || r.rings > 0; }), "a focus shows");
            compare(Walk.failures(rows), "");
            // a failed calibration says why in the error colour
            runtime.calibration.calibrator.failReason = "Nothing was heard.";
            rows = Walk.textPairs(screen, Theme.background);
            runtime.calibration.calibrator.failReason = "";
            compare(Walk.failures(rows), "");
        }

        // nothing on the statistics takes the focus: the keys scroll it, and the bar shows there is more
        function test_statistics_scroll_by_keyboard() {
            var screen = place(statisticsScreen);
            var flick = scrollerOf(findChild(screen, "ratingPlot"));
            tryVerify(function () { return flick.contentHeight > flick.height; }, 2000, "more than a view");
            screen.forceActiveFocus();
            compare(flick.contentY, 0);
            keyClick(Qt.Key_Down);
            compare(flick.contentY, 3 * Theme.fontNormal);
            keyClick(Qt.Key_End);
            compare(flick.contentY, flick.contentHeight - flick.height);
            keyClick(Qt.Key_Up);
            compare(flick.contentY, flick.contentHeight - flick.height - 3 * Theme.fontNormal);
            keyClick(Qt.Key_Home);
            compare(flick.contentY, 0);
            keyClick(Qt.Key_PageDown);
            compare(flick.contentY, Math.min(flick.contentHeight - flick.height, flick.height - 6 * Theme.fontNormal));
            verify(screen.activeFocus, "the screen keeps the keys");
        }

        function test_statistics_colour_pairs_reach_their_contrast() {
            var screen = place(statisticsScreen);
            var flick = scrollerOf(findChild(screen, "ratingPlot"));
            // the marks tables below the fold, scrolled up into the view
            flick.contentY = flick.contentHeight - flick.height;
            var rows = Walk.textPairs(screen, Theme.background);
            flick.contentY = 0;
            rows = rows.concat(Walk.textPairs(screen, Theme.background));
            verify(rows.length >= 15, rows.length + " texts");
            verify(rows.some(function (r) { return r.what.indexOf("\"aborted\"") >= 0; }), "the marks are walked");
            compare(Walk.failures(rows), "");
        }

        // a new learner's rating, on Practice and on Statistics in one wording, and an earned one too
        function test_practice_and_statistics_say_the_rating_alike_data() {
            return [
                { tag: "new learner", progress: [{ timestamp: 1, value: 0 }], total: 0, says: "not earned yet" },
                { tag: "earned", progress: [{ timestamp: 1, value: 0 }, { timestamp: 2, value: 613 }], total: 613,
                  says: "613 points" }
            ];
        }

        function test_practice_and_statistics_say_the_rating_alike(data) {
            var stats = runtime.stats, practice = runtime.practice;
            var progress = stats.progress, total = practice.totalSkillPoints;
            stats.progress = root.rows(data.progress);
            practice.totalSkillPoints = data.total;
            var statistics = place(statisticsScreen);
            compare(findChild(statistics, "currentRating").text, data.says);
            var totals = findChild(place(practiceScreen), "practiceTotals").text;
            compare(totals.slice(totals.indexOf("Course rating: ") + "Course rating: ".length), data.says);
            stats.progress = progress;
            practice.totalSkillPoints = total;
        }

        // the choices, the count and Start in sight; every text and focus ring readable
        function test_practice_fits_and_reaches_its_contrast() {
            var screen = place(practiceScreen);
            // the ticks the load preselected, as the program's model counts them
            screen.selectedCount = 2;
            var start = findChild(screen, "startPracticeButton");
            tryVerify(function () { return start.height > 0; });
            var where = start.mapToItem(view, 0, 0);
            verify(where.y + start.height + 2 * Theme.focusWidth <= view.height
                   && where.x + start.width + 2 * Theme.focusWidth <= view.width, JSON.stringify(where));
            var rows = Walk.textPairs(screen, Theme.background);
            verify(rows.length >= 15, rows.length + " texts");
            verify(rows.some(function (r) { return r.what.indexOf("(locked)") >= 0; }), "the locked kinds are walked");
            var boxes = [];
            var walk = function (item) {
                if (item.checkState !== undefined && item.activeFocusOnTab)
                    boxes.push(item);
                for (var i = 0; i < item.children.length; ++i)
                    walk(item.children[i]);
            };
            walk(screen);
            verify(boxes.length >= 5, boxes.length + " ticks");
            rows.push(Walk.focusPair(screen, boxes[0], Theme.background));
            rows.push(Walk.focusPair(screen, start, Theme.background));
            verify(rows.every(function (r) { return r.rings === undefined || r.rings > 0; }), "a focus shows");
            compare(Walk.failures(rows), "");
        }
    }
}
