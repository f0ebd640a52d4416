#pragma once

#include "notation/GmnEvent.h"
#include "notation/MidiExportParameters.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Writes events as a format 0 Standard MIDI File: a tempo event, one note-on/note-off pair per
// sounding note (tied notes merged within their voice), note-offs before note-ons at equal times.
// Events of several voices go into the one track on the one channel.
class MidiFileWriter {
public:
    // Empty (logged) when a time step is too long for the file format.
    static QByteArray toBytes(const QList<GmnEvent>& events, const MidiExportParameters& params);
    // Writes the bytes to the file; false (with the reason, also logged) when it cannot, and then no
    // partial file is left behind.
    static bool write(const QString& fileName, const QList<GmnEvent>& events, const MidiExportParameters& params,
                      QString* error = nullptr);
    // Reads every voice of the code and writes them; false when the code cannot be read.
    static bool writeCode(const QString& fileName, const QString& gmnCode, const MidiExportParameters& params,
                          QString* error = nullptr);
};
