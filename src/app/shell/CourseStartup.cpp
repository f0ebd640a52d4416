#include "app/shell/CourseStartup.h"

#include "debug/Debugging.h"
#include "framework/ElementState.h"
#include "lms/LmsCourse.h"

LmsCourse* initializeLms(const QString& coursePath)
{
    auto* course = new LmsCourse(QStringLiteral("Course"));
    // Also a resource path such as ":/qml/content" is loaded as a plain path: the prefix is the path.
    const int rc = course->load(coursePath, false);
    if (rc != 0) {
        LOG_ERROR("zq-main", "failed to load LMS (%d)\n", rc);
        delete course;
        return nullptr;
    }
    initializeLmsElementState(course);
    return course;
}

void initializeLmsElementState(LmsElement* element)
{
    new ElementState(element);
    if (element->getElementType() != LmsElement::ElementTypeModule)
        return;
    for (LmsElement* child : static_cast<LmsModuleElement*>(element)->getElementList())
        initializeLmsElementState(child);
}
