#include "app/shell/ResourcePaths.h"

#include "debug/Debugging.h"

#include <QDir>
#include <QResource>

namespace {
const char* kChannel = "zq-main";
}

ResourcePaths ResourcePaths::locate(const QString& exeDir, const QString& contentDir,
                                    const QString& builtResourceFile, const QStringList& arguments)
{
    ResourcePaths p;
    p.resourcePath = exeDir + QDir::separator() + "../Resources/";
    p.qmlPath = QStringLiteral(":/qml");
    p.qmlPluginPath = exeDir + "/plugins";
    p.fontsPath = QStringLiteral(":/fonts");
    p.coursePath = QStringLiteral(":/qml/content");
    p.coursePluginPath = QStringLiteral(":/qml/content/lms");

    if (QDir(p.resourcePath).exists()) {
        p.binResourcePath = p.resourcePath + "/" + "course.dat";
        p.scorePath = p.resourcePath + "/" + "score";
    } else {
        LOG_WARN(kChannel, "not running in an installed bundled; using default resource paths.");
        p.resourcePath = contentDir + "/install";
        if (!arguments.contains(QStringLiteral("--use-bin-resources"))) {
            p.coursePath = contentDir + "/qml/content";
            p.qmlPath = contentDir + "/qml";
            p.qmlPluginPath = contentDir + "/qml/plugins";
            p.fontsPath = contentDir + "/fonts";
        } else {
            p.binResourcePath = builtResourceFile;
        }
        p.coursePluginPath = contentDir + "/qml/content/lms";
    }

    if (!p.binResourcePath.isEmpty()) {
        LOG_INFO(kChannel, "binary data file: %s", qPrintable(p.binResourcePath));
        const QString binResourcePath = p.binResourcePath;
        BRISOLA_ASSERT_MSG(QResource::registerResource(binResourcePath), "unable to load binary resources");
    }

    LOG_INFO(kChannel, "resource path: %s", qPrintable(p.resourcePath));
    LOG_INFO(kChannel, "qml path: %s", qPrintable(p.qmlPath));
    LOG_INFO(kChannel, "fonts path: %s", qPrintable(p.fontsPath));
    LOG_INFO(kChannel, "course path: %s", qPrintable(p.coursePath));
    LOG_INFO(kChannel, "course content type: %s", p.binResourcePath.isEmpty() ? "raw" : "binary");
    LOG_INFO(kChannel, "course plugin path: %s", qPrintable(p.coursePluginPath));

    const struct {
        const QString& path;
        const char* message;
    } required[] = {
        {p.resourcePath, "resource path does not exist."},
        {p.qmlPath, "qml path does not exist."},
        {p.fontsPath, "fonts path does not exist."},
        {p.coursePath, "course path does not exist."},
        {p.coursePluginPath, "course plugin path does not exist."},
    };
    for (const auto& r : required) {
        if (!QDir(r.path).exists())
            Debugging::doAssert("0", __FILE__, __LINE__, r.message);
    }

    p.soundFontPath = p.resourcePath + QDir::separator() + "VessaGM6mb.sf2";
    return p;
}
