#include "lms/LmsElement.h"

#include "lms/LmsCourse.h"
#include "lms/LmsModuleElement.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

const QString CommonPrefix = QStringLiteral("common:");

const QRegularExpression& leadingIndexPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9]*_"));
    return pattern;
}

}  // namespace

LmsElement::LmsElement(const QString& name, const QString& fsName, LmsModuleElement* parent)
    : QObject(nullptr), m_name(name), m_fsName(fsName), mp_parent(parent)
{
    if (!parent)
        return;
    parent->getElementList().append(this);
    emit parent->changed();
    if (LmsModuleElement* grandParent = parent->getParentModule())
        grandParent->emitElementChanged(parent);
    parent->setModified(true);
}

LmsElement::~LmsElement()
{
    delete mp_state;
}

bool LmsElement::hasDependencies() const
{
    return false;
}

void LmsElement::setModified(bool modified)
{
    if (m_modified == modified)
        return;
    m_modified = modified;
    if (modified && mp_parent)
        mp_parent->setModified(true);
}

QString LmsElement::getFsPath(bool relative) const
{
    QString path = mp_parent ? mp_parent->getFsPath(relative) : QString();
    if (!path.isEmpty())
        path += QDir::separator();
    path += m_fsName;
    return path;
}

void LmsElement::setName(const QString& name)
{
    const QString trimmed = name.trimmed();
    if (trimmed == m_name)
        return;
    m_name = trimmed;
    emitChanged();
}

QString LmsElement::getNormalizedElementName() const
{
    QString name = m_fsName;
    const QRegularExpressionMatch match = leadingIndexPattern().match(name);
    if (match.hasMatch())
        name.remove(0, match.capturedLength());
    return name;
}

QString LmsElement::getNormalizedElementPath() const
{
    static const QRegularExpression backslashPrefix(QStringLiteral("\\\\[0-9]*_"));
    static const QRegularExpression slashPrefix(QStringLiteral("/[0-9]*_"));
    QString path = getFsPath(true);
    path.replace(leadingIndexPattern(), QString());
    // A backslash is an ordinary name character where the separator is "/".
    if (QDir::separator() == QLatin1Char('\\'))
        path.replace(backslashPrefix, QStringLiteral("/"));
    path.replace(slashPrefix, QStringLiteral("/"));
    return path;
}

LmsCourse* LmsElement::getCourse() const
{
    const LmsModuleElement* top = mp_parent;
    if (!top)
        return nullptr;
    while (top->getParentModule())
        top = top->getParentModule();
    return const_cast<LmsCourse*>(qobject_cast<const LmsCourse*>(top));
}

QString LmsElement::getCoursePath() const
{
    const LmsCourse* course = getCourse();
    return course ? course->getFsPath(false) : QString();
}

QString LmsElement::commonDirectory() const
{
    const QString coursePath = qobject_cast<const LmsCourse*>(this)
        ? getFsPath(false) : getCoursePath();
    if (coursePath.isEmpty())
        return QString();
    return QDir(coursePath).filePath(QStringLiteral("common"));
}

QString LmsElement::getRelativeFilePath(const QString& path) const
{
    if (path.startsWith(CommonPrefix))
        return path;
    const QString common = commonDirectory();
    // Without an existing common directory nothing can be below it; the prefix test is
    // made on whole components so "common" is no prefix of "commonstuff".
    const QString commonCanonical = common.isEmpty() ? QString() : QDir(common).canonicalPath();
    const QString fileCanonical = QFileInfo(path).canonicalFilePath();
    if (!commonCanonical.isEmpty() && !fileCanonical.isEmpty()
        && fileCanonical.startsWith(commonCanonical + QLatin1Char('/')))
        return CommonPrefix + QDir(commonCanonical).relativeFilePath(fileCanonical);
    if (m_fsName.isEmpty())
        return path;
    return QDir(getFsPath(false)).relativeFilePath(path);
}

QString LmsElement::getAbsoluteFilePath(const QString& path) const
{
    if (path.startsWith(CommonPrefix))
        return QDir(commonDirectory()).absoluteFilePath(path.mid(CommonPrefix.size()));
    return QDir(getFsPath(false)).absoluteFilePath(path);
}

QString LmsElement::getRelativePath(const LmsModuleElement* stop) const
{
    if (!mp_parent || mp_parent == stop || qobject_cast<const LmsCourse*>(mp_parent))
        return m_name;
    return QStringLiteral("%1 / %2").arg(mp_parent->getRelativePath(stop), m_name);
}

void LmsElement::emitChanged()
{
    emit changed();
    if (mp_parent)
        mp_parent->emitElementChanged(this);
    setModified(true);
}
