import QtQuick 2.12
import QtTest 1.2
import Tarvolin 1.0
import CourseItem 1.0

TestCase {
    id: testCase

    name: "Registrations"

    function creationError(source) {
        try {
            var object = Qt.createQmlObject(source, testCase, "created");
            object.destroy();
            return "";
        } catch (e) {
            return e.qmlErrors ? e.qmlErrors.map(function (q) { return q.message; }).join("; ") : String(e);
        }
    }

    function test_uncreatable_data() {
        return [
            { tag: "CourseItem", module: "CourseItem" },
            { tag: "CourseModel", module: "CourseModel" },
            { tag: "QuestionContext", module: "QuestionContext" },
            { tag: "Score", module: "Score" },
            { tag: "Metronome", module: "Tarvolin" }
        ];
    }

    function test_uncreatable(data) {
        var error = creationError("import " + data.module + " 1.0\n" + data.tag + " {}");
        verify(error.indexOf("A message") >= 0, error);
    }

    function test_creatable_data() {
        return [
            { tag: "ScoreProxy" },
            { tag: "MediaProxy" },
            { tag: "SettingsProxy" },
            { tag: "CalibrationSettingsProxy" },
            { tag: "InputLevelMeterProxy" },
            { tag: "ImitationQuestionEngine" }
        ];
    }

    function test_creatable(data) {
        compare(creationError("import Tarvolin 1.0\n" + data.tag + " {}"), "");
    }

    function test_enumerations() {
        compare(Metronome.ModeTalking, 3);
        compare(CourseItem.Practice, 5);
    }

    function test_runtime() {
        compare(runtime.keys(), ["course", "stats", "practice", "globals", "settings", "calibration", "system"]);
        compare(runtime.course.currentActivity.name, "Intro");
        compare(runtime.globals.interactionEnabled, true);
        compare(runtime.system.debugMode, false);
        verify(runtime.calibration.calibrator !== null);
        compare(typeof runtime.settings.output_volume, "number");
        var proxy = Qt.createQmlObject("import Tarvolin 1.0\nSettingsProxy {}", testCase, "proxy");
        verify(proxy.settings === runtime.settings);
        proxy.destroy();
    }
}
