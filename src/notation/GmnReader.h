#pragma once

#include "notation/GmnEvent.h"

#include <QList>
#include <QString>

// Reads the first voice of a GMN code into events timed as the engine times them, for what the
// engine build does not expose (note names, octaves, accidentals, ties). It knows the notation the
// course's questions use; tags it does not know are skipped with their parameters.
class GmnReader {
public:
    struct Result {
        bool ok = false;
        QString error;         // why reading failed
        int errorOffset = -1;  // character offset of the failure
        QList<GmnEvent> events;
        NotationDate duration;  // end of the last event
    };

    static Result read(const QString& code);

    // The events that the engine's voice map lists, in its order (empty events have no entry).
    static QList<GmnEvent> mappedEvents(const QList<GmnEvent>& events);
};
