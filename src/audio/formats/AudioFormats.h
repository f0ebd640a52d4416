#pragma once

#include <QString>

class AudioBuffer;

// Picks a reader for a sound file and decodes it into a new buffer.
class AudioFormats {
public:
    enum Type {
        TypeByName = 0,  // decide from the file name
        TypeOgg = 2,
    };

    enum Status {
        StatusSuccess = 0,
        StatusMissing = 1,      // missing file or empty path
        StatusOpenFailed = 2,
        StatusNotOgg = 3,       // not an Ogg bitstream, or corrupt
        StatusUnsupported = 4,  // unsupported type or suffix
    };

    // On success *buffer holds a new buffer the caller owns, cut to [offset, offset + duration)
    // when either is non-zero; on failure *buffer is null. Accepts "file:" and "qrc:/" URLs.
    static int read(AudioBuffer** buffer, const QString& path, Type type, double offset, double duration);
};
