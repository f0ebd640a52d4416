#pragma once

#include <QString>

class AudioBuffer;

// Decodes an Ogg Vorbis file (also from the compiled resources) into a new stereo 44100 Hz buffer.
// Returns an AudioFormats status; on failure *buffer is null.
int readOggFile(const QString& path, AudioBuffer** buffer);
