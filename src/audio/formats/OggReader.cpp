#include "audio/formats/OggReader.h"

#include "audio/AudioBuffer.h"
#include "audio/formats/AudioFormats.h"
#include "debug/Debugging.h"

#include <QFile>

#include <vorbis/vorbisfile.h>

static const char* const kChannel = "audio-fmt-ogg";
static const int kMaxErrorsInARow = 64;

namespace {

size_t qfileReadCallback(void* ptr, size_t size, size_t nmemb, void* source)
{
    auto* file = static_cast<QFile*>(source);
    const qint64 n = file->read(static_cast<char*>(ptr), qint64(size * nmemb));
    return n > 0 ? size_t(n) : 0;
}

int qfileSeekCallback(void* source, ogg_int64_t offset, int whence)
{
    auto* file = static_cast<QFile*>(source);
    if (whence == SEEK_CUR)
        file->seek(file->pos() + offset);
    else if (whence == SEEK_END)
        file->seek(file->size() + offset);
    else
        file->seek(offset);
    return 0;
}

int qfileCloseCallback(void* source)
{
    delete static_cast<QFile*>(source);
    return 0;
}

long qfileTellCallback(void* source)
{
    return long(static_cast<QFile*>(source)->pos());
}

int loadOggFile(const QString& path, AudioBuffer* buffer)
{
    LOG_ENTRY(kChannel);
    auto* file = new QFile(path);
    if (!file->open(QIODevice::ReadOnly)) {
        LOG_WARN(kChannel, "could not open %s", qPrintable(path));
        delete file;
        return AudioFormats::StatusOpenFailed;
    }

    const ov_callbacks callbacks = {qfileReadCallback, qfileSeekCallback, qfileCloseCallback, qfileTellCallback};
    OggVorbis_File vf;
    if (ov_open_callbacks(file, &vf, nullptr, 0, callbacks) < 0) {
        LOG_WARN(kChannel, "file does not appear to be an Ogg bitstream (file=%s)", qPrintable(path));
        // A source it failed to open stays ours.
        delete file;
        return AudioFormats::StatusNotOgg;
    }

    LOG_DEBUG(kChannel, "parsing file %s", qPrintable(path));
    if (const vorbis_info* info = ov_info(&vf, -1))
        LOG_DEBUG(kChannel, "\tbitstream is %d channel, %ldHz", info->channels, info->rate);
    LOG_DEBUG(kChannel, "\tdecoded length: %ld samples", long(ov_pcm_total(&vf, -1)));
    if (const vorbis_comment* comment = ov_comment(&vf, -1))
        LOG_DEBUG(kChannel, "\tencoded by: %s", comment->vendor ? comment->vendor : "");

    int status = AudioFormats::StatusSuccess;
    char block[4096];
    int section = 0;
    int errorsInARow = 0;
    for (;;) {
        const long n = ov_read(&vf, block, sizeof block, 0, 2, 1, &section);
        if (n == 0)
            break;
        if (n > 0) {
            errorsInARow = 0;
            buffer->addSamples(reinterpret_cast<const short*>(block), int(n / 2), 0.0, 1.0);
            continue;
        }
        if (n == OV_EBADLINK) {
            LOG_WARN(kChannel, "file appears to be corrupt (file=%s)", qPrintable(path));
            status = AudioFormats::StatusNotOgg;
        }
        LOG_WARN(kChannel, "reading error (file=%s, rc=%ld)", qPrintable(path), n);
        // A stream that only returns errors would otherwise keep us here for ever.
        if (++errorsInARow >= kMaxErrorsInARow)
            break;
    }
    // A stream cut after its headers or inside its first audio page opens and ends at once.
    if (status == AudioFormats::StatusSuccess && buffer->getSampleCount() == 0) {
        LOG_WARN(kChannel, "file appears to be corrupt (file=%s)", qPrintable(path));
        status = AudioFormats::StatusNotOgg;
    }
    ov_clear(&vf);  // closes the file through the close callback
    return status;
}

}  // namespace

int readOggFile(const QString& path, AudioBuffer** buffer)
{
    LOG_ENTRY(kChannel);
    auto* decoded = new AudioBuffer(2, 0, 44100);
    const int status = loadOggFile(path, decoded);
    if (status != AudioFormats::StatusSuccess) {
        delete decoded;
        decoded = nullptr;
    }
    if (buffer)
        *buffer = decoded;
    else
        delete decoded;
    return status;
}
