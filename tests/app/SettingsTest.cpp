#include "SettingsFixture.h"

#include "app/settings/Settings.h"
#include "audio/Audio.h"
#include "exercise/KeyboardNoteInputSource.h"
#include "exercise/MicNoteInputSource.h"
#include "exercise/NoteInput.h"
#include "pitch/PitchDetector.h"

#include <QMetaProperty>
#include <QSignalSpy>

#include <cmath>
#include <functional>
#include <memory>

namespace {

NoteInputManager* inputs()
{
    return NoteInputManager::getInstance();
}
PitchDetector* detector()
{
    return inputs()->mp_micSource->mp_detector;
}
NoteInputSource* keyboard()
{
    return inputs()->mp_keyboardSource;
}
NoteInputSource* mic()
{
    return inputs()->mp_micSource;
}

int warnings()
{
    int n = 0;
    for (const QString& line : LogCapture::instance().lines())
        n += line.trimmed().startsWith("WARN") ? 1 : 0;
    return n;
}

// One spy per change signal, by property name.
struct ChangeSpies {
    explicit ChangeSpies(Settings& s)
    {
        const QMetaObject* meta = s.metaObject();
        for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
            const QMetaProperty p = meta->property(i);
            spies[p.name()] = std::make_unique<QSignalSpy>(&s, p.notifySignal());
        }
    }
    int count(const QString& name) const { return spies.at(name)->count(); }
    std::map<QString, std::unique_ptr<QSignalSpy>> spies;
};

class SettingsTest : public SettingsFixture {
protected:
    void SetUp() override
    {
        SettingsFixture::SetUp();
        // sentinels, so that applying shows
        Audio::setOutputVolume(0.123);
        Audio::setInputSensitivity(0.123);
        detector()->m_peakAmplitude = 0.5;
        inputs()->mp_clappingInput->setActiveSource(mic());
    }
};

// The first start's rows themselves are checked black-box.
TEST_F(SettingsTest, DefaultsBeforeLoadAreTheRowsOfTheFirstLoadSignalledAndApplied)
{
    Settings s;
    // before load: the defaults, neither stored nor applied
    QMap<QString, QString> defaults;
    ChangeSpies spies(s);
    for (const auto& spy : spies.spies)
        defaults.insert(spy.first, Settings::storedText(s.property(qPrintable(spy.first))));
    EXPECT_TRUE(rows().isEmpty());
    EXPECT_DOUBLE_EQ(detector()->m_peakAmplitude, 0.5);

    s.load();
    EXPECT_EQ(rows(), defaults);
    for (const QString& name : defaults.keys())
        EXPECT_EQ(spies.count(name), 1) << qPrintable(name);
    EXPECT_DOUBLE_EQ(Audio::outputVolume(), 0.9);
    EXPECT_DOUBLE_EQ(Audio::inputSensitivity(), 0.9);
    EXPECT_DOUBLE_EQ(detector()->m_peakAmplitude, 1.0);
    EXPECT_EQ(inputs()->mp_clappingInput->activeSource(), keyboard());
    EXPECT_EQ(inputs()->mp_playingInput->activeSource(), mic());
    EXPECT_EQ(AssertRecorder::count(), 0);
}

TEST_F(SettingsTest, StoredTextsAreReadByTypeAndStoredBackInTheirOwnForm)
{
    struct Row {
        const char* name;
        QString stored;
        QVariant value;  // as read back
        QString restored;
    };
    const Row table[] = {
        {"output_device", "Speaker 2", QString("Speaker 2"), "Speaker 2"},
        {"input_sensitivity", "0.250", 0.25, "0.25"},
        {"input_mic_noise_floor", "1e-05", 1e-5, "1e-05"},
        {"input_mic_peak_amplitude", "0.33333333333333331", 1.0 / 3.0, "0.333333333333333"},
        {"output_volume", "1", 1.0, "1"},  // the ends of a range are in it
        {"output_volume", "0", 0.0, "0"},
        // a flag in any letter case
        {"input_mic_calibrated", "FALSE", false, "false"},
        {"input_mic_calibrated", "True", true, "true"},
        {"input_mic_calibrated", "0", false, "false"},
    };
    Settings s;
    for (const Row& r : table) {
        ASSERT_TRUE(store(r.name, r.stored));
        s.load();
        EXPECT_EQ(s.property(r.name), r.value) << r.name << qPrintable(r.stored);
        EXPECT_EQ(rows().value(r.name), r.restored) << r.name << qPrintable(r.stored);
    }
    EXPECT_NEAR(detector()->m_peakAmplitude, 1.0 / 3.0, 1e-14);  // reloaded from its 15 digits
    EXPECT_DOUBLE_EQ(detector()->m_noiseFloor, 1e-5);
    EXPECT_EQ(AssertRecorder::count(), 0);
}

