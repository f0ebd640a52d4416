#include "notation/NotationEventMatcher.h"
#include "score/RuvexGuidoGetNotes.h"

#include "support/LogCapture.h"

#include <gtest/gtest.h>

// Pairing the reader's events with the engine's voice map: chords in the engine's own order, heads
// the engine leaves out, grace notes and music beyond the map.

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
GmnEvent chordNote(const char* name, int octave, int endNum = 1, int endDenom = 4)
{
    return note(name, octave, 0, 1, endNum, endDenom, 0);
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
    QList<int> events, entries, pitches;
    int unplaced, unfilled;
};
// The match, and the pitches the note list takes from it (with no "exceeds offset list" line).
Matched match(const QList<GmnEvent>& events, const NotationMap& map)
{
    const NotationEventMatcher::Result r = NotationEventMatcher::match(events, map);
    Matched m{{}, {}, {}, r.unplaced, r.unfilled};
    for (const NotationEventMatcher::Source& s : r.records)
        m.events << s.event, m.entries << s.entry;
    QList<ScoreNoteInfo> notes;
    for (int i = 0; i < r.records.size(); ++i)
        notes << ScoreNoteInfo();
    LogCapture::instance().clear();
    RuvexGuidoGetNotes(events, notes, m.events);
    EXPECT_FALSE(LogCapture::instance().contains("exceeds offset list"));
    for (const ScoreNoteInfo& n : notes)
        m.pitches << n.note;
    return m;
}

}  // namespace

TEST(NoteMatcher, ChordNotesFindTheirHeadsInAnyOrder)
{
    // written {f1, a, c} d: c1 is the lowest head, a1 the highest; the note list keeps the written order
    const QList<GmnEvent> events = {chordNote("f", 1), chordNote("a", 1), chordNote("c", 1), note("d", 1, 1, 4, 1, 2)};
    const double f = 59.4, a = 55.2, c = 65.7;
    Matched m = match(events, {head(0, 1, 1, 4, 60, a), head(0, 1, 1, 4, 60, f), head(0, 1, 1, 4, 60, c), head(1, 4, 1, 2, 80, 63.6)});
    EXPECT_EQ(m.events, QList<int>({0, 1, 2, 3}));
    EXPECT_EQ(m.entries, QList<int>({1, 0, 2, 3}));
    EXPECT_EQ(m.unplaced + m.unfilled, 0);
    m = match(events, {head(0, 1, 1, 4, 60, c), head(0, 1, 1, 4, 60, a), head(0, 1, 1, 4, 60, f), head(1, 4, 1, 2, 80, 63.6)});
    EXPECT_EQ(m.entries, QList<int>({2, 1, 0, 3}));
    EXPECT_EQ(m.pitches, QList<int>({5, 9, 0, 2}));
    // an accidental does not move a head: c#1 and d&1 sit a step apart
    EXPECT_EQ(NotationEventMatcher::staffStep(chordNote("c", 1)) + 1, NotationEventMatcher::staffStep(chordNote("d", 1)));
    EXPECT_EQ(NotationEventMatcher::staffStep(chordNote("b", 0)) + 1, NotationEventMatcher::staffStep(chordNote("c", 1)));
}

