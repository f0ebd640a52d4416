#include "lms/LmsMetadata.h"

#include "lms/LmsPlugins.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QScriptEngine>

// Resources of a static library must be registered by name, from the global namespace.
static void registerMetadataResources()
{
    Q_INIT_RESOURCE(lms_json);
}

QScriptEngine* LmsMetadata::mp_scriptEngine = nullptr;

// Deletes the shared engine at program exit.
class JsonHelper {
public:
    ~JsonHelper() { LmsMetadata::finalize(); }
};

namespace {

JsonHelper g_jsonHelper;

QString readUtf8UpToNul(QFile& file)
{
    QByteArray bytes = file.readAll();
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return QString::fromUtf8(bytes);
}

}  // namespace

void LmsMetadata::initialize()
{
    if (mp_scriptEngine)
        return;
    mp_scriptEngine = new QScriptEngine();
    registerMetadataResources();
    QFile script(QStringLiteral(":/json/Json.js"));
    if (!script.open(QIODevice::ReadOnly)) {
        qWarning() << "Can not open the JSON script resource";
        return;
    }
    const QString text = readUtf8UpToNul(script);
    mp_scriptEngine->evaluate(text, QString(), 1);
    if (mp_scriptEngine->hasUncaughtException()) {
        qWarning() << "JSON script failed:" << mp_scriptEngine->uncaughtException().toString();
        mp_scriptEngine->clearExceptions();
    }
}

void LmsMetadata::finalize()
{
    delete mp_scriptEngine;
    mp_scriptEngine = nullptr;
}

QScriptEngine* LmsMetadata::engine()
{
    initialize();
    return mp_scriptEngine;
}

QScriptValue LmsMetadata::fromFile(const QString& path)
{
    initialize();
    // Only regular files of a sane size: opening a FIFO would wait for a writer for good.
    const QFileInfo info(path);
    if (info.exists() && (!info.isFile() || info.size() > MaxFileSize)) {
        qWarning() << "Can not load JSON object from file: " << path << "(not a regular file of at most"
                   << MaxFileSize << "bytes)";
        return QScriptValue();
    }
    QFile file(path);
    if (!file.exists() || !file.open(QIODevice::ReadOnly)) {
        qWarning() << "Can not load JSON object from file: " << path;
        return QScriptValue();
    }
    const QString text = readUtf8UpToNul(file);
    file.close();
    return fromString(text);
}

QScriptValue LmsMetadata::fromString(const QString& text)
{
    initialize();
    QScriptValue parse = mp_scriptEngine->globalObject().property(QStringLiteral("JSON"))
                             .property(QStringLiteral("parse"));
    QScriptValue result = parse.call(QScriptValue(), QScriptValueList() << QScriptValue(text.trimmed()));
    if (mp_scriptEngine->hasUncaughtException()) {
        result = mp_scriptEngine->uncaughtException();
        mp_scriptEngine->clearExceptions();
        if (!result.isError())
            result = mp_scriptEngine->currentContext()->throwError(QScriptContext::SyntaxError,
                                                                    QStringLiteral("invalid JSON"));
        mp_scriptEngine->clearExceptions();
    }
    return result;
}

namespace {

// JSON.stringify with two-space indentation; false when the value cannot be written
// (a cycle, for instance), so no caller mistakes an empty text for the value.
bool stringify(QScriptEngine* engine, const QScriptValue& value, QString& text)
{
    QScriptValue function = engine->globalObject().property(QStringLiteral("JSON")).property(QStringLiteral("stringify"));
    const QScriptValue result = function.call(QScriptValue(), QScriptValueList() << value << QScriptValue(QScriptValue::NullValue) << QScriptValue(2));
    if (engine->hasUncaughtException()) {
        qWarning() << "Can not write JSON:" << engine->uncaughtException().toString();
        engine->clearExceptions();
        return false;
    }
    if (!result.isString()) {
        qWarning() << "Can not write JSON: the value has no JSON text";
        return false;
    }
    text = result.toString();
    return true;
}

}  // namespace

QString LmsMetadata::toString(const QScriptValue& value)
{
    initialize();
    QString text;
    stringify(mp_scriptEngine, value, text);
    return text;
}

LmsMetadata::Status LmsMetadata::toFile(const QScriptValue& value, const QString& path)
{
    initialize();
    QString text;
    if (!stringify(mp_scriptEngine, value, text)) {
        qWarning() << "Can not save JSON object to file: " << path;
        return StatusFailed;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qWarning() << "Can not save JSON object to file: " << path;
        return StatusFailed;
    }
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        qWarning() << "Can not save JSON object to file: " << path;
        file.cancelWriting();
        return StatusFailed;
    }
    return StatusOk;
}

QScriptValue LmsMetadata::getDefaultObject()
{
    return fromFile(QStringLiteral(":/json/Default.json"));
}

bool LmsMetadata::hasMetadata(const QString& type)
{
    return LmsPlugins::hasMetadata(type);
}

QScriptValue LmsMetadata::getMetadata(const QString& type)
{
    return LmsPlugins::getMetadata(type);
}

bool LmsMetadata::hasDefaultValue(const QString& type, const QString& key)
{
    return LmsPlugins::hasDefaultValue(type, key);
}

QVariant LmsMetadata::getDefaultValue(const QString& type, const QString& key)
{
    return LmsPlugins::getDefaultValue(type, key);
}

QString LmsMetadata::getAttributeType(const QString& type, const QString& key)
{
    return LmsPlugins::getAttributeType(type, key);
}

QMap<QString, QVariant>& LmsMetadata::getDefaultAttributeMap(const QString& type)
{
    return LmsPlugins::getDefaultAttributeMap(type);
}
