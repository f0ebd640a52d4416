#include "app/facades/QmlFacadeCourseItem.h"

#include "app/facades/QmlFacadeCourse.h"
#include "app/facades/QmlFacadeQuestionContext.h"
#include "app/facades/QmlGlobals.h"
#include "debug/Debugging.h"
#include "framework/FrameworkModel.h"
#include "lms/LmsActivityElement.h"
#include "lms/LmsCourse.h"
#include "lms/LmsQuestionActivity.h"

#include <QDir>
#include <QUrl>

using edufrmwk::FrameworkModel;

namespace {

const char* const Channel = "qml-course";

QByteArray nameText(const LmsElement* element)
{
    return element ? element->getName().toUtf8() : QByteArray("(null)");
}

}  // namespace

QmlFacadeCourseItem::QmlFacadeCourseItem(LmsElement* element, QmlFacadeCourseItem* parent)
    : QObject(parent)
    , mp_parentItem(parent)
    , mp_element(element)
    , m_type(typeOf(element))
    , mp_questionContext(nullptr)
{
    if (parent)
        parent->m_childItems.append(this);
    mp_questionContext = new QmlFacadeQuestionContext(this);
    m_fsPath = pagePath(element, m_type);
}

QmlFacadeCourseItem::~QmlFacadeCourseItem()
{
    LOG_TRACE(Channel, "destroying %s", m_fsPath.toUtf8().constData());
    if (mp_parentItem)
        mp_parentItem->removeChild(this);
    const QList<QmlFacadeCourseItem*> children = m_childItems;
    m_childItems.clear();
    for (QmlFacadeCourseItem* child : children) {
        child->mp_parentItem = nullptr;  // already detached from this list
        delete child;
    }
    BRISOLA_ASSERT_MSG(0, "course item being destroyed unexpectedly");
}

QmlFacadeCourseItem::Type QmlFacadeCourseItem::typeOf(LmsElement* element)
{
    if (element && element->getElementType() == LmsElement::ElementTypeModule)
        return Module;
    auto* activity = dynamic_cast<LmsActivityElement*>(element);
    if (!activity) {
        BRISOLA_ASSERT_MSG(activity, "unexpected element type (not module or activity)");
        return UnknownType;
    }
    if (activity->getName() == QLatin1String("#practice#"))
        return Practice;
    if (activity->getName() == QLatin1String("#endofcourse#"))
        return EndOfCourse;
    switch (activity->getActivityType()) {
    case LmsActivityElement::ActivityTypeLearning:
        return Learning;
    case LmsActivityElement::ActivityTypeExercise:
        return Exercise;
    case LmsActivityElement::ActivityTypeTest:
        return Test;
    default:
        LOG_FATAL(Channel, "unexpected element type (%d)", activity->getActivityType());
        BRISOLA_ASSERT_MSG(0, "unexpected element type");
        return UnknownType;
    }
}

QString QmlFacadeCourseItem::pagePath(LmsElement* element, Type type)
{
    if (!element)
        return QString();
    // A detached element (the practice activity) has no course: its page lies in the loaded one.
    const LmsCourse* course = element->getCourse();
    if (!course)
        course = FrameworkModel::getInstance()->getCourse();
    const QString prefix = course ? course->getPathPrefix() : QString();
    const QString separator = QDir::separator();
    QString path = prefix + separator + element->getFsRelativePath() + separator;
    if (type != Module)
        path += QStringLiteral("page.qml");
    if (!path.startsWith(QLatin1Char(':')))
        return QUrl::fromLocalFile(path).toString();
    return path.replace(QLatin1Char('\\'), QLatin1Char('/'));
}

QString QmlFacadeCourseItem::name() const
{
    return mp_element ? mp_element->getName() : QString();
}

QQmlListProperty<QmlFacadeCourseItem> QmlFacadeCourseItem::children()
{
    return QQmlListProperty<QmlFacadeCourseItem>(this, &m_childItems);
}

QmlFacadeCourseItem::State QmlFacadeCourseItem::state() const
{
    if (!mp_element)
        return Invalid;
    return static_cast<State>(FrameworkModel::getInstance()->getElementState(mp_element));
}

void QmlFacadeCourseItem::setState(State state)
{
    LOG_ENTRY(Channel);
    if (!mp_element)
        return;
    FrameworkModel::getInstance()->setElementState(mp_element, static_cast<ElementState::state_e>(state));
    emit stateChanged();
    QmlFacadeCourse::instance()->updateState();
    // the change may wait to be saved
    QmlGlobals::getInstance()->checkUnsaved();
}

bool QmlFacadeCourseItem::isCurrent() const
{
    const LmsElement* walk = FrameworkModel::getInstance()->getCurrentActivity();
    while (walk) {
        if (walk == mp_element)
            return true;
        walk = walk->getParentModule();
    }
    return false;
}

QmlFacadeCourseItem* QmlFacadeCourseItem::child(int row) const
{
    if (row >= m_childItems.length()) {
        BRISOLA_ASSERT(m_childItems.length() > row);
        return nullptr;
    }
    QmlFacadeCourseItem* item = row >= 0 ? m_childItems.at(row) : nullptr;
    BRISOLA_ASSERT(item);
    if (!item)
        return nullptr;
    BRISOLA_ASSERT(item->fsPath().length());
    return item;
}

int QmlFacadeCourseItem::row() const
{
    return mp_parentItem ? mp_parentItem->m_childItems.indexOf(const_cast<QmlFacadeCourseItem*>(this)) : 0;
}

void QmlFacadeCourseItem::appendChild(QmlFacadeCourseItem* item)
{
    BRISOLA_ASSERT(item);
    if (item)
        m_childItems.append(item);
}

void QmlFacadeCourseItem::removeChild(QmlFacadeCourseItem* item)
{
    LOG_ERROR(Channel, "%s removing %s", nameText(mp_element).constData(),
              nameText(item ? item->element() : nullptr).constData());
    m_childItems.removeAll(item);
}
