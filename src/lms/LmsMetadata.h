#pragma once

#include <QMap>
#include <QScriptValue>
#include <QString>
#include <QVariant>

class QScriptEngine;

// Reads and writes element metadata and plug-in descriptions as JSON through one
// process-wide script engine, and passes plug-in queries on to the registry.
class LmsMetadata {
public:
    enum Status { StatusOk = 0, StatusFailed = 1 };

    LmsMetadata() = delete;

    static void initialize();
    static void finalize();
    static QScriptEngine* engine();

    // Strict JSON: the file is never run as script. An invalid value when the file cannot
    // be read, the engine's error value when the text is not JSON.
    // Larger files are refused unread; course files are far smaller.
    static constexpr qint64 MaxFileSize = 64 * 1024 * 1024;
    static QScriptValue fromFile(const QString& path);
    static QScriptValue fromString(const QString& text);
    // JSON with two-space indentation, keys in property order.
    static QString toString(const QScriptValue& value);
    // Replaces the file atomically; 1 when it cannot be written.
    static Status toFile(const QScriptValue& value, const QString& path);
    static QScriptValue getDefaultObject();

    static bool hasMetadata(const QString& type);
    static QScriptValue getMetadata(const QString& type);
    static bool hasDefaultValue(const QString& type, const QString& key);
    static QVariant getDefaultValue(const QString& type, const QString& key);
    static QString getAttributeType(const QString& type, const QString& key);
    static QMap<QString, QVariant>& getDefaultAttributeMap(const QString& type);

private:
    static QScriptEngine* mp_scriptEngine;
    friend class JsonHelper;
};
