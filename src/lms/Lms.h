#pragma once

#include <QString>
#include <QStringList>

class LmsAttributeTypePlugin;

// Static entry points of the course model for the rest of the program.
class Lms {
public:
    Lms() = delete;

    static void loadPlugins(const QString& path);
    static QStringList getTypeList();
    static bool hasAttributeTypePlugin(const QString& name);
    static LmsAttributeTypePlugin* getAttributeTypePlugin(const QString& name);
};
