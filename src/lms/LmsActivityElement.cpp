#include "lms/LmsActivityElement.h"

LmsActivityElement::LmsActivityElement(const QString& name, const QString& fsName, LmsModuleElement* parent)
    : LmsElement(name, fsName, parent)
{
}
