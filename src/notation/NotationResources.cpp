#include "notation/NotationResources.h"

#include "debug/Debugging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>

namespace {
const char* kChannel = "notation";

bool isAssetsDirectory(const QString& dir)
{
    return QFile::exists(dir + "/engine/" + NotationResources::hostScriptName());
}
}

QString NotationResources::scoreAssetsDirectory()
{
    const QString installed =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../Resources/score");
    if (isAssetsDirectory(installed))
        return installed;
#ifdef BRISOLA_NOTATION_DEV_DIR
    if (isAssetsDirectory(QStringLiteral(BRISOLA_NOTATION_DEV_DIR)))
        return QStringLiteral(BRISOLA_NOTATION_DEV_DIR);
#endif
    return QString();
}

QString NotationResources::engineDirectory()
{
    const QString assets = scoreAssetsDirectory();
    return assets.isEmpty() ? QString() : assets + "/engine";
}

QString NotationResources::fontFile()
{
    const QString assets = scoreAssetsDirectory();
    return assets.isEmpty() ? QString() : assets + "/fonts/guido2.ttf";
}

bool NotationResources::registerFont()
{
    static int fontId = -1;
    static bool failed = false;  // reported once, not on every score
    if (fontId != -1)
        return true;
    if (failed)
        return false;
    failed = true;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        LOG_ERROR(kChannel, "the notation font needs a GUI application");
        return false;
    }
    const QString path = fontFile();
    if (path.isEmpty() || !QFile::exists(path)) {
        LOG_ERROR(kChannel, "notation font not found (%s)", qPrintable(path));
        return false;
    }
    fontId = QFontDatabase::addApplicationFont(path);
    if (fontId == -1) {
        LOG_ERROR(kChannel, "could not register the notation font %s", qPrintable(path));
        return false;
    }
    failed = false;
    return true;
}