// A stored value that is no value of its kind, or out of its range: the default takes effect (and
// is what the screens read), a WARN line names it, and the row stays for the learner to change.
TEST_F(SettingsTest, UnusableStoredValuesGiveTheDefaultAndKeepTheirRow)
{
    struct Row {
        const char* name;
        QString stored;
        QVariant value;  // the default
        std::function<bool()> applied;
    };
    const Row table[] = {
        {"output_volume", "1e10", 0.9, [] { return Audio::outputVolume() == 0.9; }},
        {"output_volume", "-3", 0.9, [] { return Audio::outputVolume() == 0.9; }},
        {"output_volume", "nan", 0.9, [] { return Audio::outputVolume() == 0.9; }},
        {"output_volume", "abc", 0.9, [] { return Audio::outputVolume() == 0.9; }},
        {"output_volume", "1.0000001", 0.9, [] { return Audio::outputVolume() == 0.9; }},
        {"input_sensitivity", "inf", 0.9, [] { return Audio::inputSensitivity() == 0.9; }},
        {"input_sensitivity", "", 0.9, [] { return Audio::inputSensitivity() == 0.9; }},
        {"input_mic_noise_floor", "NaN", 0.0, [] { return detector()->m_noiseFloor == 0.0; }},
        {"input_mic_noise_floor", "2", 0.0, [] { return detector()->m_noiseFloor == 0.0; }},
        // at or above the peak amplitude (1 by default) the floor would zero every sample heard
        {"input_mic_noise_floor", "0.5", 0.0, [] { return detector()->m_noiseFloor == 0.0; }},
        {"input_mic_noise_floor", "1", 0.0, [] { return detector()->m_noiseFloor == 0.0; }},
        {"input_sensitivity", "0", 0.9, [] { return Audio::inputSensitivity() == 0.9; }},
        {"input_mic_peak_amplitude", "0", 1.0, [] { return detector()->m_peakAmplitude == 1.0; }},
        {"input_mic_peak_amplitude", "-0.5", 1.0, [] { return detector()->m_peakAmplitude == 1.0; }},
        {"input_mic_calibrated", "yes", false, nullptr},
        {"input_mic_calibrated", "", false, nullptr},
        {"output_device", "  ", QString("<defaultOutputDevice>"), nullptr},
        {"input_default_clapping", "keybaord", QString("keyboard"),
         [] { return inputs()->mp_clappingInput->activeSource() == keyboard(); }},
        {"input_default_playing", "keyboard", QString("mic"), nullptr},
        {"input_default_singing", "midi", QString("mic"), nullptr},
    };
    Settings s;
    for (const Row& r : table) {
        ASSERT_TRUE(store(r.name, r.stored));
        Audio::setOutputVolume(0.123);
        Audio::setInputSensitivity(0.123);
        detector()->m_noiseFloor = 0.5;
        detector()->m_peakAmplitude = 0.5;
        LogCapture::instance().clear();
        s.load();
        EXPECT_EQ(s.property(r.name), r.value) << r.name << " " << qPrintable(r.stored);
        EXPECT_EQ(rows().value(r.name), r.stored) << r.name << " " << qPrintable(r.stored);
        EXPECT_TRUE(!r.applied || r.applied()) << r.name << " " << qPrintable(r.stored);
        EXPECT_EQ(warnings(), 1) << r.name << " " << qPrintable(r.stored);
        ASSERT_TRUE(sqlRun(m_file, QString("DELETE FROM settings WHERE name = '%1'").arg(r.name)));
    }
    EXPECT_TRUE(LogCapture::instance().contains("\"midi\" is not a source of the singing input; using \"mic\""));
    EXPECT_EQ(AssertRecorder::count(), 0);
}

