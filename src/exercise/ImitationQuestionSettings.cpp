#include "exercise/ImitationQuestionSettings.h"

#include "debug/Debugging.h"

namespace {

const char* const kChannel = "zq-iqe";

// The checks of one key; false (logged) when its value cannot be used.
bool readable(const QVariant& value, const char* key, int type, const char* typeName)
{
    if (!value.isValid()) {
        LOG_WARN(kChannel, "invalid attribute \"%s\"\n", key);
        return false;
    }
    if (value.isNull()) {
        LOG_WARN(kChannel, "null attribute \"%s\"\n", key);
        return false;
    }
    if (!value.canConvert(type)) {
        LOG_WARN(kChannel, "cannot convert \"%s\" to %s\n", key, typeName);
        return false;
    }
    return true;
}

bool readBool(const QVariantMap& map, const char* key, bool& field)
{
    const QVariant value = map.value(QString::fromLatin1(key));
    if (!readable(value, key, QMetaType::Bool, "bool"))
        return false;
    field = value.toBool();
    return true;
}

bool readInt(const QVariantMap& map, const char* key, int& field)
{
    const QVariant value = map.value(QString::fromLatin1(key));
    if (!readable(value, key, QMetaType::Int, "int"))
        return false;
    field = value.toInt();  // a failed conversion gives 0
    return true;
}

} // namespace

ImitationQuestionSettings::ImitationQuestionSettings(const QVariantMap* settingsMap)
    : mp_map(settingsMap)
{
    BRISOLA_ASSERT(settingsMap);
}

bool ImitationQuestionSettings::load()
{
    if (!mp_map)
        return false;
    const QVariantMap& map = *mp_map;
    return readBool(map, "playbackMetronomeCountIn", playbackMetronomeCountIn)
        && readBool(map, "playbackMetronome", playbackMetronome)
        && readBool(map, "captureMetronomeCountIn", captureMetronomeCountIn)
        && readBool(map, "captureMetronome", captureMetronome)
        && readBool(map, "capturePlayback", capturePlayback)
        && readInt(map, "captureType", captureType);
}

QString ImitationQuestionSettings::captureTypeName(int type)
{
    static const char* const names[] = {"none", "rhythm", "pitch", "rhythm_and_pitch"};
    if (type < 0 || type > 3)
        return QString();
    return QString::fromLatin1(names[type]);
}
