#include "lms/LmsFilesystem.h"

#include "lms/LmsExerciseActivity.h"
#include "lms/LmsLearningActivity.h"
#include "lms/LmsMetadata.h"
#include "lms/LmsModuleElement.h"
#include "lms/LmsQuestion.h"
#include "lms/LmsQuestionAssociation.h"
#include "lms/LmsQuestionFilter.h"
#include "lms/LmsTestActivity.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScriptEngine>
#include <QScriptValueIterator>
#include <QSet>

#include <algorithm>
#include <cstdio>

namespace {

const QString MetadataFileName = QStringLiteral("_metadata.json");
const QString EnabledIconFileName = QStringLiteral("_enabled_icon.png");
const QString DisabledIconFileName = QStringLiteral("_disabled_icon.png");
// Anchored at the very end: "$" would also accept a name ending in a line break.
const QRegularExpression FileNameRegExp(QRegularExpression::anchoredPattern(QStringLiteral("([0-9]{2})_([a-z0-9_]+)")));
const QString NewDirectoryPrefix = QStringLiteral("NEW_");
const int MaxModuleElements = 100;

// ---- loading

bool isPresent(const QScriptValue& value)
{
    return value.isValid() && !value.isUndefined() && !value.isNull();
}

QMap<QString, QVariant> readAttributes(const QScriptValue& description)
{
    QMap<QString, QVariant> attributes;
    QScriptValueIterator it(description);
    while (it.hasNext()) {
        it.next();
        const QString name = it.name();
        if (name.isEmpty() || name.startsWith(QLatin1Char('_')))
            continue;
        attributes.insert(name, it.value().toVariant());
    }
    return attributes;
}

// Visits a list's own properties with positions from 1; an array's length slot counts
// too (it is no object, so it is reported like any other entry that is not one).
template <class Read>
void forEachDescription(const QScriptValue& list, const char* notAnObject, Read read)
{
    if (!list.isObject())
        return;
    int position = 0;
    QScriptValueIterator it(list);
    while (it.hasNext()) {
        it.next();
        ++position;
        const QScriptValue description = it.value();
        if (!description.isObject()) {
            qDebug() << notAnObject << position << ")";
            continue;
        }
        read(description, position);
    }
}

// What a template and a question share: type, own tags when given, attributes.
LmsQuestion* newQuestion(const QString& type, const QScriptValue& description)
{
    auto* question = new LmsQuestion(nullptr);
    question->setType(type);
    const QScriptValue tags = description.property(QStringLiteral("_tags"));
    if (isPresent(tags))
        question->setTagList(tags.toString());
    question->setAttributeMap(readAttributes(description));
    return question;
}

void readTemplates(const QScriptValue& list, LmsQuestionActivity* activity)
{
    forEachDescription(list, "template description is not an object (", [activity](const QScriptValue& description, int position) {
        const QString type = description.property(QStringLiteral("_type")).toString();
        if (type.isEmpty()) {
            qWarning() << "invalid template description (" << position << ")";
            return;
        }
        activity->getTemplateMap().insert(newQuestion(type, description));
    });
}

void readQuestions(const QScriptValue& list, LmsQuestionActivity* activity)
{
    forEachDescription(list, "question description is not an object (", [activity](const QScriptValue& description, int position) {
        const QString type = description.property(QStringLiteral("_type")).toString();
        const int uid = description.property(QStringLiteral("_uid")).toInt32();
        if (type.isEmpty() || uid < 0) {
            qWarning() << "invalid question description (" << position << ")";
            return;
        }
        LmsQuestion* question = newQuestion(type, description);
        question->setUid(uid);
        question->setDifficulty(description.property(QStringLiteral("_difficulty")).toInt32());
        activity->getQuestionList().append(question);
    });
}

void readAssociations(const QScriptValue& list, LmsQuestionActivity* activity,
                      QMap<LmsQuestionAssociation*, QString>& associationPaths, const QString& file)
{
    // What the activity's associations ask for so far, and what they asked for beyond its total.
    int total = 0;
    qint64 beyond = 0;
    int firstBeyond = 0;
    forEachDescription(list, "association is not an object (", [&](const QScriptValue& description, int position) {
        const QString path = description.property(QStringLiteral("path")).toString().trimmed();
        if (path.isEmpty()) {
            qWarning() << "invalid association description (" << position << ")";
            return;
        }
        // Checked on the number as written: a huge count must not wrap into a small one.
        const QScriptValue count = description.property(QStringLiteral("count"));
        const double asked = isPresent(count) ? count.toNumber() : 0.0;
        if (!(asked >= 0.0 && asked <= LmsQuestionFilter::MaxCount)) {
            qWarning().noquote() << QStringLiteral("association ( %1 ) refused: count %2 is out of range 0 to %3 in %4")
                                        .arg(position)
                                        .arg(count.toString())
                                        .arg(LmsQuestionFilter::MaxCount)
                                        .arg(file);
            return;
        }
        const QScriptValue uid = description.property(QStringLiteral("uid"));
        int wanted = isPresent(uid) ? 1 : int(asked);
        if (total + wanted > LmsQuestionFilter::MaxActivityCount) {
            if (!firstBeyond)
                firstBeyond = position;
            beyond += total + wanted - LmsQuestionFilter::MaxActivityCount;
            wanted = LmsQuestionFilter::MaxActivityCount - total;
            if (wanted == 0)
                return;
        }
        total += wanted;
        auto* association = new LmsQuestionAssociation();
        if (path == QLatin1String("."))
            association->setSource(activity);
        else
            associationPaths.insert(association, path);
        auto* filter = new LmsQuestionFilter();
        association->setFilter(filter);
        if (isPresent(uid))
            filter->setUid(uid.toInt32());
        const QScriptValue type = description.property(QStringLiteral("type"));
        if (isPresent(type))
            filter->setType(type.toString());
        const QScriptValue tags = description.property(QStringLiteral("tags"));
        if (isPresent(tags))
            filter->setTagList(tags.toString());
        const QScriptValue difficulty = description.property(QStringLiteral("difficulty"));
        if (isPresent(difficulty))
            filter->setDifficulty(difficulty.toInt32());
        if (isPresent(count))
            filter->setCount(isPresent(uid) ? count.toInt32() : wanted);
        activity->getAssociationList().append(association);
    });
    if (beyond > 0)
        qWarning().noquote() << QStringLiteral("%1 questions beyond the total of %2 of one activity left out, from "
                                               "association ( %3 ) on, in %4")
                                    .arg(beyond)
                                    .arg(LmsQuestionFilter::MaxActivityCount)
                                    .arg(firstBeyond)
                                    .arg(file);
}

// Unlinks and destroys the children a failed load drops.
void destroyChildren(LmsModuleElement* module)
{
    const QList<LmsElement*> children = module->getElementList();
    module->getElementList().clear();
    qDeleteAll(children);
}

LmsQuestionActivity* owningActivity(const LmsModuleElement* module, const LmsQuestionAssociation* association)
{
    for (LmsElement* child : module->getElementList()) {
        auto* activity = dynamic_cast<LmsQuestionActivity*>(child);
        if (activity && activity->getAssociationList().getAssociations().contains(
                            const_cast<LmsQuestionAssociation*>(association)))
            return activity;
    }
    return nullptr;
}

// ---- saving

QString directoryNameFor(int index, const QString& displayName)
{
    static const QRegularExpression notAlphanumeric(QStringLiteral("[^A-Za-z0-9]"));
    QString stem = displayName;
    stem.replace(notAlphanumeric, QStringLiteral("_"));
    return QStringLiteral("%1_%2").arg(index, 2, 10, QLatin1Char('0')).arg(stem.toLower());
}

bool isSavableType(const LmsElement* element)
{
    if (dynamic_cast<const LmsModuleElement*>(element))
        return true;
    return dynamic_cast<const LmsLearningActivity*>(element) || dynamic_cast<const LmsExerciseActivity*>(element)
        || dynamic_cast<const LmsTestActivity*>(element);
}

bool existingMetadataReadable(const QString& directory)
{
    const QString file = QDir(directory).filePath(MetadataFileName);
    if (!QFileInfo::exists(file))
        return true;
    const QScriptValue metadata = LmsMetadata::fromFile(file);
    return metadata.isObject() && !metadata.isError();
}

// An element's directory takes a new metadata file (written beside and renamed over the old one).
bool metadataWritable(const QString& directory)
{
    const QFileInfo metadata(QDir(directory).filePath(MetadataFileName));
    QString readOnly;
    if (!QFileInfo(directory).isWritable())
        readOnly = directory;
    else if (metadata.exists() && !metadata.isWritable())
        readOnly = metadata.filePath();
    if (readOnly.isEmpty())
        return true;
    qWarning() << "Can not save into read-only " << readOnly;
    return false;
}

// Whether saving the module creates, renames or removes entries of its directory.
bool changesEntries(const QString& path, const LmsModuleElement* module)
{
    const QList<LmsElement*>& children = module->getElementList();
    QSet<QString> owned;
    for (int i = 0; i < children.size(); ++i) {
        if (children.at(i)->getFsName() != directoryNameFor(i, children.at(i)->getName()))
            return true;
        owned.insert(children.at(i)->getFsName());
    }
    const QStringList entries = QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    return std::any_of(entries.cbegin(), entries.cend(), [&owned](const QString& name) {
        return FileNameRegExp.match(name).hasMatch() && !owned.contains(name);
    });
}

// Everything that would make the written tree unreadable, lose an existing file, or stop the
// save half way (a read-only directory or file) is found here, before the first directory is
// touched. currentPath is empty for elements that have no directory yet.
bool validateModule(const QString& currentPath, const LmsModuleElement* module)
{
    const QList<LmsElement*>& children = module->getElementList();
    if (children.size() > MaxModuleElements) {
        qWarning() << "Can not save module with more than 100 elements: " << module->getName();
        return false;
    }
    if (!currentPath.isEmpty() && !QFileInfo(currentPath).isWritable() && changesEntries(currentPath, module)) {
        qWarning() << "Can not save into read-only " << currentPath;
        return false;
    }
    QSet<QString> directoryNames;
    for (const LmsElement* child : children) {
        if (!child) {
            qWarning() << "Can not save module with an empty element slot: " << module->getName();
            return false;
        }
        if (child->getName().trimmed().isEmpty()) {
            qWarning() << "Can not save element without a name in module: " << module->getName();
            return false;
        }
        if (!isSavableType(child)) {
            qWarning() << "Can not save element of unknown type: " << child->getName();
            return false;
        }
        const auto* childModule = dynamic_cast<const LmsModuleElement*>(child);
        if (childModule && module->getDepth() > 2) {
            qWarning() << "Can not save module at level " << module->getDepth() + 1 << child->getName();
            return false;
        }
        QString childPath;
        if (!child->getFsName().isEmpty()) {
            if (directoryNames.contains(child->getFsName())) {
                qWarning() << "Can not save two elements in one directory: " << child->getFsName();
                return false;
            }
            directoryNames.insert(child->getFsName());
            if (!currentPath.isEmpty()) {
                childPath = QDir(currentPath).filePath(child->getFsName());
                if (!existingMetadataReadable(childPath)) {
                    qWarning() << "Can not save over unreadable metadata in " << childPath;
                    return false;
                }
                if (!QFileInfo(childPath).isDir())
                    childPath.clear();
                else if (!metadataWritable(childPath))
                    return false;
            }
        }
        if (childModule && !validateModule(childPath, childModule))
            return false;
    }
    return true;
}

bool renameEntry(const QString& directory, const QString& from, const QString& to)
{
    QDir dir(directory);
    if (dir.rename(from, to))
        return true;
    qWarning() << "Can not rename " << dir.filePath(from) << " to " << to;
    return false;
}

QScriptValue toJsonValue(QScriptEngine* engine, const QVariant& value)
{
    switch (static_cast<QMetaType::Type>(value.type())) {
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        QScriptValue object = engine->newObject();
        for (auto it = map.constBegin(); it != map.constEnd(); ++it)
            object.setProperty(it.key(), toJsonValue(engine, it.value()));
        return object;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        const QVariantList list = value.toList();
        QScriptValue array = engine->newArray(static_cast<uint>(list.size()));
        for (int i = 0; i < list.size(); ++i)
            array.setProperty(static_cast<quint32>(i), toJsonValue(engine, list.at(i)));
        return array;
    }
    case QMetaType::Bool:
        return QScriptValue(value.toBool());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return QScriptValue(value.toDouble());
    default:
        return value.isValid() && !value.isNull() ? QScriptValue(value.toString()) : QScriptValue(QScriptValue::NullValue);
    }
}

