#pragma once

#include "notation/GmnEvent.h"
#include "notation/NotationMapEntry.h"

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
