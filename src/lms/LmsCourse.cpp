#include "lms/LmsCourse.h"

#include "lms/LmsFilesystem.h"

#include <QDebug>
#include <QStringList>

LmsCourse::LmsCourse(const QString& name) : LmsModuleElement(name, QString(), nullptr)
{
}

void LmsCourse::setModified(bool modified)
{
    const bool wasModified = isModified();
    LmsModuleElement::setModified(modified);
    if (wasModified != isModified())
        emit this->modified();
}

QString LmsCourse::getFsPath(bool relative) const
{
    return relative ? QString() : getPathPrefix();
}

const QString& LmsCourse::getPathPrefix() const
{
    static const QString resourceRoot = QStringLiteral(":/");
    return m_fromResource ? resourceRoot : m_path;
}

int LmsCourse::load(const QString& path, bool fromResource)
{
    int status = StatusAlreadyLoaded;
    if (path != m_path) {
        m_path = path;
        m_fromResource = fromResource;
        status = LmsFilesystem::loadModule(path, this) == LmsFilesystem::StatusOk ? StatusOk : StatusFailed;
        m_loadFailed = status != StatusOk;
        emit changed();
    }
    setModified(false);
    return status;
}

int LmsCourse::save()
{
    if (m_loadFailed || m_path.isEmpty() || m_fromResource) {
        qWarning() << "LmsCourse::save: refused, no course directory was loaded from" << m_path;
        return StatusFailed;
    }
    if (LmsFilesystem::saveModule(m_path, this) != LmsFilesystem::StatusOk)
        return StatusFailed;
    setModified(false);
    return StatusOk;
}

LmsElement* LmsCourse::findElementByNormalizedPath(const QString& path)
{
    const QStringList parts = path.split(QLatin1Char('/'), Qt::KeepEmptyParts);
    LmsElement* current = this;
    for (const QString& part : parts) {
        // A stale path may continue below an activity: that is a missing element.
        auto* module = qobject_cast<LmsModuleElement*>(current);
        if (!module)
            return nullptr;
        LmsElement* next = nullptr;
        for (LmsElement* child : module->getElementList()) {
            if (child && child->getNormalizedElementName() == part) {
                next = child;
                break;
            }
        }
        if (!next)
            return nullptr;
        current = next;
    }
    return current;
}
