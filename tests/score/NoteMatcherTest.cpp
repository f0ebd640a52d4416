#include "notation/NotationEventMatcher.h"

#include <gtest/gtest.h>

// Pairing the reader's events with the engine's voice map where the real engine's output cannot be
// arranged: partly drawn chords beside known notes, music beyond the map.

namespace {

GmnEvent note(const char* name, int octave, int startNum, int startDenom, int endNum, int endDenom, int chord = -1)
{
    GmnEvent e;
    e.name = e.writtenName = QString::fromLatin1(name);
    e.octave = octave;
    e.start = NotationDate(startNum, startDenom);
    e.end = NotationDate(endNum, endDenom);
    e.chord = chord;
    return e;
}

// A head of the voice map; y is its vertical centre (a staff step is 2.1 below or above).
NotationMapEntry head(int startNum, int startDenom, int endNum, int endDenom, double x, double y, double h = 4.2)
{
    NotationMapEntry e;
    e.time = {NotationDate(startNum, startDenom), NotationDate(endNum, endDenom)};
    e.rect = QRectF(x, y - h / 2, 5.1, h);
    return e;
}

struct Matched {
    QList<int> events, entries;
    int unplaced, unfilled;
};
Matched match(const QList<GmnEvent>& events, const NotationMap& map)
{
    const NotationEventMatcher::Result r = NotationEventMatcher::match(events, map);
    Matched m{{}, {}, r.unplaced, r.unfilled};
    for (const NotationEventMatcher::Source& s : r.records)
        m.events << s.event, m.entries << s.entry;
    return m;
}

}  // namespace

// (chords in the engine's own order and heads drawn beside the stem are rows of the score's note
// list table, through the real engine)

TEST(NoteMatcher, AKnownNoteOnTheSystemSaysWhichChordHeadsWereDrawn)
{
    // e1, then {c1, d1} of which only d was listed (stem down), then e1 on the next system far below
    const QList<GmnEvent> events = {note("e", 1, 0, 1, 1, 4), note("c", 1, 1, 4, 1, 2, 0), note("d", 1, 1, 4, 1, 2, 0),
                                    note("e", 1, 1, 2, 3, 4)};
    NotationMap map = {head(0, 1, 1, 4, 60, 61.5), head(1, 4, 1, 2, 80, 63.6), head(1, 2, 3, 4, 20, 161.5)};
    Matched m = match(events, map);
    EXPECT_EQ(m.events, QList<int>({0, 2, 3}));
    map[1] = head(1, 4, 1, 2, 80, 65.7);  // with c drawn instead, c is taken
    EXPECT_EQ(match(events, map).events, QList<int>({0, 1, 3}));
    // a known note on another system says nothing: the chord's own heads decide (here the lowest)
    EXPECT_EQ(match(events.mid(0, 3), {head(0, 1, 1, 4, 60, 161.5), head(1, 4, 1, 2, 80, 63.6)}).events, QList<int>({0, 1}));
}

TEST(NoteMatcher, MusicBeyondTheMapAndEntriesNoEventFills)
{
    // the map holds page 1 only: the rest of the voice is left out, the rest placed as before
    GmnEvent rest = note("", 0, 1, 4, 1, 2);
    rest.kind = GmnEvent::Rest;
    const QList<GmnEvent> events = {note("c", 1, 0, 1, 1, 4), rest, note("e", 1, 1, 2, 3, 4), note("f", 1, 3, 4, 1, 1)};
    Matched m = match(events, {head(0, 1, 1, 4, 60, 65.7), head(1, 4, 1, 2, 80, 60.0)});
    EXPECT_EQ(m.events, QList<int>({0, 1}));
    EXPECT_EQ(m.unplaced, 2);
    // a map entry that no event fills keeps a record of its own, with nothing in it
    m = match(events, {head(0, 1, 1, 4, 60, 65.7), head(1, 4, 1, 2, 80, 60.0), head(1, 2, 3, 4, 90, 61.5),
                       head(3, 4, 1, 1, 100, 59.4), head(1, 1, 5, 4, 110, 57.3)});
    EXPECT_EQ(m.events, QList<int>({0, 1, 2, 3, -1}));
    EXPECT_EQ(m.unfilled, 1);
}
