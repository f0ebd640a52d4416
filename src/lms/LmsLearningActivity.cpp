#include "lms/LmsLearningActivity.h"

LmsLearningActivity::LmsLearningActivity(const QString& name, const QString& fsName, LmsModuleElement* parent)
    : LmsActivityElement(name, fsName, parent)
{
}

void LmsLearningActivity::setHasData(bool hasData)
{
    if (hasData == m_hasData)
        return;
    m_hasData = hasData;
    emitChanged();
}

void LmsLearningActivity::setDataPath(const QString& path)
{
    if (path == m_dataPath)
        return;
    m_dataPath = path;
    emitChanged();
}

void LmsLearningActivity::setImportMethod(ImportMethod method)
{
    if (method == m_importMethod)
        return;
    m_importMethod = method;
    emitChanged();
}