bool isList(int type)
{
    return type == QMetaType::QVariantList || type == QMetaType::QStringList;
}

// Lists become arrays of texts, maps JSON objects, anything else its text. Maps and lists
// inside a list keep their structure: as text they would be lost.
QScriptValue toWrittenForm(QScriptEngine* engine, const QVariant& value)
{
    const int type = value.userType();
    if (type == QMetaType::QVariantMap)
        return toJsonValue(engine, value);
    if (isList(type)) {
        const QVariantList list = value.toList();
        QScriptValue array = engine->newArray(static_cast<uint>(list.size()));
        for (int i = 0; i < list.size(); ++i) {
            const QVariant& item = list.at(i);
            const bool structured = item.userType() == QMetaType::QVariantMap || isList(item.userType());
            array.setProperty(static_cast<quint32>(i),
                              structured ? toWrittenForm(engine, item) : QScriptValue(item.toString()));
        }
        return array;
    }
    return QScriptValue(value.toString());
}

QScriptValue questionObject(QScriptEngine* engine, const LmsQuestion* question, bool isTemplate)
{
    QScriptValue object = engine->newObject();
    object.setProperty(QStringLiteral("_type"), question->getType());
    if (!isTemplate)
        object.setProperty(QStringLiteral("_uid"), question->getUid());
    if (question->hasTagList(false))
        object.setProperty(QStringLiteral("_tags"), question->getTagList(false).join(QStringLiteral(", ")));
    if (!isTemplate)
        object.setProperty(QStringLiteral("_difficulty"), question->getDifficulty());
    const QMap<QString, QVariant>& attributes = question->getAttributeMap();
    for (auto it = attributes.constBegin(); it != attributes.constEnd(); ++it)
        object.setProperty(it.key(), toWrittenForm(engine, it.value()));
    return object;
}

