#include "app/shell/FontLoader.h"

#include "debug/Debugging.h"

#include <QDir>
#include <QFontDatabase>

namespace {
const char* kChannel = "zq-main";
}

int FontLoader::load(const QString& fontsPath)
{
    QDir fontsDir(fontsPath);
    BRISOLA_ASSERT_MSG(fontsDir.exists(), "fonts dir does not exist");

    int loaded = 0;
    const QStringList entries =
        fontsDir.entryList(QStringList() << "*.ttf" << "*.otf", QDir::Files, QDir::NoSort);
    for (const QString& entry : entries) {
        const QString path = fontsDir.filePath(entry);
        if (QFontDatabase::addApplicationFont(path) < 0) {
            LOG_ERROR(kChannel, "failed to load font: %s", qPrintable(path));
        } else {
            LOG_DEBUG(kChannel, "loaded font: %s", qPrintable(path));
            ++loaded;
        }
    }
    return loaded;
}
