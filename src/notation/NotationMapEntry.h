#pragma once

#include "notation/NotationTimeSegment.h"

#include <QList>
#include <QRectF>

// One entry of a voice or staff map: a time segment and its rectangle in the coordinates of the
// page size the map was asked for.
struct NotationMapEntry {
    NotationTimeSegment time;
    QRectF rect;
};

using NotationMap = QList<NotationMapEntry>;