void writeQuestionContent(QScriptEngine* engine, QScriptValue& metadata, const LmsQuestionActivity* activity)
{
    const QList<LmsQuestion*> templates = activity->getTemplateMap().getQuestions();
    QScriptValue templateArray = engine->newArray(static_cast<uint>(templates.size()));
    for (int i = 0; i < templates.size(); ++i)
        templateArray.setProperty(static_cast<quint32>(i), questionObject(engine, templates.at(i), true));
    metadata.setProperty(QStringLiteral("templates"), templateArray);

    const QList<LmsQuestion*>& questions = activity->getQuestionList().getQuestions();
    QScriptValue questionArray = engine->newArray(static_cast<uint>(questions.size()));
    for (int i = 0; i < questions.size(); ++i)
        questionArray.setProperty(static_cast<quint32>(i), questionObject(engine, questions.at(i), false));
    metadata.setProperty(QStringLiteral("questions"), questionArray);

    const QList<LmsQuestionAssociation*>& associations = activity->getAssociationList().getAssociations();
    QScriptValue associationArray = engine->newArray(static_cast<uint>(associations.size()));
    quint32 slot = 0;
    for (const LmsQuestionAssociation* association : associations) {
        const LmsQuestionActivity* source = association->getSource();
        const LmsQuestionFilter* filter = association->getFilter();
        if (!source || !filter)
            continue;
        QScriptValue object = engine->newObject();
        object.setProperty(QStringLiteral("path"),
                           source == activity ? QStringLiteral(".") : source->getRelativePath(activity->getParentModule()));
        if (filter->getUid() >= 0) {
            object.setProperty(QStringLiteral("uid"), filter->getUid());
        } else {
            object.setProperty(QStringLiteral("type"), filter->getType());
            object.setProperty(QStringLiteral("tags"), filter->getTagList().join(QStringLiteral(", ")));
            object.setProperty(QStringLiteral("difficulty"), filter->getDifficulty());
            object.setProperty(QStringLiteral("count"), filter->getCount());
        }
        associationArray.setProperty(slot++, object);
    }
    metadata.setProperty(QStringLiteral("associations"), associationArray);
}

