#pragma once

#include <QMap>
#include <QObject>
#include <QScriptValue>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>

// Plug-ins are data only: these are names, never defined or created.
class LmsQuestionPlugin;
class LmsAttributeTypePlugin;

// Process-wide registry of question types and attribute types, read from the
// "<Type>Question.json" and "<Type>AttributeType.json" descriptions of one directory.
class LmsPlugins {
public:
    LmsPlugins() = delete;

    static void load(const QString& path);

    static QStringList getTypeList();
    static bool hasAttributeTypePlugin(const QString& name);
    static LmsAttributeTypePlugin* getAttributeTypePlugin(const QString& name);
    static bool hasMetadata(const QString& type);
    static QScriptValue getMetadata(const QString& type);
    static bool hasDefaultValue(const QString& type, const QString& key);
    static QVariant getDefaultValue(const QString& type, const QString& key);
    static QString getAttributeType(const QString& type, const QString& key);
    // Inserts an empty entry for a type that is not registered.
    static QMap<QString, QVariant>& getDefaultAttributeMap(const QString& type);

private:
    static QSet<QObject*> m_loadedPlugins;
    static QMap<QString, LmsQuestionPlugin*> m_questionPlugins;
    static QMap<QString, QScriptValue> m_questionMetadata;
    static QMap<QString, LmsAttributeTypePlugin*> m_attributeTypePlugins;
    static QMap<QString, QMap<QString, QVariant>> m_defaultAttributeMap;
    static QMap<QString, QMap<QString, QString>> m_attributeTypeMap;
};