// From the screens: a value out of range is refused the same way, the row keeps what it held.
TEST_F(SettingsTest, SettersRefuseValuesOutOfRangeAndKeepTheRow)
{
    Settings s;
    s.load();
    struct Row {
        const char* name;
        QVariant value;
        QVariant used;
    };
    const double nan = std::nan("");
    const Row table[] = {
        {"output_volume", 1e10, 0.9},
        {"output_volume", -3.0, 0.9},
        {"output_volume", nan, 0.9},
        {"input_sensitivity", 1.5, 0.9},
        {"input_sensitivity", 0.0, 0.9},
        {"input_mic_noise_floor", nan, 0.0},
        {"input_mic_noise_floor", -1e-9, 0.0},
        {"input_mic_peak_amplitude", 0.0, 1.0},
        {"input_device", QString(), QString("<defaultInputDevice>")},
    };
    for (const Row& r : table) {
        ASSERT_TRUE(store(r.name, "kept"));
        LogCapture::instance().clear();
        ASSERT_TRUE(s.setProperty(r.name, r.value)) << r.name;
        EXPECT_EQ(s.property(r.name), r.used) << r.name;
        EXPECT_EQ(rows().value(r.name), "kept") << r.name;
        EXPECT_TRUE(LogCapture::instance().contains("is out of range; the default")) << r.name;
    }
    EXPECT_DOUBLE_EQ(Audio::outputVolume(), 0.9);
    EXPECT_DOUBLE_EQ(Audio::inputSensitivity(), 0.9);
    EXPECT_DOUBLE_EQ(detector()->m_noiseFloor, 0.0);
    EXPECT_DOUBLE_EQ(detector()->m_peakAmplitude, 1.0);
    EXPECT_EQ(AssertRecorder::count(), 0);
}

// The noise floor is kept below a tenth of the peak amplitude in effect, whichever of the two is
// set last: above it the detector would take the learner's singing for silence.
TEST_F(SettingsTest, NoiseFloorThatWouldSilenceThePeakIsRefusedWithAWarning)
{
    Settings s;
    s.load();
    ChangeSpies spies(s);

    // below a tenth of the peak: taken as it is
    s.set_input_mic_peak_amplitude(0.5);
    s.set_input_mic_noise_floor(0.049);
    EXPECT_DOUBLE_EQ(detector()->m_noiseFloor, 0.049);
    EXPECT_EQ(rows().value("input_mic_noise_floor"), "0.049");
    EXPECT_EQ(warnings(), 0);

    // at a tenth (and at the peak itself): refused, the row keeps what it held
    for (double floor : {0.05, 0.5}) {
        LogCapture::instance().clear();
        s.set_input_mic_noise_floor(floor);
        EXPECT_DOUBLE_EQ(s.input_mic_noise_floor(), 0.0) << floor;
        EXPECT_DOUBLE_EQ(detector()->m_noiseFloor, 0.0) << floor;
        EXPECT_EQ(rows().value("input_mic_noise_floor"), "0.049") << floor;
        EXPECT_TRUE(LogCapture::instance().contains("would silence the microphone")) << floor;
        EXPECT_EQ(warnings(), 1) << floor;
    }

    // a peak calibrated lower than the floor allows takes the floor away, said once
    s.set_input_mic_noise_floor(0.02);
    const int floorSignals = spies.count("input_mic_noise_floor");
    LogCapture::instance().clear();
    s.set_input_mic_peak_amplitude(0.15);
    EXPECT_DOUBLE_EQ(detector()->m_peakAmplitude, 0.15);
    EXPECT_DOUBLE_EQ(detector()->m_noiseFloor, 0.0);
    EXPECT_DOUBLE_EQ(s.input_mic_noise_floor(), 0.0);
    EXPECT_EQ(spies.count("input_mic_noise_floor"), floorSignals + 1);
    EXPECT_EQ(rows().value("input_mic_noise_floor"), "0.02");
    EXPECT_EQ(warnings(), 1);

    // stored together: the floor read first is checked again against the peak read after it
    ASSERT_TRUE(store("input_mic_noise_floor", "0.04"));
    ASSERT_TRUE(store("input_mic_peak_amplitude", "0.3"));
    LogCapture::instance().clear();
    s.load();
    EXPECT_DOUBLE_EQ(detector()->m_noiseFloor, 0.0);
    EXPECT_DOUBLE_EQ(detector()->m_peakAmplitude, 0.3);
    EXPECT_EQ(rows().value("input_mic_noise_floor"), "0.04");
    EXPECT_EQ(warnings(), 1);
    ASSERT_TRUE(store("input_mic_noise_floor", "0.02"));
    s.load();
    EXPECT_DOUBLE_EQ(detector()->m_noiseFloor, 0.02);
    EXPECT_EQ(AssertRecorder::count(), 0);
}

