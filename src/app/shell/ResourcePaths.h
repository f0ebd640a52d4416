#pragma once

#include <QString>
#include <QStringList>

// Where the program finds what it loads: the installed layout (a "Resources" folder beside the
// executable's folder, content in its "course.dat"), or the development tree (plain folders under
// content/, or with "--use-bin-resources" the built "course.dat").
struct ResourcePaths {
    QString resourcePath;
    QString qmlPath;
    QString qmlPluginPath;
    QString fontsPath;
    QString coursePath;
    QString coursePluginPath;
    QString soundFontPath;
    QString scorePath;        // empty in the development tree: the score layer's own assets
    QString binResourcePath;  // the registered resource file; empty when none

    // Fills the paths, registers the resource file, logs them and asserts that the content folders
    // exist. contentDir is the development tree's content/ folder, builtResourceFile the course.dat
    // that "--use-bin-resources" registers.
    static ResourcePaths locate(const QString& exeDir, const QString& contentDir, const QString& builtResourceFile,
                                const QStringList& arguments);
};
