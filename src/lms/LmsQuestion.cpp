#include "lms/LmsQuestion.h"

#include "lms/LmsMetadata.h"
#include "lms/LmsQuestionActivity.h"
#include "lms/LmsQuestionFilter.h"

LmsQuestion::LmsQuestion(LmsQuestionActivity* activity) : QObject(nullptr), mp_activity(activity)
{
}

void LmsQuestion::setUid(int uid)
{
    if (uid == m_uid)
        return;
    m_uid = uid;
    emit changed();
}

void LmsQuestion::setType(const QString& type)
{
    if (type == m_type)
        return;
    m_type = type;
    emit typeChanged();
    emit changed();
}

void LmsQuestion::setDifficulty(int difficulty)
{
    if (difficulty == m_difficulty)
        return;
    m_difficulty = difficulty;
    emit changed();
}

void LmsQuestion::setActivity(LmsQuestionActivity* activity)
{
    // Cleared before asking, so the container's own detaching call finds nothing to do.
    LmsQuestionActivity* previous = mp_activity;
    mp_activity = nullptr;
    if (previous)
        previous->takeQuestion(this);
    mp_activity = activity;
}

bool LmsQuestion::hasTagList(bool inherited) const
{
    return inherited ? hasDefaultTagList() : m_hasOwnTags;
}

QStringList LmsQuestion::getTagList(bool inherited) const
{
    if (m_hasOwnTags)
        return m_tags;
    if (inherited && mp_activity)
        return mp_activity->getDefaultTagList(m_type);
    return QStringList();
}

bool LmsQuestion::hasDefaultTagList() const
{
    return mp_activity && mp_activity->hasDefaultTagList(m_type);
}

QStringList LmsQuestion::getDefaultTagList() const
{
    return mp_activity ? mp_activity->getDefaultTagList(m_type) : QStringList();
}

void LmsQuestion::setTagList(const QStringList& tags)
{
    if (tags == m_tags)
        return;
    m_tags = tags;
    m_hasOwnTags = true;
    emit changed();
}

void LmsQuestion::setTagList(const QString& tags)
{
    QStringList list;
    const QStringList parts = tags.split(QLatin1Char(','), Qt::KeepEmptyParts);
    for (const QString& part : parts)
        list.append(part.trimmed());
    setTagList(list);
}

void LmsQuestion::unsetTagList()
{
    m_tags.clear();
    m_hasOwnTags = false;
}

void LmsQuestion::setAttribute(const QString& key, const QVariant& value)
{
    m_attributes.insert(key, value);
    emit changed();
}

void LmsQuestion::clearAttributes()
{
    m_attributes.clear();
    emit changed();
}

QVariant LmsQuestion::getAttribute(const QString& key, bool resolve) const
{
    if (!mp_activity || m_attributes.contains(key))
        return m_attributes.value(key);
    if (!resolve)
        return QVariant();
    if (m_uid >= 0 && mp_activity->hasDefaultValue(m_type, key))
        return mp_activity->getDefaultValue(m_type, key);
    if (LmsMetadata::hasDefaultValue(m_type, key))
        return LmsMetadata::getDefaultValue(m_type, key);
    return QVariant();
}

bool LmsQuestion::hasAttributeDefault(const QString& key) const
{
    if (mp_activity && m_uid >= 0 && mp_activity->hasDefaultValue(m_type, key))
        return true;
    return LmsMetadata::hasDefaultValue(m_type, key);
}

QVariant LmsQuestion::getAttributeDefault(const QString& key) const
{
    if (mp_activity && m_uid >= 0 && mp_activity->hasDefaultValue(m_type, key))
        return mp_activity->getDefaultValue(m_type, key);
    if (LmsMetadata::hasDefaultValue(m_type, key))
        return LmsMetadata::getDefaultValue(m_type, key);
    return QVariant();
}

QVariantMap LmsQuestion::getResolvedAttributeMap() const
{
    QVariantMap resolved;
    const QMap<QString, QVariant> declared = LmsMetadata::getDefaultAttributeMap(m_type);
    for (auto it = declared.constBegin(); it != declared.constEnd(); ++it) {
        QVariant value = getAttribute(it.key(), true);
        const QString attributeType = LmsMetadata::getAttributeType(m_type, it.key());
        if (attributeType == QLatin1String("Integer"))
            value = QVariant(value.toInt());
        else if (attributeType == QLatin1String("Boolean"))
            value = QVariant(value.toBool());
        resolved.insert(it.key(), value);
    }
    return resolved;
}

bool LmsQuestion::matchFilter(const LmsQuestionFilter* filter) const
{
    if (!filter)
        return false;
    if (filter->getUid() >= 0)
        return m_uid == filter->getUid();
    if (!filter->getType().isEmpty() && filter->getType() != m_type)
        return false;
    if (filter->getDifficulty() >= 1 && filter->getDifficulty() != m_difficulty)
        return false;
    QStringList ownTags;
    for (const QString& tag : m_tags)
        ownTags.append(tag.trimmed());
    for (const QString& tag : filter->getTagList()) {
        if (!ownTags.contains(tag.trimmed()))
            return false;
    }
    return true;
}

void LmsQuestion::assign(const LmsQuestion* other)
{
    if (!other || other == this)
        return;
    m_type = other->m_type;
    m_uid = other->m_uid;
    m_hasOwnTags = other->m_hasOwnTags;
    m_tags = other->m_tags;
    m_difficulty = other->m_difficulty;
    m_attributes = other->m_attributes;
}

LmsQuestion& LmsQuestion::operator=(const LmsQuestion& other)
{
    assign(&other);
    return *this;
}

LmsQuestion* LmsQuestion::getCopy() const
{
    auto* copy = new LmsQuestion(nullptr);
    copy->assign(this);
    return copy;
}
