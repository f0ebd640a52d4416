#include "app/shell/TemporaryFiles.h"

#include "debug/Debugging.h"

#include <QDir>
#include <QFileInfo>

#include <unistd.h>

namespace {
const char* kChannel = "zq-main";
}

int TemporaryFiles::cleanup(const QString& dir)
{
    QDir tempDir(dir);
    const QFileInfoList candidates =
        tempDir.entryInfoList(QStringList() << QString::fromLatin1(pattern()),
                              QDir::Files | QDir::NoSymLinks | QDir::CaseSensitive, QDir::NoSort);
    QStringList names;
    const uint uid = ::getuid();
    for (const QFileInfo& info : candidates) {
        if (info.ownerId() == uid)
            names.append(info.fileName());
    }

    LOG_INFO(kChannel, "removing %d temporary files...", static_cast<int>(names.size()));
    for (const QString& name : names) {
        if (!tempDir.remove(name))
            LOG_WARN(kChannel, "failed to remove %s", qPrintable(name));
    }
    return names.size();
}