// Copies the icon next to a hidden temporary name first, then renames it over the reserved
// file, so a failed copy never costs the icon that was there.
bool installIcon(const QString& directory, LmsModuleElement* module, bool enabled)
{
    const QString iconPath = enabled ? module->getEnabledIconPath() : module->getDisabledIconPath();
    const QString& reservedName = enabled ? EnabledIconFileName : DisabledIconFileName;
    if (iconPath.isEmpty())
        return true;
    const QDir dir(directory);
    const QString source = dir.absoluteFilePath(iconPath);
    const QString target = dir.filePath(reservedName);
    const QFileInfo sourceInfo(source);
    if (!sourceInfo.isFile())
        return true;
    if (QFileInfo::exists(target) && sourceInfo.canonicalFilePath() == QFileInfo(target).canonicalFilePath()) {
        if (enabled)
            module->setEnabledIconPath(reservedName);
        else
            module->setDisabledIconPath(reservedName);
        return true;
    }
    const QString temporary = dir.filePath(QStringLiteral(".") + reservedName + QStringLiteral(".tmp"));
    QFile::remove(temporary);
    if (!QFile::copy(source, temporary)) {
        qWarning() << "Can not copy icon " << source << " to " << temporary;
        return false;
    }
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(target).constData()) != 0) {
        qWarning() << "Can not replace icon " << target;
        QFile::remove(temporary);
        return false;
    }
    if (enabled)
        module->setEnabledIconPath(reservedName);
    else
        module->setDisabledIconPath(reservedName);
    return true;
}

