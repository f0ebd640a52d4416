#pragma once

#include "lms/LmsCourse.h"
#include "lms/LmsLearningActivity.h"
#include "lms/LmsMetadata.h"
#include "lms/LmsQuestion.h"
#include "lms/LmsQuestionActivity.h"
#include "lms/LmsQuestionAssociation.h"
#include "lms/LmsQuestionFilter.h"

#include <QScriptEngine>
#include <QStringList>

namespace lmstest {

inline QString typeWord(const LmsElement* e)
{
    if (dynamic_cast<const LmsModuleElement*>(e))
        return QStringLiteral("module");
    const auto* activity = dynamic_cast<const LmsActivityElement*>(e);
    switch (activity ? activity->getActivityType() : -1) {
    case 1: return QStringLiteral("learning");
    case 2: return QStringLiteral("exercise");
    case 3: return QStringLiteral("test");
    default: return QStringLiteral("other");
    }
}

// One line per element: type, display name, relative path, normalised path, display path.
inline QStringList describeTree(LmsCourse& course)
{
    QList<LmsElement*> all;
    course.findElementsByType(all);
    QStringList lines;
    for (const LmsElement* e : all)
        lines << QStringList({typeWord(e), e->getName(), e->getFsRelativePath(), e->getNormalizedElementPath(),
                              e->getPath()}).join(QLatin1Char('|'));
    return lines;
}

inline QString variantText(const QVariant& value)
{
    QScriptEngine* engine = LmsMetadata::engine();
    return LmsMetadata::toString(engine->toScriptValue(value)).simplified();
}

inline QString describeQuestion(const LmsQuestion* q)
{
    return QStringLiteral("%1 uid=%2 d=%3 own=%4 tags=[%5] attrs=%6")
        .arg(q->getType())
        .arg(q->getUid())
        .arg(q->getDifficulty())
        .arg(q->hasTagList(false))
        .arg(q->getTagList(false).join(QLatin1Char('/')))
        .arg(variantText(QVariant(QVariantMap(q->getAttributeMap()))));
}

// Everything a save and a reload must keep, element by element.
inline QStringList describeContent(LmsCourse& course)
{
    QStringList lines = describeTree(course);
    QList<LmsElement*> all;
    course.findElementsByType(all);
    for (const LmsElement* e : all) {
        const QString at = e->getNormalizedElementPath() + QStringLiteral(": ");
        if (const auto* m = dynamic_cast<const LmsModuleElement*>(e))
            lines << at + QStringLiteral("icons ") + m->getEnabledIconPath() + QLatin1Char(',') + m->getDisabledIconPath();
        if (const auto* l = dynamic_cast<const LmsLearningActivity*>(e))
            lines << at + QStringLiteral("data ") + QString::number(l->hasData());
        const auto* a = dynamic_cast<const LmsQuestionActivity*>(e);
        if (!a)
            continue;
        lines << at + QStringLiteral("intro ") + a->getIntroText() + QLatin1Char('|') + a->getIntroGraphicPath();
        for (const LmsQuestion* t : a->getTemplateMap().getQuestions())
            lines << at + QStringLiteral("template ") + describeQuestion(t);
        for (const LmsQuestion* q : a->getQuestionList().getQuestions())
            lines << at + QStringLiteral("question ") + describeQuestion(q);
        for (const LmsQuestionAssociation* s : a->getAssociationList().getAssociations()) {
            const LmsQuestionFilter* f = s->getFilter();
            lines << at + QStringLiteral("association %1 uid=%2 type=%3 tags=[%4] d=%5 n=%6")
                              .arg(s->getSource() ? s->getSource()->getNormalizedElementPath() : QStringLiteral("-"))
                              .arg(f->getUid())
                              .arg(f->getType())
                              .arg(f->getTagList().join(QLatin1Char('/')))
                              .arg(f->getDifficulty())
                              .arg(f->getCount());
        }
    }
    return lines;
}

}  // namespace lmstest
