#pragma once

#include <QMap>
#include <QString>

class LmsElement;
class LmsModuleElement;
class LmsQuestionAssociation;

// Reads a course directory tree into elements and writes it back in the same layout:
// numbered element directories ("00_name"), each with its "_metadata.json".
class LmsFilesystem {
public:
    enum Status { StatusOk = 0, StatusFailed = 1 };

    LmsFilesystem() = delete;

    // All or nothing: on failure the module is left without children.
    static Status loadModule(const QString& path, LmsModuleElement* module);
    static LmsElement* loadElement(const QString& path, LmsModuleElement* parent,
                                   QMap<LmsQuestionAssociation*, QString>& associationPaths);

    // Checks the whole subtree before touching the disk, then renumbers, renames and writes.
    static Status saveModule(const QString& path, LmsModuleElement* module);
    static Status saveElement(const QString& path, LmsElement* element);
    // Never follows a symbolic link: a link is removed itself.
    static void removeDirectory(const QString& path);
};
