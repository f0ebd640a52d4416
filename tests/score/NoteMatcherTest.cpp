#include "score/RuvexGuidoGetNotes.h"
#include "notation/NotationEventMatcher.h"

#include "support/LogCapture.h"

#include <gtest/gtest.h>

// Pairing the reader's events with the engine's voice map: chords in the engine's own order, heads
// the engine leaves out, grace notes and music beyond the map.

namespace {

GmnEvent note(const char* name, int octave, int startNum, int startDenom, int endNum, int endDenom, int chord = -1)
{
    GmnEvent e;
    e.name = QString::fromLatin1(name);
    e.writtenName = e.name;
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
    e.time.start = NotationDate(startNum, startDenom);
    e.time.end = NotationDate(endNum, endDenom);
    e.rect = QRectF(x, y - h / 2, 5.1, h);
    return e;
}

QList<int> entriesOf(const NotationEventMatcher::Result& r)
{
    QList<int> out;
    for (const NotationEventMatcher::Source& s : r.records)
        out << s.entry;
    return out;
}

QList<int> eventsOf(const NotationEventMatcher::Result& r)
{
    QList<int> out;
    for (const NotationEventMatcher::Source& s : r.records)
        out << s.event;
    return out;
}

QList<int> pitchesFilled(const QList<GmnEvent>& events, const NotationMap& map)
{
    const NotationEventMatcher::Result r = NotationEventMatcher::match(events, map);
    QList<ScoreNoteInfo> notes;
    for (int i = 0; i < r.records.size(); ++i)
        notes << ScoreNoteInfo();
    RuvexGuidoGetNotes(events, notes, eventsOf(r));
    QList<int> out;
    for (const ScoreNoteInfo& n : notes)
        out << n.note;
    return out;
}

} // namespace

TEST(NoteMatcher, ChordNotesFindTheirHeadsInAnyOrder)
{
    // written {f1, a, c} d: c1 is the lowest head, a1 the highest
    const QList<GmnEvent> events = {note("f", 1, 0, 1, 1, 4, 0), note("a", 1, 0, 1, 1, 4, 0),
                                    note("c", 1, 0, 1, 1, 4, 0), note("d", 1, 1, 4, 1, 2)};
    const double f = 59.4, a = 55.2, c = 65.7;
    // the engine listed the chord as a, f, c; in another layout as c, a, f
    const NotationMap afc = {head(0, 1, 1, 4, 60, a), head(0, 1, 1, 4, 60, f), head(0, 1, 1, 4, 60, c),
                             head(1, 4, 1, 2, 80, 63.6)};
    NotationEventMatcher::Result r = NotationEventMatcher::match(events, afc);
    // the note list keeps the written order; each note takes its own head
    EXPECT_EQ(eventsOf(r), QList<int>({0, 1, 2, 3}));
    EXPECT_EQ(entriesOf(r), QList<int>({1, 0, 2, 3}));
    EXPECT_EQ(r.unplaced, 0);
    EXPECT_EQ(r.unfilled, 0);

    const NotationMap caf = {head(0, 1, 1, 4, 60, c), head(0, 1, 1, 4, 60, a), head(0, 1, 1, 4, 60, f),
                             head(1, 4, 1, 2, 80, 63.6)};
    r = NotationEventMatcher::match(events, caf);
    EXPECT_EQ(eventsOf(r), QList<int>({0, 1, 2, 3}));
    EXPECT_EQ(entriesOf(r), QList<int>({2, 1, 0, 3}));
    EXPECT_EQ(pitchesFilled(events, caf), QList<int>({5, 9, 0, 2}));

    // an accidental does not move a head: c#1 and d&1 sit a step apart
    EXPECT_EQ(NotationEventMatcher::staffStep(note("c", 1, 0, 1, 1, 4)) + 1,
              NotationEventMatcher::staffStep(note("d", 1, 0, 1, 1, 4)));
    EXPECT_EQ(NotationEventMatcher::staffStep(note("b", 0, 0, 1, 1, 4)) + 1,
              NotationEventMatcher::staffStep(note("c", 1, 0, 1, 1, 4)));
}

TEST(NoteMatcher, HeadsTheEngineLeftOutShiftNothingAfterThem)
{
    // {f1, g, a} then c1: the engine drew g beside the stem and listed only f and a
    const QList<GmnEvent> events = {note("f", 1, 0, 1, 1, 4, 0), note("g", 1, 0, 1, 1, 4, 0),
                                    note("a", 1, 0, 1, 1, 4, 0), note("c", 1, 1, 4, 1, 2)};
    const NotationMap map = {head(0, 1, 1, 4, 60, 55.2), head(0, 1, 1, 4, 60, 59.4), head(1, 4, 1, 2, 80, 65.7)};
    const NotationEventMatcher::Result r = NotationEventMatcher::match(events, map);
    EXPECT_EQ(eventsOf(r), QList<int>({0, 2, 3}));
    EXPECT_EQ(entriesOf(r), QList<int>({1, 0, 2}));
    EXPECT_EQ(r.unplaced, 1);
    EXPECT_EQ(r.unfilled, 0);
    LogCapture::instance().clear();
    EXPECT_EQ(pitchesFilled(events, map), QList<int>({5, 9, 0}));
    EXPECT_FALSE(LogCapture::instance().contains("exceeds offset list"));

    // four notes, three heads: the heads' spacing says which note is missing (b0 d1 f1 shown, g1 not)
    const QList<GmnEvent> seventh = {note("b", 0, 0, 1, 1, 4, 0), note("d", 1, 0, 1, 1, 4, 0),
                                     note("f", 1, 0, 1, 1, 4, 0), note("g", 1, 0, 1, 1, 4, 0)};
    const NotationMap three = {head(0, 1, 1, 4, 60, 63.2), head(0, 1, 1, 4, 60, 71.6), head(0, 1, 1, 4, 60, 67.4)};
    EXPECT_EQ(pitchesFilled(seventh, three), QList<int>({11, 2, 5}));
    const NotationEventMatcher::Result s = NotationEventMatcher::match(seventh, three);
    EXPECT_EQ(entriesOf(s), QList<int>({1, 2, 0}));
}

