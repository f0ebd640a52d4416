#pragma once

#include "notation/GmnEvent.h"
#include "notation/GmnReader.h"
#include "notation/NotationMapEntry.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <string>

// Times of events or map entries as "start-end" fractions, for comparing whole voices at once.
inline std::string times(const QList<GmnEvent>& events)
{
    QStringList parts;
    for (const GmnEvent& e : events)
        parts << e.start.toString() + "-" + e.end.toString();
    return parts.join(' ').toStdString();
}

inline std::string times(const NotationMap& map)
{
    QStringList parts;
    for (const NotationMapEntry& e : map)
        parts << e.time.start.toString() + "-" + e.time.end.toString();
    return parts.join(' ').toStdString();
}

inline GmnReader::Result readOk(const QString& code, bool allVoices = false)
{
    const GmnReader::Result r = allVoices ? GmnReader::readVoices(code) : GmnReader::read(code);
    EXPECT_TRUE(r.ok) << qPrintable(code) << ": " << qPrintable(r.error);
    return r;
}

// A voice map entry as the engine would list it, for feeding the reader's map alignment.
inline NotationMapEntry mapEntry(NotationDate start, NotationDate end)
{
    NotationMapEntry e;
    e.time.start = start;
    e.time.end = end;
    return e;
}
