#pragma once

#include "notation/GmnEvent.h"
#include "notation/NotationMapEntry.h"

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
    // Every voice of the code, voice by voice (each event says its voice); duration is the end of
    // the longest voice.
    static Result readVoices(const QString& code);
    // The events as written: no note is cut at bar lines or into drawable values.
    static Result readWritten(const QString& code);

    // Cuts written events exactly as the engine's voice map shows them (for values whose cutting
    // the reader does not know). False when the map does not fit the written events; then out is
    // left empty. A map that ends early (page 1 only) keeps the rest of cut as they are.
    static bool cutLikeMap(const QList<GmnEvent>& written, const NotationMap& map, const QList<GmnEvent>& cut,
                           QList<GmnEvent>& out);

    // Grace notes share their time with the next event, and where a system begins the engine may
    // list such events in another order. Puts each run of events of one start time that holds a grace
    // note in the map's order. False (out empty) when the times still differ from the map's.
    static bool orderLikeMap(const QList<GmnEvent>& events, const NotationMap& map, QList<GmnEvent>& out);

    // The events that the engine's voice map lists, in its order (empty events have no entry).
    static QList<GmnEvent> mappedEvents(const QList<GmnEvent>& events);
};
