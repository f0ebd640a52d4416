#pragma once

#include "lms/LmsActivityElement.h"

// A learning page; its data are the other entries of its directory.
class LmsLearningActivity : public LmsActivityElement {
public:
    enum ImportMethod { ImportMethodNone = 0 };

    LmsLearningActivity(const QString& name, const QString& fsName, LmsModuleElement* parent);

    int getActivityType() const override { return ActivityTypeLearning; }

    bool hasData() const { return m_hasData; }
    void setHasData(bool hasData);
    const QString& getDataPath() const { return m_dataPath; }
    void setDataPath(const QString& path);
    ImportMethod getImportMethod() const { return m_importMethod; }
    void setImportMethod(ImportMethod method);

private:
    bool m_hasData = false;
    QString m_dataPath;
    ImportMethod m_importMethod = ImportMethodNone;
};
