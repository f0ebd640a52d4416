#include "lms/LmsModuleElement.h"

#include <QDebug>
#include <QStringList>
#include <QtGlobal>

LmsModuleElement::LmsModuleElement(const QString& name, const QString& fsName, LmsModuleElement* parent)
    : LmsElement(name, fsName, parent)
{
}

LmsModuleElement::~LmsModuleElement()
{
    const QList<LmsElement*> children = m_elements;
    m_elements.clear();
    for (LmsElement* child : children)
        delete child;
}

void LmsModuleElement::setModified(bool modified)
{
    const bool wasModified = isModified();
    LmsElement::setModified(modified);
    if (wasModified && !modified) {
        const QList<LmsElement*> children = m_elements;
        for (LmsElement* child : children) {
            if (child)
                child->setModified(false);
        }
    }
}

void LmsModuleElement::setEnabledIconPath(const QString& path)
{
    if (path == m_enabledIconPath)
        return;
    m_enabledIconPath = path;
    emit changed();
}

void LmsModuleElement::setDisabledIconPath(const QString& path)
{
    if (path == m_disabledIconPath)
        return;
    m_disabledIconPath = path;
    emit changed();
}

int LmsModuleElement::getDepth() const
{
    int depth = 1;
    for (const LmsModuleElement* m = getParentModule(); m; m = m->getParentModule())
        ++depth;
    return depth;
}

void LmsModuleElement::moveElement(int from, int to)
{
    if (from < 0 || from >= m_elements.size() || to < 0) {
        qWarning() << "LmsModuleElement::moveElement: index out of range" << from << to;
        return;
    }
    LmsElement* element = m_elements.takeAt(from);
    const int target = qMin(to > from ? to - 1 : to, m_elements.size());
    m_elements.insert(target, element);
    emit changed();
    // the order is saved as the directory prefixes, so a reorder is an unsaved change
    setModified(true);
}

void LmsModuleElement::removeElement(int index)
{
    if (index < 0 || index >= m_elements.size()) {
        qWarning() << "LmsModuleElement::removeElement: index out of range" << index;
        return;
    }
    delete m_elements.takeAt(index);
    emit changed();
    setModified(true);
}

void LmsModuleElement::emitElementChanged(LmsElement* element)
{
    emit elementChanged(m_elements.indexOf(element));
}

LmsElement* LmsModuleElement::getElement(const QString& path) const
{
    if (path.isEmpty())
        return nullptr;
    QStringList parts = path.split(QLatin1Char('/'), Qt::KeepEmptyParts);
    const QString first = parts.takeFirst().trimmed();
    LmsElement* found = nullptr;
    for (LmsElement* child : m_elements) {
        if (child && child->getName() == first) {
            found = child;
            break;
        }
    }
    if (!found || parts.isEmpty())
        return found;
    auto* module = qobject_cast<LmsModuleElement*>(found);
    return module ? module->getElement(parts.join(QLatin1Char('/'))) : nullptr;
}

QString LmsModuleElement::getElementRelativePath(LmsElement* element) const
{
    return element ? element->getRelativePath(this) : QString();
}
