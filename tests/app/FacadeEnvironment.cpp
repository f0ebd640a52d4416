#include "FacadeEnvironment.h"

#include "framework/SqlPeek.h"

#include "framework/ElementState.h"
#include "framework/FrameworkManager.h"
#include "framework/FrameworkModel.h"
#include "lms/Lms.h"
#include "lms/LmsCourse.h"

#include <QDir>
#include <QTemporaryDir>

using edufrmwk::FrameworkManager;

LmsCourse* startFramework(const QString& coursePath)
{
    static QTemporaryDir dataHome;  // lives as long as the process, like the framework
    qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
    FrameworkManager* manager = FrameworkManager::getInstance();
    if (manager->initialize(QStringLiteral("Brisola"), QStringLiteral("1.1.525")) != 0)
        return nullptr;
    Lms::loadPlugins(QDir(coursePath).filePath(QStringLiteral("lms")));
    auto* course = new LmsCourse(QStringLiteral("Course"));
    if (course->load(coursePath, false) != 0)
        return nullptr;
    QList<LmsElement*> elements;
    course->findElementsByType(elements);
    new ElementState(course);
    for (LmsElement* element : qAsConst(elements))
        new ElementState(element);
    manager->loadCourse(course);
    if (manager->login(QStringLiteral("user"), QStringLiteral("quillfen"), nullptr) != 0)
        return nullptr;
    return course;
}

void restartProgress()
{
    FrameworkManager* manager = FrameworkManager::getInstance();
    manager->logout();
    for (const char* table : {"element_state", "answers", "marks", "ratings"})
        sqlRun(manager->m_dbPath, QStringLiteral("DELETE FROM %1").arg(QLatin1String(table)));
    manager->login(QStringLiteral("user"), QStringLiteral("quillfen"), nullptr);
}