LmsFilesystem::Status saveModuleContent(const QString& path, LmsModuleElement* module);

LmsFilesystem::Status saveElementContent(const QString& path, LmsElement* element)
{
    QScriptEngine* engine = LmsMetadata::engine();
    const QString metadataPath = QDir(path).filePath(MetadataFileName);
    QScriptValue metadata;
    if (QFileInfo::exists(metadataPath)) {
        metadata = LmsMetadata::fromFile(metadataPath);
        if (!metadata.isObject() || metadata.isError()) {
            qWarning() << "Can not read existing metadata, left untouched: " << metadataPath;
            return LmsFilesystem::StatusFailed;
        }
    } else {
        metadata = LmsMetadata::getDefaultObject();
        if (!metadata.isObject()) {
            qWarning() << "Can not read the default metadata";
            return LmsFilesystem::StatusFailed;
        }
    }
    QScriptValue properties = metadata.property(QStringLiteral("properties"));
    if (!properties.isObject())
        properties = engine->newObject();
    properties.setProperty(QStringLiteral("elementName"), element->getName());

    bool ok = true;
    auto* module = dynamic_cast<LmsModuleElement*>(element);
    if (module) {
        properties.setProperty(QStringLiteral("elementType"), QStringLiteral("module"));
        ok = installIcon(path, module, true) && ok;
        ok = installIcon(path, module, false) && ok;
    } else if (dynamic_cast<LmsLearningActivity*>(element)) {
        properties.setProperty(QStringLiteral("elementType"), QStringLiteral("learning_activity"));
    } else if (auto* activity = dynamic_cast<LmsQuestionActivity*>(element)) {
        const bool isTest = activity->getActivityType() == LmsActivityElement::ActivityTypeTest;
        properties.setProperty(QStringLiteral("elementType"),
                               isTest ? QStringLiteral("test_activity") : QStringLiteral("exercise_activity"));
        properties.setProperty(QStringLiteral("introText"), activity->getIntroText());
        properties.setProperty(QStringLiteral("introGraphic"), activity->getIntroGraphicPath());
        writeQuestionContent(engine, metadata, activity);
    }
    metadata.setProperty(QStringLiteral("properties"), properties);
    if (LmsMetadata::toFile(metadata, metadataPath) != LmsMetadata::StatusOk)
        ok = false;
    if (module && saveModuleContent(path, module) != LmsFilesystem::StatusOk)
        ok = false;
    return ok ? LmsFilesystem::StatusOk : LmsFilesystem::StatusFailed;
}

