#include "lms/LmsQuestionFilter.h"

void LmsQuestionFilter::setTagList(const QString& tags)
{
    m_tags.clear();
    const QString trimmed = tags.trimmed();
    if (trimmed.isEmpty())
        return;
    const QStringList parts = trimmed.split(QLatin1Char(','), Qt::KeepEmptyParts);
    for (const QString& part : parts)
        m_tags.append(part.trimmed());
}

void LmsQuestionFilter::assign(const LmsQuestionFilter* other)
{
    if (!other || other == this)
        return;
    m_uid = other->m_uid;
    m_type = other->m_type;
    m_tags = other->m_tags;
    m_difficulty = other->m_difficulty;
    m_count = other->m_count;
}

LmsQuestionFilter* LmsQuestionFilter::getCopy() const
{
    auto* copy = new LmsQuestionFilter();
    copy->assign(this);
    return copy;
}
