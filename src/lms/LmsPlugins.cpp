#include "lms/LmsPlugins.h"

#include "lms/LmsMetadata.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QRegExp>
#include <QScriptValueIterator>

namespace {

const QStringList PluginFilters = QStringLiteral("*.json").split(QLatin1Char(';'));
const QRegExp PluginNameRegExp(QStringLiteral("^(.+)(Question|AttributeType)$"), Qt::CaseSensitive, QRegExp::RegExp);

}  // namespace

QSet<QObject*> LmsPlugins::m_loadedPlugins;
QMap<QString, LmsQuestionPlugin*> LmsPlugins::m_questionPlugins;
QMap<QString, QScriptValue> LmsPlugins::m_questionMetadata;
QMap<QString, LmsAttributeTypePlugin*> LmsPlugins::m_attributeTypePlugins;
QMap<QString, QMap<QString, QVariant>> LmsPlugins::m_defaultAttributeMap;
QMap<QString, QMap<QString, QString>> LmsPlugins::m_attributeTypeMap;

void LmsPlugins::load(const QString& path)
{
    qDebug() << "LmsPlugins::load(...) : " << path;
    m_loadedPlugins.clear();
    m_questionPlugins.clear();
    m_questionMetadata.clear();
    m_attributeTypePlugins.clear();

    const QDir directory(path);
    const QFileInfoList files = directory.entryInfoList(PluginFilters, QDir::Files, QDir::Unsorted);
    for (const QFileInfo& file : files) {
        qDebug() << "pluginPath: " << file.absoluteFilePath();
        QRegExp nameMatch(PluginNameRegExp);
        if (nameMatch.indexIn(file.completeBaseName()) < 0)
            continue;
        const QString typeName = nameMatch.cap(1);
        if (nameMatch.cap(2) == QLatin1String("AttributeType")) {
            m_attributeTypePlugins.insert(typeName, nullptr);
            continue;
        }
        m_questionPlugins.insert(typeName, nullptr);
        const QScriptValue description =
            LmsMetadata::fromFile(directory.filePath(QStringLiteral("%1.json").arg(file.completeBaseName())));
        m_questionMetadata.insert(typeName, description);
        if (description.isError()) {
            qWarning() << "invalid question plug-in description: " << file.absoluteFilePath();
            continue;
        }
        if (!description.isObject())
            continue;
        QMap<QString, QVariant>& defaults = m_defaultAttributeMap[typeName];
        QMap<QString, QString>& attributeTypes = m_attributeTypeMap[typeName];
        QScriptValueIterator it(description);
        while (it.hasNext()) {
            it.next();
            const QString key = it.name();
            const QScriptValue value = it.value();
            if (key == QLatin1String("_type")) {
                defaults.insert(key, value.toVariant());
                continue;
            }
            if (!value.isObject())
                continue;
            const QString attributeType = value.property(QStringLiteral("type")).toString();
            if (attributeType.isEmpty())
                continue;
            attributeTypes.insert(key, attributeType);
            defaults.insert(key, value.property(QStringLiteral("default")).toVariant());
        }
    }
}

QStringList LmsPlugins::getTypeList()
{
    return m_questionPlugins.keys();
}

bool LmsPlugins::hasAttributeTypePlugin(const QString& name)
{
    return m_attributeTypePlugins.contains(name);
}

LmsAttributeTypePlugin* LmsPlugins::getAttributeTypePlugin(const QString& name)
{
    return m_attributeTypePlugins.value(name, nullptr);
}

bool LmsPlugins::hasMetadata(const QString& type)
{
    return m_questionPlugins.contains(type);
}

QScriptValue LmsPlugins::getMetadata(const QString& type)
{
    return m_questionMetadata.value(type);
}

bool LmsPlugins::hasDefaultValue(const QString& type, const QString& key)
{
    const auto entry = m_defaultAttributeMap.constFind(type);
    return entry != m_defaultAttributeMap.constEnd() && entry->contains(key);
}

QVariant LmsPlugins::getDefaultValue(const QString& type, const QString& key)
{
    const auto entry = m_defaultAttributeMap.constFind(type);
    return entry != m_defaultAttributeMap.constEnd() ? entry->value(key) : QVariant();
}

QString LmsPlugins::getAttributeType(const QString& type, const QString& key)
{
    return m_attributeTypeMap.value(type).value(key);
}

QMap<QString, QVariant>& LmsPlugins::getDefaultAttributeMap(const QString& type)
{
    return m_defaultAttributeMap[type];
}
