#pragma once

#include "notation/NotationDate.h"

// A stretch of musical time, start included, end excluded, in whole notes.
struct NotationTimeSegment {
    NotationDate start;
    NotationDate end;

    bool operator==(const NotationTimeSegment& o) const { return start == o.start && end == o.end; }
    bool operator!=(const NotationTimeSegment& o) const { return !(*this == o); }
};