LmsFilesystem::Status saveModuleContent(const QString& path, LmsModuleElement* module)
{
    QDir dir(path);
    if (!dir.exists() && !QDir().mkpath(path)) {
        qWarning() << "Can not create directory " << path;
        return LmsFilesystem::StatusFailed;
    }
    const QList<LmsElement*>& children = module->getElementList();
    QSet<QString> owned;
    for (const LmsElement* child : children)
        owned.insert(child->getFsName());

    const QStringList entries = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : entries) {
        if (FileNameRegExp.match(name).hasMatch() && !owned.contains(name))
            LmsFilesystem::removeDirectory(dir.filePath(name));
    }

    // Moved children leave their old names first, then take the new ones; directories of
    // new children are made last, when no moved sibling can still hold their names.
    QList<int> moved;
    QStringList newNames;
    for (int i = 0; i < children.size(); ++i) {
        LmsElement* child = children.at(i);
        const QString newName = directoryNameFor(i, child->getName());
        newNames.append(newName);
        if (!child->getFsName().isEmpty() && child->getFsName() != newName) {
            if (!renameEntry(path, child->getFsName(), NewDirectoryPrefix + newName))
                return LmsFilesystem::StatusFailed;
            child->setFsName(NewDirectoryPrefix + newName);
            moved.append(i);
        }
    }
    for (int i : moved) {
        if (!renameEntry(path, NewDirectoryPrefix + newNames.at(i), newNames.at(i)))
            return LmsFilesystem::StatusFailed;
        children.at(i)->setFsName(newNames.at(i));
    }
    for (int i = 0; i < children.size(); ++i) {
        LmsElement* child = children.at(i);
        if (!child->getFsName().isEmpty())
            continue;
        if (!dir.mkdir(newNames.at(i))) {
            qWarning() << "Can not create directory " << dir.filePath(newNames.at(i));
            return LmsFilesystem::StatusFailed;
        }
        child->setFsName(newNames.at(i));
    }

    for (LmsElement* child : children) {
        if (saveElementContent(dir.filePath(child->getFsName()), child) != LmsFilesystem::StatusOk)
            return LmsFilesystem::StatusFailed;
    }
    return LmsFilesystem::StatusOk;
}

}  // namespace

LmsFilesystem::Status LmsFilesystem::loadModule(const QString& path, LmsModuleElement* module)
{
    if (!module) {
        qWarning() << "Can not load module without a module object: " << path;
        return StatusFailed;
    }
    destroyChildren(module);
    // A missing course directory is a failed load, not an empty course.
    if (!QFileInfo(path).isDir()) {
        qWarning() << "Can not read module directory: " << path;
        return StatusFailed;
    }
    const QDir dir(path);
    const QStringList entries = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    QStringList kept;
    int expected = 0;
    for (const QString& name : entries) {
        const QRegularExpressionMatch match = FileNameRegExp.match(name);
        if (!match.hasMatch())
            continue;
        if (match.captured(1).toInt() != expected) {
            qWarning() << "Invalid module elements indexes at: " << path;
            return StatusFailed;
        }
        kept.append(name);
        ++expected;
    }

    QMap<LmsQuestionAssociation*, QString> associationPaths;
    for (const QString& name : kept) {
        if (!loadElement(dir.filePath(name), module, associationPaths)) {
            destroyChildren(module);
            qWarning() << "Error while populating of module: " << path;
            return StatusFailed;
        }
    }

    for (auto it = associationPaths.constBegin(); it != associationPaths.constEnd(); ++it) {
        auto* source = dynamic_cast<LmsQuestionActivity*>(module->getElement(it.value()));
        it.key()->setSource(source);
        if (!source) {
            const LmsQuestionActivity* owner = owningActivity(module, it.key());
            qWarning() << "association path names no question activity: " << it.value() << " in "
                       << (owner ? owner->getFsAbsolutePath() : path);
        }
    }
    return StatusOk;
}