TEST(NoteMatcher, HeadsTheEngineLeftOutShiftNothingAfterThem)
{
    // {f1, g, a} then c1: the engine drew g beside the stem and listed only f and a
    Matched m = match({chordNote("f", 1), chordNote("g", 1), chordNote("a", 1), note("c", 1, 1, 4, 1, 2)},
                      {head(0, 1, 1, 4, 60, 55.2), head(0, 1, 1, 4, 60, 59.4), head(1, 4, 1, 2, 80, 65.7)});
    EXPECT_EQ(m.events, QList<int>({0, 2, 3}));
    EXPECT_EQ(m.entries, QList<int>({1, 0, 2}));
    EXPECT_EQ(std::make_pair(m.unplaced, m.unfilled), std::make_pair(1, 0));
    EXPECT_EQ(m.pitches, QList<int>({5, 9, 0}));
    // four notes, three heads: the heads' spacing says which note is missing (b0 d1 f1 shown, g1 not)
    m = match({chordNote("b", 0), chordNote("d", 1), chordNote("f", 1), chordNote("g", 1)},
              {head(0, 1, 1, 4, 60, 63.2), head(0, 1, 1, 4, 60, 71.6), head(0, 1, 1, 4, 60, 67.4)});
    EXPECT_EQ(m.pitches, QList<int>({11, 2, 5}));
    EXPECT_EQ(m.entries, QList<int>({1, 2, 0}));

    // e1, then {c1, d1} of which only d was listed (stem down), then e1 on the next system far below:
    // a known note nearby says which heads were drawn
    const QList<GmnEvent> events = {note("e", 1, 0, 1, 1, 4), note("c", 1, 1, 4, 1, 2, 0), note("d", 1, 1, 4, 1, 2, 0),
                                    note("e", 1, 1, 2, 3, 4)};
    NotationMap map = {head(0, 1, 1, 4, 60, 61.5), head(1, 4, 1, 2, 80, 63.6), head(1, 2, 3, 4, 20, 161.5)};
    m = match(events, map);
    EXPECT_EQ(m.events, QList<int>({0, 2, 3}));
    EXPECT_EQ(m.pitches, QList<int>({4, 2, 4}));
    map[1] = head(1, 4, 1, 2, 80, 65.7);  // with c drawn instead, c is taken
    EXPECT_EQ(match(events, map).events, QList<int>({0, 1, 3}));
    // a known note on another system says nothing: the chord's own heads decide (here the lowest)
    EXPECT_EQ(match(events.mid(0, 3), {head(0, 1, 1, 4, 60, 161.5), head(1, 4, 1, 2, 80, 63.6)}).events, QList<int>({0, 1}));
}

TEST(NoteMatcher, GraceNotesAndMusicBeyondTheMap)
{
    // a reader that lets the grace note take time cuts g at the bar line: one event more than the map
    GmnEvent grace = note("c", 1, 0, 1, 1, 16);
    grace.rangeTags << "grace";
    GmnEvent gTail = note("g", 1, 1, 1, 17, 16);
    gTail.split = true;
    Matched m = match({grace, note("d", 1, 1, 16, 5, 16), note("e", 1, 5, 16, 9, 16), note("f", 1, 9, 16, 13, 16),
                       note("g", 1, 13, 16, 1, 1), gTail},
                      {head(0, 1, 1, 16, 65, 65.7, 3.2), head(0, 1, 1, 4, 73, 63.6), head(1, 4, 1, 2, 93, 61.5),
                       head(1, 2, 3, 4, 113, 59.4), head(3, 4, 1, 1, 133, 57.3)});
    EXPECT_EQ(m.entries, QList<int>({0, 1, 2, 3, 4}));
    EXPECT_EQ(m.unplaced, 1);
    EXPECT_EQ(m.pitches, QList<int>({0, 2, 4, 5, 7}));

    // the map holds page 1 only: the rest of the voice is left out, the rest placed as before
    GmnEvent rest = note("", 0, 1, 4, 1, 2);
    rest.kind = GmnEvent::Rest;
    const QList<GmnEvent> events = {note("c", 1, 0, 1, 1, 4), rest, note("e", 1, 1, 2, 3, 4), note("f", 1, 3, 4, 1, 1)};
    m = match(events, {head(0, 1, 1, 4, 60, 65.7), head(1, 4, 1, 2, 80, 60.0)});
    EXPECT_EQ(m.events, QList<int>({0, 1}));
    EXPECT_EQ(m.unplaced, 2);
    EXPECT_EQ(m.pitches, QList<int>({0, 12}));
    // a map entry that no event fills keeps a record of its own, with nothing in it
    m = match(events, {head(0, 1, 1, 4, 60, 65.7), head(1, 4, 1, 2, 80, 60.0), head(1, 2, 3, 4, 90, 61.5),
                       head(3, 4, 1, 1, 100, 59.4), head(1, 1, 5, 4, 110, 57.3)});
    EXPECT_EQ(m.events, QList<int>({0, 1, 2, 3, -1}));
    EXPECT_EQ(m.unfilled, 1);
}
