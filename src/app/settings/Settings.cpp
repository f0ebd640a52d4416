#include "app/settings/Settings.h"

#include "audio/Audio.h"
#include "debug/Debugging.h"
#include "exercise/KeyboardNoteInputSource.h"
#include "exercise/MicNoteInputSource.h"
#include "exercise/NoteInput.h"
#include "exercise/NoteInputManager.h"
#include "framework/Database.h"
#include "framework/FrameworkManager.h"
#include "framework/ResultCodes.h"
#include "pitch/PitchDetector.h"

#include <QMetaProperty>

#include <cmath>

using edufrmwk::Database;
using edufrmwk::FrameworkManager;
using edufrmwk::RC_OK;

static const char* const kChannel = "zq-settings";

Settings* Settings::mp_instance = nullptr;

Settings* Settings::getInstance()
{
    if (!mp_instance)
        mp_instance = new Settings();
    return mp_instance;
}

// false for empty text, 0 or false in any letter case; true otherwise
static bool flagFromText(const QString& text)
{
    return !(text.isEmpty() || text == QLatin1String("0") || text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0);
}

namespace {

// The range of each number: volume and sensitivity are gains of at most 1, the calibrated
// thresholds fractions of full scale (a peak of 0 would divide by nothing). A sensitivity of 0
// would hear nothing at all, so its lower end is left out.
struct NumberRange {
    const char* name;
    double low;
    double high;
    bool lowIncluded;
};
const NumberRange kNumberRanges[] = {
    {"output_volume", 0.0, 1.0, true},
    {"input_sensitivity", 0.0, 1.0, false},
    {"input_mic_noise_floor", 0.0, 1.0, true},
    {"input_mic_peak_amplitude", 0.001, 1.0, true},
};

// The learner's loudest singing reaches about half the calibrated peak amplitude; a noise floor
// at a tenth of the peak already silences notes sung at a fifth of that, and one at the peak every
// sample. Above this share of the peak the floor is refused.
const double kNoiseFloorShareOfPeak = 0.1;

const NumberRange* rangeOf(const QString& name)
{
    for (const NumberRange& range : kNumberRanges) {
        if (name == QLatin1String(range.name))
            return &range;
    }
    return nullptr;
}

// A stored flag is one of these texts, in any letter case.
bool isFlagText(const QString& text)
{
    for (const char* flag : {"true", "false", "1", "0"}) {
        if (text.compare(QLatin1String(flag), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

}  // namespace

bool Settings::inRange(const QString& name, const QVariant& value)
{
    switch (value.userType()) {
    case QMetaType::Double: {
        const double number = value.toDouble();
        const NumberRange* range = rangeOf(name);
        if (!std::isfinite(number) || !range)
            return std::isfinite(number);
        return (range->lowIncluded ? number >= range->low : number > range->low) && number <= range->high;
    }
    case QMetaType::QString:
        return !value.toString().trimmed().isEmpty();
    default:
        return value.isValid();
    }
}

template <typename T>
bool Settings::acceptValue(const char* name, T& value)
{
    const QString key = QString::fromLatin1(name);
    if (inRange(key, QVariant::fromValue(value)))
        return true;
    const QString fallback = m_defaults.value(key);
    LOG_WARN(kChannel, "%s %s is out of range; the default %s is used, the stored value is left as it is", name,
             qPrintable(storedText(QVariant::fromValue(value))), qPrintable(fallback));
    value = QVariant(fallback).value<T>();
    return false;
}

void Settings::store(const QString& name, const QString& value, bool accepted)
{
    if (accepted && !m_keepRows)
        saveProperty(name, value);
}

Settings::Settings()
{
    gen_init_defaults();
    // Readable before load(): the defaults, neither stored nor applied.
    m_output_device = m_defaults.value(QStringLiteral("output_device"));
    m_output_volume = m_defaults.value(QStringLiteral("output_volume")).toDouble();
    m_input_device = m_defaults.value(QStringLiteral("input_device"));
    m_input_sensitivity = m_defaults.value(QStringLiteral("input_sensitivity")).toDouble();
    m_input_mic_noise_floor = m_defaults.value(QStringLiteral("input_mic_noise_floor")).toDouble();
    m_input_mic_peak_amplitude = m_defaults.value(QStringLiteral("input_mic_peak_amplitude")).toDouble();
    m_input_mic_calibrated = flagFromText(m_defaults.value(QStringLiteral("input_mic_calibrated")));
    m_input_default_clapping = m_defaults.value(QStringLiteral("input_default_clapping"));
    m_input_default_playing = m_defaults.value(QStringLiteral("input_default_playing"));
    m_input_default_singing = m_defaults.value(QStringLiteral("input_default_singing"));
}

void Settings::gen_init_defaults()
{
    m_defaults.insert(QStringLiteral("output_device"), QStringLiteral("<defaultOutputDevice>"));
    m_defaults.insert(QStringLiteral("output_volume"), QStringLiteral("0.9"));
    m_defaults.insert(QStringLiteral("input_device"), QStringLiteral("<defaultInputDevice>"));
    m_defaults.insert(QStringLiteral("input_sensitivity"), QStringLiteral("0.9"));
    m_defaults.insert(QStringLiteral("input_mic_noise_floor"), QStringLiteral("0.00"));
    m_defaults.insert(QStringLiteral("input_mic_peak_amplitude"), QStringLiteral("1.00"));
    m_defaults.insert(QStringLiteral("input_mic_calibrated"), QStringLiteral("false"));
    m_defaults.insert(QStringLiteral("input_default_clapping"), QStringLiteral("keyboard"));
    m_defaults.insert(QStringLiteral("input_default_playing"), QStringLiteral("mic"));
    m_defaults.insert(QStringLiteral("input_default_singing"), QStringLiteral("mic"));
}

QString Settings::storedText(const QVariant& value)
{
    switch (value.userType()) {
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'g', 15);
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    default:
        return value.toString();
    }
}

// ---- properties ------------------------------------------------------------------------------

void Settings::set_output_device(const QString& value)
{
    QString usable = value;
    const bool accepted = acceptValue("output_device", usable);
    m_output_device = usable;
    store(QStringLiteral("output_device"), usable, accepted);
    emit changed_output_device();
    setOutputDevice(usable);
}

void Settings::set_output_volume(double value)
{
    const bool accepted = acceptValue("output_volume", value);
    m_output_volume = value;
    store(QStringLiteral("output_volume"), storedText(value), accepted);
    emit changed_output_volume();
    setOutputVolume(value);
}

void Settings::set_input_device(const QString& value)
{
    QString usable = value;
    const bool accepted = acceptValue("input_device", usable);
    m_input_device = usable;
    store(QStringLiteral("input_device"), usable, accepted);
    emit changed_input_device();
    setInputDevice(usable);
}

void Settings::set_input_sensitivity(double value)
{
    const bool accepted = acceptValue("input_sensitivity", value);
    m_input_sensitivity = value;
    store(QStringLiteral("input_sensitivity"), storedText(value), accepted);
    emit changed_input_sensitivity();
    setInputSensitivity(value);
}

bool Settings::noiseFloorSilencesPeak(double floor, double peak)
{
    return floor > 0.0 && !(floor < kNoiseFloorShareOfPeak * peak);
}

double Settings::refusedNoiseFloor(double floor, double peak) const
{
    const QString fallback = m_defaults.value(QStringLiteral("input_mic_noise_floor"));
    LOG_WARN(kChannel,
             "input_mic_noise_floor %s is not below a tenth of the peak amplitude %s and would silence the microphone; "
             "the default %s is used, the stored value is left as it is",
             qPrintable(storedText(floor)), qPrintable(storedText(peak)), qPrintable(fallback));
    return fallback.toDouble();
}

void Settings::set_input_mic_noise_floor(double value)
{
    bool accepted = acceptValue("input_mic_noise_floor", value);
    if (accepted && noiseFloorSilencesPeak(value, m_input_mic_peak_amplitude)) {
        value = refusedNoiseFloor(value, m_input_mic_peak_amplitude);
        accepted = false;
    }
    m_input_mic_noise_floor = value;
    store(QStringLiteral("input_mic_noise_floor"), storedText(value), accepted);
    emit changed_input_mic_noise_floor();
    setPitchDetectorNoiseFloor(value);
}

void Settings::set_input_mic_peak_amplitude(double value)
{
    const bool accepted = acceptValue("input_mic_peak_amplitude", value);
    m_input_mic_peak_amplitude = value;
    store(QStringLiteral("input_mic_peak_amplitude"), storedText(value), accepted);
    emit changed_input_mic_peak_amplitude();
    setPitchDetectorPeakAmplitude(value);
    if (noiseFloorSilencesPeak(m_input_mic_noise_floor, value)) {
        // the floor was set against another peak; the peak is the measured one, so the floor goes
        m_input_mic_noise_floor = refusedNoiseFloor(m_input_mic_noise_floor, value);
        emit changed_input_mic_noise_floor();
        setPitchDetectorNoiseFloor(m_input_mic_noise_floor);
    }
}

void Settings::set_input_mic_calibrated(bool value)
{
    m_input_mic_calibrated = value;
    store(QStringLiteral("input_mic_calibrated"), storedText(value), true);
    emit changed_input_mic_calibrated();
}

void Settings::set_input_default_clapping(const QString& value)
{
    m_input_default_clapping = usableInputSource(QStringLiteral("input_default_clapping"), QStringLiteral("clapping"), value);
    store(QStringLiteral("input_default_clapping"), m_input_default_clapping, m_input_default_clapping == value);
    emit changed_input_default_clapping();
    setDefaultInputSource(QStringLiteral("clapping"), m_input_default_clapping);
}

void Settings::set_input_default_playing(const QString& value)
{
    m_input_default_playing = usableInputSource(QStringLiteral("input_default_playing"), QStringLiteral("playing"), value);
    store(QStringLiteral("input_default_playing"), m_input_default_playing, m_input_default_playing == value);
    emit changed_input_default_playing();
    setDefaultInputSource(QStringLiteral("playing"), m_input_default_playing);
}

void Settings::set_input_default_singing(const QString& value)
{
    m_input_default_singing = usableInputSource(QStringLiteral("input_default_singing"), QStringLiteral("singing"), value);
    store(QStringLiteral("input_default_singing"), m_input_default_singing, m_input_default_singing == value);
    emit changed_input_default_singing();
    setDefaultInputSource(QStringLiteral("singing"), m_input_default_singing);
}

// ---- rows ------------------------------------------------------------------------------------

void Settings::saveProperty(const QString& name, const QString& value)
{
    Database* db = FrameworkManager::getInstance()->mp_database;
    BRISOLA_ASSERT_MSG(db, "unable to access database instance.");
    if (!db)
        return;
    LOG_DEBUG(kChannel, "saved property %s = %s\n", qPrintable(name), qPrintable(value));
    BRISOLA_ASSERT_MSG(db->saveSetting(name, value) == RC_OK, "unable to save setting to database.");
}

int Settings::loadProperty(const QString& name, QString& value)
{
    Database* db = FrameworkManager::getInstance()->mp_database;
    BRISOLA_ASSERT_MSG(db, "unable to access database instance.");
    if (!db)
        return edufrmwk::RC_DB_ERROR;
    return db->getSetting(name, value);
}

void Settings::load()
{
    LOG_ENTRY(kChannel);
    const QMetaObject* meta = metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        const QString name = QString::fromLatin1(property.name());
        if (name == QLatin1String("objectName"))
            continue;
        Database* db = FrameworkManager::getInstance()->mp_database;
        BRISOLA_ASSERT_MSG(db, "unable to access database instance.");
        if (!db)
            return;
        QString value;
        if (db->getSetting(name, value) != RC_OK) {
            if (!m_defaults.contains(name)) {
                LOG_WARN(kChannel, "failed to load property %s\n", qPrintable(name));
                continue;
            }
            value = m_defaults.value(name);
            LOG_DEBUG(kChannel, "resetting property to default %s = %s\n", qPrintable(name), qPrintable(value));
        }
        const QByteArray key = name.toLatin1();
        if (!readable(property.userType(), value)) {
            // the default takes effect; the row stays for the learner to set again
            LOG_WARN(kChannel, "stored %s \"%s\" is not a %s; the default %s is used, the stored value is left as it is",
                     key.constData(), qPrintable(value), property.userType() == QMetaType::Bool ? "flag" : "number",
                     qPrintable(m_defaults.value(name)));
            m_keepRows = true;
            property.write(this, QVariant(m_defaults.value(name)));
            m_keepRows = false;
            continue;
        }
        // an out-of-range value is refused by its setter, which leaves the row as it is
        switch (property.userType()) {
        case QMetaType::QString:
            LOG_DEBUG(kChannel, "loaded property %s = %s\n", key.constData(), qPrintable(value));
            property.write(this, value);
            break;
        case QMetaType::Int: {
            const int number = value.toInt();
            LOG_DEBUG(kChannel, "loaded property %s = %d\n", key.constData(), number);
            property.write(this, number);
            break;
        }
        case QMetaType::Double: {
            const double number = value.toDouble();
            LOG_DEBUG(kChannel, "loaded property %s = %f\n", key.constData(), number);
            property.write(this, number);
            break;
        }
        case QMetaType::Bool: {
            const bool flag = flagFromText(value);
            LOG_DEBUG(kChannel, "loaded property %s = %d\n", key.constData(), int(flag));
            property.write(this, flag);
            break;
        }
        default:
            BRISOLA_ASSERT(0);
        }
    }
}

bool Settings::readable(int type, const QString& text)
{
    bool ok = true;
    if (type == QMetaType::Double)
        text.trimmed().toDouble(&ok);
    else if (type == QMetaType::Int)
        text.trimmed().toInt(&ok);
    else if (type == QMetaType::Bool)
        ok = isFlagText(text.trimmed());
    return ok;
}

void Settings::save()
{
    const QMetaObject* meta = metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (qstrcmp(property.name(), "objectName") == 0)
            continue;
        const QString value = storedText(property.read(this));
        saveProperty(QString::fromLatin1(property.name()), value);
        LOG_DEBUG(kChannel, "saved property %s = %s\n", property.name(), qPrintable(value));
    }
}

// ---- note inputs -----------------------------------------------------------------------------

NoteInput* Settings::getNoteInput(const QString& kind)
{
    NoteInputManager* manager = NoteInputManager::getInstance();
    if (kind == QLatin1String("clapping"))
        return manager->mp_clappingInput;
    if (kind == QLatin1String("playing"))
        return manager->mp_playingInput;
    if (kind == QLatin1String("singing"))
        return manager->mp_singingInput;
    BRISOLA_ASSERT(0);
    return nullptr;
}

NoteInputSource* Settings::getNoteInputSource(const QString&, const QString& source)
{
    NoteInputManager* manager = NoteInputManager::getInstance();
    if (source == QLatin1String("keyboard"))
        return manager->mp_keyboardSource;
    if (source == QLatin1String("mic"))
        return manager->mp_micSource;
    if (source == QLatin1String("midi"))
        return manager->mp_midiSource;
    BRISOLA_ASSERT(0);
    return nullptr;
}

QString Settings::usableInputSource(const QString& property, const QString& kind, const QString& value)
{
    NoteInput* input = getNoteInput(kind);
    if (!input)
        return value;  // nothing to check against yet; applying says so
    const bool known = value == QLatin1String("keyboard") || value == QLatin1String("mic") || value == QLatin1String("midi");
    NoteInputSource* source = known ? getNoteInputSource(kind, value) : nullptr;
    if (source && input->sources().contains(source))
        return value;
    const QString fallback = m_defaults.value(property);
    LOG_WARN(kChannel, "\"%s\" is not a source of the %s input; using \"%s\"", qPrintable(value), qPrintable(kind),
             qPrintable(fallback));
    return fallback;
}

void Settings::setDefaultInputSource(const QString& kind, const QString& sourceName)
{
    NoteInput* input = getNoteInput(kind);
    NoteInputSource* source = getNoteInputSource(kind, sourceName);
    if (!input) {
        LOG_WARN(kChannel, "note inputs are not set up; the %s input keeps its source", qPrintable(kind));
        return;
    }
    BRISOLA_ASSERT(source);
    if (!source)
        return;
    input->setActiveSource(source);
}

// ---- applying --------------------------------------------------------------------------------

void Settings::setOutputDevice(const QString& name)
{
    LOG_ENTRY(kChannel);
    Audio::setOutputDevice(name);
}

void Settings::setOutputVolume(double volume)
{
    LOG_ENTRY(kChannel);
    Audio::setOutputVolume(volume);
}

void Settings::setInputDevice(const QString& name)
{
    LOG_ENTRY(kChannel);
    Audio::setInputDevice(name);
}

void Settings::setInputSensitivity(double sensitivity)
{
    LOG_ENTRY(kChannel);
    Audio::setInputSensitivity(sensitivity);
}

static PitchDetector* microphoneDetector()
{
    MicNoteInputSource* mic = NoteInputManager::getInstance()->mp_micSource;
    return mic ? mic->mp_detector : nullptr;
}

void Settings::setPitchDetectorNoiseFloor(double value)
{
    if (PitchDetector* detector = microphoneDetector())
        detector->m_noiseFloor = value;
    else
        LOG_WARN(kChannel, "no pitch detector yet; noise floor %g not applied", value);
}

void Settings::setPitchDetectorPeakAmplitude(double value)
{
    if (PitchDetector* detector = microphoneDetector())
        detector->m_peakAmplitude = value;
    else
        LOG_WARN(kChannel, "no pitch detector yet; peak amplitude %g not applied", value);
}