TEST(NoteMatcher, AKnownNoteNearbySaysWhichHeadsWereDrawn)
{
    // e1, then the second {c1, d1} of which the engine listed only d (stem down), then e1 on the
    // next system far below
    const QList<GmnEvent> events = {note("e", 1, 0, 1, 1, 4), note("c", 1, 1, 4, 1, 2, 0), note("d", 1, 1, 4, 1, 2, 0),
                                    note("e", 1, 1, 2, 3, 4)};
    const NotationMap map = {head(0, 1, 1, 4, 60, 61.5), head(1, 4, 1, 2, 80, 63.6), head(1, 2, 3, 4, 20, 161.5)};
    NotationEventMatcher::Result r = NotationEventMatcher::match(events, map);
    EXPECT_EQ(eventsOf(r), QList<int>({0, 2, 3}));
    EXPECT_EQ(r.unplaced, 1);
    EXPECT_EQ(pitchesFilled(events, map), QList<int>({4, 2, 4}));

    // with c drawn instead, c is taken
    NotationMap lower = map;
    lower[1] = head(1, 4, 1, 2, 80, 65.7);
    r = NotationEventMatcher::match(events, lower);
    EXPECT_EQ(eventsOf(r), QList<int>({0, 1, 3}));

    // a known note on another system says nothing: the chord's own heads decide (here the lowest)
    const QList<GmnEvent> far = {note("e", 1, 0, 1, 1, 4), note("c", 1, 1, 4, 1, 2, 0), note("d", 1, 1, 4, 1, 2, 0)};
    const NotationMap farMap = {head(0, 1, 1, 4, 60, 161.5), head(1, 4, 1, 2, 80, 63.6)};
    r = NotationEventMatcher::match(far, farMap);
    EXPECT_EQ(eventsOf(r), QList<int>({0, 1}));
}

TEST(NoteMatcher, GraceNotesAndMusicBeyondTheMap)
{
    // a reader that lets the grace note take time cuts g at the bar line: one event more than the map
    GmnEvent grace = note("c", 1, 0, 1, 1, 16);
    grace.rangeTags << "grace";
    GmnEvent gTail = note("g", 1, 1, 1, 17, 16);
    gTail.split = true;
    const QList<GmnEvent> events = {grace,
                                    note("d", 1, 1, 16, 5, 16),
                                    note("e", 1, 5, 16, 9, 16),
                                    note("f", 1, 9, 16, 13, 16),
                                    note("g", 1, 13, 16, 1, 1),
                                    gTail};
    const NotationMap map = {head(0, 1, 1, 16, 65, 65.7, 3.2), head(0, 1, 1, 4, 73, 63.6), head(1, 4, 1, 2, 93, 61.5),
                             head(1, 2, 3, 4, 113, 59.4), head(3, 4, 1, 1, 133, 57.3)};
    NotationEventMatcher::Result r = NotationEventMatcher::match(events, map);
    EXPECT_EQ(eventsOf(r), QList<int>({0, 1, 2, 3, 4}));
    EXPECT_EQ(entriesOf(r), QList<int>({0, 1, 2, 3, 4}));
    EXPECT_EQ(r.unplaced, 1);
    LogCapture::instance().clear();
    EXPECT_EQ(pitchesFilled(events, map), QList<int>({0, 2, 4, 5, 7}));
    EXPECT_FALSE(LogCapture::instance().contains("exceeds offset list"));

    // the map holds page 1 only: the rest of the voice is left out, the rest placed as before
    GmnEvent rest = note("", 0, 1, 4, 1, 2);
    rest.kind = GmnEvent::Rest;
    const QList<GmnEvent> long_ = {note("c", 1, 0, 1, 1, 4), rest, note("e", 1, 1, 2, 3, 4), note("f", 1, 3, 4, 1, 1)};
    const NotationMap page1 = {head(0, 1, 1, 4, 60, 65.7), head(1, 4, 1, 2, 80, 60.0)};
    r = NotationEventMatcher::match(long_, page1);
    EXPECT_EQ(eventsOf(r), QList<int>({0, 1}));
    EXPECT_EQ(r.unplaced, 2);
    EXPECT_EQ(pitchesFilled(long_, page1), QList<int>({0, 12}));

    // and a map entry that no event fills keeps a record of its own, with nothing in it
    const NotationMap extra = {head(0, 1, 1, 4, 60, 65.7), head(1, 4, 1, 2, 80, 60.0), head(1, 2, 3, 4, 90, 61.5),
                               head(3, 4, 1, 1, 100, 59.4), head(1, 1, 5, 4, 110, 57.3)};
    r = NotationEventMatcher::match(long_, extra);
    EXPECT_EQ(eventsOf(r), QList<int>({0, 1, 2, 3, -1}));
    EXPECT_EQ(r.unfilled, 1);
}