LmsElement* LmsFilesystem::loadElement(const QString& path, LmsModuleElement* parent,
                                       QMap<LmsQuestionAssociation*, QString>& associationPaths)
{
    qDebug() << "loading " << path;
    if (!parent) {
        qWarning() << "Can not load element without a parent module: " << path;
        return nullptr;
    }
    const int level = parent->getDepth();
    const QDir dir(path);
    const QString metadataPath = dir.filePath(MetadataFileName);
    if (!QFileInfo::exists(metadataPath)) {
        qWarning() << "metadata not found in " << path;
        return nullptr;
    }
    const QScriptValue metadata = LmsMetadata::fromFile(metadataPath);
    if (metadata.isError()) {
        qWarning() << "metadata parsing error in " << path;
        return nullptr;
    }
    const QScriptValue properties = metadata.property(QStringLiteral("properties"));
    if (properties.isError()) {
        qWarning() << "metadata parsing error (properties) in " << path;
        return nullptr;
    }
    const QString name = properties.property(QStringLiteral("elementName")).toString();
    const QString type = properties.property(QStringLiteral("elementType")).toString();
    const QString fsName = QFileInfo(path).fileName();

    LmsElement* element = nullptr;
    if (type == QLatin1String("module")) {
        if (level != 1 && level != 2) {
            qWarning() << "unexpected module at level " << level;
            return nullptr;
        }
        auto* module = new LmsModuleElement(name, fsName, parent);
        module->setEnabledIconPath(dir.exists(EnabledIconFileName) ? EnabledIconFileName : QString());
        module->setDisabledIconPath(dir.exists(DisabledIconFileName) ? DisabledIconFileName : QString());
        if (loadModule(path, module) != StatusOk) {
            parent->getElementList().removeOne(module);
            delete module;
            return nullptr;
        }
        element = module;
    } else if (type == QLatin1String("learning_activity")) {
        QStringList entries = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Unsorted);
        entries.removeAll(MetadataFileName);
        entries.removeAll(EnabledIconFileName);
        entries.removeAll(DisabledIconFileName);
        auto* activity = new LmsLearningActivity(name, fsName, parent);
        activity->setHasData(!entries.isEmpty());
        element = activity;
    } else if (type == QLatin1String("exercise_activity") || type == QLatin1String("test_activity")) {
        const QString introText = properties.property(QStringLiteral("introText")).toString();
        const QString introGraphic = properties.property(QStringLiteral("introGraphic")).toString();
        LmsQuestionActivity* activity = type == QLatin1String("test_activity")
            ? static_cast<LmsQuestionActivity*>(new LmsTestActivity(name, fsName, parent))
            : static_cast<LmsQuestionActivity*>(new LmsExerciseActivity(name, fsName, parent));
        activity->setIntroText(introText);
        activity->setIntroGraphicPath(introGraphic);
        readTemplates(metadata.property(QStringLiteral("templates")), activity);
        readQuestions(metadata.property(QStringLiteral("questions")), activity);
        readAssociations(metadata.property(QStringLiteral("associations")), activity, associationPaths, metadataPath);
        element = activity;
    } else {
        qWarning() << "unknown element type at " << path;
        return nullptr;
    }
    return element;
}

LmsFilesystem::Status LmsFilesystem::saveModule(const QString& path, LmsModuleElement* module)
{
    if (!module || !validateModule(QFileInfo(path).isDir() ? path : QString(), module))
        return StatusFailed;
    return saveModuleContent(path, module);
}

LmsFilesystem::Status LmsFilesystem::saveElement(const QString& path, LmsElement* element)
{
    if (!element || !existingMetadataReadable(path) || (QFileInfo(path).isDir() && !metadataWritable(path)))
        return StatusFailed;
    auto* module = dynamic_cast<LmsModuleElement*>(element);
    if (module && !validateModule(path, module))
        return StatusFailed;
    return saveElementContent(path, element);
}

void LmsFilesystem::removeDirectory(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink()) {
        if (!QFile::remove(path))
            qWarning() << "Can not remove link " << path;
        return;
    }
    if (!info.isDir())
        return;
    QDir dir(path);
    const QFileInfoList entries = dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir() && !entry.isSymLink())
            removeDirectory(entry.filePath());
        else
            QFile::remove(entry.filePath());
    }
    if (!dir.rmdir(path))
        qWarning() << "Can not remove directory " << path;
}
