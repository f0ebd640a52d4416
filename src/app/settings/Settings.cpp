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
    m_output_device = value;
    saveProperty(QStringLiteral("output_device"), value);
    emit changed_output_device();
    setOutputDevice(value);
}

void Settings::set_output_volume(double value)
{
    m_output_volume = value;
    saveProperty(QStringLiteral("output_volume"), storedText(value));
    emit changed_output_volume();
    setOutputVolume(value);
}

void Settings::set_input_device(const QString& value)
{
    m_input_device = value;
    saveProperty(QStringLiteral("input_device"), value);
    emit changed_input_device();
    setInputDevice(value);
}

void Settings::set_input_sensitivity(double value)
{
    m_input_sensitivity = value;
    saveProperty(QStringLiteral("input_sensitivity"), storedText(value));
    emit changed_input_sensitivity();
    setInputSensitivity(value);
}

void Settings::set_input_mic_noise_floor(double value)
{
    m_input_mic_noise_floor = value;
    saveProperty(QStringLiteral("input_mic_noise_floor"), storedText(value));
    emit changed_input_mic_noise_floor();
    setPitchDetectorNoiseFloor(value);
}

void Settings::set_input_mic_peak_amplitude(double value)
{
    m_input_mic_peak_amplitude = value;
    saveProperty(QStringLiteral("input_mic_peak_amplitude"), storedText(value));
    emit changed_input_mic_peak_amplitude();
    setPitchDetectorPeakAmplitude(value);
}

void Settings::set_input_mic_calibrated(bool value)
{
    m_input_mic_calibrated = value;
    saveProperty(QStringLiteral("input_mic_calibrated"), storedText(value));
    emit changed_input_mic_calibrated();
}

void Settings::set_input_default_clapping(const QString& value)
{
    m_input_default_clapping = usableInputSource(QStringLiteral("input_default_clapping"), QStringLiteral("clapping"), value);
    saveProperty(QStringLiteral("input_default_clapping"), m_input_default_clapping);
    emit changed_input_default_clapping();
    setDefaultInputSource(QStringLiteral("clapping"), m_input_default_clapping);
}

void Settings::set_input_default_playing(const QString& value)
{
    m_input_default_playing = usableInputSource(QStringLiteral("input_default_playing"), QStringLiteral("playing"), value);
    saveProperty(QStringLiteral("input_default_playing"), m_input_default_playing);
    emit changed_input_default_playing();
    setDefaultInputSource(QStringLiteral("playing"), m_input_default_playing);
}

void Settings::set_input_default_singing(const QString& value)
{
    m_input_default_singing = usableInputSource(QStringLiteral("input_default_singing"), QStringLiteral("singing"), value);
    saveProperty(QStringLiteral("input_default_singing"), m_input_default_singing);
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
