#include "audio/formats/AudioFormats.h"

#include "audio/AudioBuffer.h"
#include "audio/formats/OggReader.h"
#include "debug/Debugging.h"

#include <QFile>
#include <QUrl>

static const char* const kChannel = "audio-fmt";

int AudioFormats::read(AudioBuffer** buffer, const QString& path, Type type, double offset, double duration)
{
    LOG_ENTRY(kChannel);
    if (buffer)
        *buffer = nullptr;
    QString local = QUrl(path).toLocalFile();
    if (local.isEmpty())
        local = path;
    if (local.startsWith(QLatin1String("qrc:/")))
        local = QLatin1String(":/") + local.mid(5);

    if (path.isEmpty() || !QFile::exists(local)) {
        LOG_WARN(kChannel, "%s is missing", qPrintable(path));
        return StatusMissing;
    }
    bool ogg = type == TypeOgg;
    if (type == TypeByName && local.endsWith(QLatin1String(".ogg"), Qt::CaseInsensitive)) {
        LOG_DEBUG(kChannel, "%s detected as an OGG file", qPrintable(local));
        ogg = true;
    }
    if (!ogg) {
        LOG_WARN(kChannel, "%s is unsupported", qPrintable(local));
        return StatusUnsupported;
    }
    if (!buffer) {
        LOG_ERROR(kChannel, "no destination for %s", qPrintable(local));
        return StatusOpenFailed;
    }

    const int status = readOggFile(local, buffer);
    if (status == StatusSuccess && *buffer && (offset != 0.0 || duration != 0.0))
        (*buffer)->shrink(offset, duration);
    return status;
}
