#include "lms/Lms.h"

#include "lms/LmsPlugins.h"

void Lms::loadPlugins(const QString& path)
{
    LmsPlugins::load(path);
}

QStringList Lms::getTypeList()
{
    return LmsPlugins::getTypeList();
}

bool Lms::hasAttributeTypePlugin(const QString& name)
{
    return LmsPlugins::hasAttributeTypePlugin(name);
}

LmsAttributeTypePlugin* Lms::getAttributeTypePlugin(const QString& name)
{
    return LmsPlugins::getAttributeTypePlugin(name);
}