TEST_F(SettingsTest, EverySetterStoresSignalsAndApplies)
{
    Settings s;
    s.load();
    Audio::setOutputVolume(0.123);
    struct Row {
        const char* name;
        QVariant value;
        QString stored;
        std::function<bool()> applied;  // none for the values only stored
    };
    const Row table[] = {
        {"output_volume", 0.7, "0.7", [] { return Audio::outputVolume() == 0.7; }},
        {"input_device", "nothing like it", "nothing like it", nullptr},
        {"input_sensitivity", 0.1 + 0.2, "0.3", [] { return Audio::inputSensitivity() == 0.1 + 0.2; }},
        {"input_mic_noise_floor", 0.001, "0.001", [] { return detector()->m_noiseFloor == 0.001; }},
        {"input_mic_peak_amplitude", 0.75, "0.75", [] { return detector()->m_peakAmplitude == 0.75; }},
        {"input_mic_calibrated", true, "true", nullptr},
        {"input_default_clapping", "mic", "mic", [] { return inputs()->mp_clappingInput->activeSource() == mic(); }},
        {"input_default_playing", "mic", "mic", [] { return inputs()->mp_playingInput->activeSource() == mic(); }},
        {"input_default_singing", "mic", "mic", [] { return inputs()->mp_singingInput->activeSource() == mic(); }},
    };
    ChangeSpies spies(s);
    for (const Row& r : table) {
        // twice: the same value is stored and signalled again
        for (int round = 1; round <= 2; ++round) {
            const int before = spies.count(r.name);
            ASSERT_TRUE(store(r.name, "stale"));
            ASSERT_TRUE(s.setProperty(r.name, r.value)) << r.name;
            EXPECT_EQ(rows().value(r.name), r.stored) << r.name;
            EXPECT_EQ(Settings::storedText(s.property(r.name)), r.stored) << r.name;
            EXPECT_EQ(spies.count(r.name), before + 1) << r.name;
            EXPECT_TRUE(!r.applied || r.applied()) << r.name;
        }
    }
    EXPECT_EQ(AssertRecorder::count(), 0);
}

TEST_F(SettingsTest, NoDatabaseOrARefusedWriteIsFatal)
{
    Settings s;
    ASSERT_TRUE(sqlRun(m_file, "DROP TABLE settings"));
    s.set_output_volume(0.5);
    EXPECT_EQ(AssertRecorder::expressions(), QStringList{"db->saveSetting(name, value) == RC_OK"});
    EXPECT_DOUBLE_EQ(Audio::outputVolume(), 0.5);  // applied all the same after Ignore

    AssertRecorder::clear();
    edufrmwk::FrameworkManager::getInstance()->mp_database = nullptr;
    s.load();
    EXPECT_EQ(AssertRecorder::expressions(), QStringList{"db"});
}

// "midi" names a source kind that no input has: the check names the source, the input keeps its own.
TEST_F(SettingsTest, DefaultSourceWithoutASourceObjectIsFatalAndChangesNothing)
{
    Settings s;
    s.setDefaultInputSource("clapping", "keyboard");
    EXPECT_EQ(inputs()->mp_clappingInput->activeSource(), keyboard());
    s.setDefaultInputSource("clapping", "midi");
    EXPECT_EQ(AssertRecorder::expressions(), QStringList{"source"});
    EXPECT_EQ(inputs()->mp_clappingInput->activeSource(), keyboard());
}

// QML reaching the one instance through SettingsProxy: the registrations test.

} // namespace
