#include "EventTimes.h"
#include "notation/GmnReader.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <limits>

namespace {

GmnReader::Result readOk(const QString& code)
{
    const GmnReader::Result r = GmnReader::read(code);
    EXPECT_TRUE(r.ok) << qPrintable(code) << ": " << qPrintable(r.error);
    return r;
}

TEST(NotationDateTest, FractionsAreExactAndReduced)
{
    EXPECT_EQ(NotationDate(2, 8), NotationDate(1, 4));
    EXPECT_EQ(NotationDate(1, -4), NotationDate(-1, 4));
    EXPECT_EQ(NotationDate(1, 4) + NotationDate(1, 12), NotationDate(1, 3));
    EXPECT_EQ(NotationDate::fromString("3/12"), NotationDate(1, 4));
    EXPECT_FALSE(NotationDate::fromString("x").isValid());
    EXPECT_FALSE(NotationDate(1, 0).isValid());
    EXPECT_LT(NotationDate(1, 3), NotationDate(1, 2));
    EXPECT_DOUBLE_EQ(NotationDate(3, 8).toDouble(), 0.375);
    // Results that do not fit are invalid, never wrapped around.
    const long long big = std::numeric_limits<long long>::max();
    EXPECT_FALSE((NotationDate(big, 1) + NotationDate(1, 1)).isValid());
    EXPECT_FALSE((NotationDate(1, big) + NotationDate(1, big - 1)).isValid());
    EXPECT_TRUE((NotationDate(big, 2) * NotationDate(2, big)).isValid());
    EXPECT_LT(NotationDate(big - 1, big), NotationDate(1, 1));
}

TEST(GmnReaderTest, NamesAccidentalsAndOctaves)
{
    const auto r = readOk("[ c d# e& fis h1 a#-1 b&&2 cis0 do re& sol# ti gis ais dis c## ]");
    QStringList got;
    for (const GmnEvent& e : r.events)
        got << QString("%1%2:%3:%4").arg(e.name).arg(e.accidentals).arg(e.octave).arg(e.midiPitch());
    EXPECT_EQ(got.join(' ').toStdString(),
              "c0:1:60 d1:1:63 e-1:1:63 f1:1:66 b0:1:71 a1:-1:46 b-2:2:81 c1:0:49 c0:0:48 d-1:0:49 "
              "g1:0:56 b0:0:59 g1:0:56 a1:0:58 d1:0:51 c2:0:50");
    EXPECT_EQ(r.events[1].pitchClass(), 3);
    EXPECT_EQ(r.events[6].pitchClass(), 9);  // b double flat
    EXPECT_EQ(r.events[15].pitchClass(), 2); // c double sharp
    EXPECT_EQ(r.events[0].writtenName.toStdString(), "c");
    EXPECT_EQ(r.events[3].writtenName.toStdString(), "fis");
}

TEST(GmnReaderTest, NamesWrittenTogetherAreReadLongestFirst)
{
    const auto r = readOk("[ sib/8 fae cis#d2 emptyc (* x (* y *) z *) lab ]");
    QStringList got;
    for (const GmnEvent& e : r.events)
        got << e.writtenName + QString::number(e.accidentals) + QString::number(e.octave);
    EXPECT_EQ(got.join(' ').toStdString(), "si01 b01 fa01 e01 cis21 d02 empty01 c02 la02 b02");
    EXPECT_EQ(r.events[6].kind, GmnEvent::Empty);
    EXPECT_EQ(r.duration, NotationDate(11, 8));  // si keeps the quarter; /8 belongs to b
    const auto bad = GmnReader::read("[ c dx ]");
    EXPECT_FALSE(bad.ok);
    EXPECT_EQ(bad.errorOffset, 5);
    EXPECT_TRUE(bad.error.contains("'x'"));
}

TEST(GmnReaderTest, DurationsDotsAndInheritance)
{
    // Duration, dots and octave carry over to the next event until given again.
    const auto r = readOk("[ c2/8 d e1/4. f g/8 a.. b*3/8 c*2 _/16 e/12 f g ]");
    EXPECT_EQ(times(r.events), "0/1-1/8 1/8-1/4 1/4-5/8 5/8-1/1 1/1-9/8 9/8-43/32 43/32-55/32 55/32-119/32 "
                               "119/32-121/32 121/32-371/96 371/96-379/96 379/96-129/32");
    EXPECT_EQ(r.events[1].octave, 2);
    EXPECT_EQ(r.events[3].octave, 1);
    EXPECT_EQ(r.events[3].dots, 1);
    EXPECT_EQ(r.events[4].dots, 0);
    EXPECT_EQ(r.events[8].kind, GmnEvent::Rest);
    EXPECT_EQ(r.duration, NotationDate(129, 32));
}

TEST(GmnReaderTest, ChordsRestsAndEmptyEvents)
{
    const auto r = readOk("[ {c/4, e/2, g} d empty/4 _ {a , c2} ]");
    EXPECT_EQ(times(r.events), "0/1-1/4 0/1-1/2 0/1-1/2 1/2-1/1 1/1-5/4 5/4-3/2 3/2-7/4 3/2-7/4");
    EXPECT_EQ(r.events[0].chord, r.events[2].chord);
    EXPECT_NE(r.events[0].chord, -1);
    EXPECT_EQ(r.events[3].chord, -1);
    EXPECT_EQ(r.events[4].kind, GmnEvent::Empty);
    EXPECT_EQ(r.events[5].kind, GmnEvent::Rest);
    EXPECT_EQ(r.events[5].midiPitch(), -1);
    EXPECT_NE(r.events[6].chord, r.events[0].chord);
    // The voice map has no entry for empty events.
    EXPECT_EQ(GmnReader::mappedEvents(r.events).size(), r.events.size() - 1);
}

TEST(GmnReaderTest, TiesByRangeAndByBeginEnd)
{
    const auto r = readOk("[ \\tie(c/2 c c) d \\tieBegin:1 e e \\tieEnd:1 f \\tie(g a) ]");
    QStringList got;
    for (const GmnEvent& e : r.events)
        got << QString("%1%2%3").arg(e.name).arg(e.tieRange).arg(e.tieStart ? "s" : "");
    EXPECT_EQ(got.join(' ').toStdString(), "c1s c1 c1 d0 e2s e2 f0 g3s a3");
    EXPECT_EQ(r.events[0].rangeTags, QStringList{"tie"});
}

TEST(GmnReaderTest, TieEndsCloseTheBeginOfTheirId)
{
    // The end of tie 2 leaves tie 1 open, so f is still tied to what came before.
    const auto r = readOk("[ \\tieBegin:1 c \\tieBegin:2 d \\tieEnd:2 e \\tieEnd:1 f \\tieBegin g \\tieEnd a ]");
    QStringList got;
    for (const GmnEvent& e : r.events)
        got << QString("%1%2%3").arg(e.name).arg(e.tieRange).arg(e.tieStart ? "s" : "");
    EXPECT_EQ(got.join(' ').toStdString(), "c1s d1 e1 f0 g3s a0");
    // An end whose id was never begun closes nothing.
    const auto stray = readOk("[ \\tieBegin:1 c \\tieEnd:5 c \\tieEnd:1 d ]");
    ASSERT_EQ(stray.events.size(), 3);
    EXPECT_EQ(stray.events[1].tieRange, 1);
    EXPECT_EQ(stray.events[2].tieRange, 0);
}

TEST(GmnReaderTest, GraceNotesSitAtTheNextEventsTime)
{
    // As the engine's voice map lists them: their written value, no time taken, no drawn rest.
    const auto r = readOk("[ \\meter<\"2/4\"> c/4 \\grace(d/16 _ {e, g}) f/4 \\grace(c/4) | d ]");
    EXPECT_EQ(times(GmnReader::mappedEvents(r.events)), "0/1-1/4 1/4-5/16 1/4-5/16 1/4-5/16 1/4-1/2 1/2-3/4 1/2-3/4");
    EXPECT_TRUE(r.events[1].grace);
    EXPECT_EQ(r.events[2].kind, GmnEvent::Empty);
    EXPECT_EQ(r.events[3].chord, r.events[4].chord);
    EXPECT_FALSE(r.events[5].grace);
    EXPECT_EQ(r.events[5].name, "f");
    EXPECT_EQ(r.duration, NotationDate(3, 4));
}

NotationMapEntry entry(NotationDate start, NotationDate end)
{
    NotationMapEntry e;
    e.time.start = start;
    e.time.end = end;
    return e;
}

TEST(GmnReaderTest, GraceNotesAreOrderedAsTheMapListsThem)
{
    const auto r = readOk("[ c/4 \\grace(g/4. b/16) a/16 empty/16 d/4 ]");
    const NotationMap map = {entry({0, 1}, {1, 4}), entry({1, 4}, {5, 16}), entry({1, 4}, {5, 8}),
                             entry({1, 4}, {5, 16}), entry({3, 8}, {5, 8})};
    QList<GmnEvent> out;
    ASSERT_TRUE(GmnReader::orderLikeMap(r.events, map, out));
    ASSERT_EQ(out.size(), r.events.size());
    EXPECT_EQ(out[1].name, "b");
    EXPECT_EQ(out[2].name, "g");
    EXPECT_EQ(out[3].name, "a");
    EXPECT_FALSE(out[3].grace);
    EXPECT_EQ(out[4].kind, GmnEvent::Empty);  // empty events keep their place
    EXPECT_EQ(out[5].name, "d");
    // Other times, or another order outside grace notes, are not taken.
    NotationMap other = map;
    other[4] = entry({3, 8}, {1, 2});
    EXPECT_FALSE(GmnReader::orderLikeMap(r.events, other, out));
    EXPECT_TRUE(out.isEmpty());
    const auto plain = readOk("[ c/4 {d/8, e/4} ]");
    EXPECT_FALSE(GmnReader::orderLikeMap(
        plain.events, {entry({0, 1}, {1, 4}), entry({1, 4}, {1, 2}), entry({1, 4}, {3, 8})}, out));
}

TEST(GmnReaderTest, VoicesAreReadEachFromItsOwnStart)
{
    const QString code = "{ [ \\meter<\"2/4\"> c2/8 d e/2 ], [ f g/2. ] }";
    const auto first = readOk(code);
    EXPECT_EQ(times(first.events), "0/1-1/8 1/8-1/4 1/4-1/2 1/2-3/4");
    const GmnReader::Result all = GmnReader::readVoices(code);
    ASSERT_TRUE(all.ok) << qPrintable(all.error);
    ASSERT_EQ(all.events.size(), 6);
    // The second voice inherits nothing from the first: quarter notes in octave 1, no meter.
    EXPECT_EQ(all.events[4].voice, 2);
    EXPECT_EQ(all.events[4].octave, 1);
    EXPECT_EQ(times(all.events.mid(4)), "0/1-1/4 1/4-1/1");
    EXPECT_EQ(all.duration, NotationDate(1, 1));
    EXPECT_FALSE(GmnReader::readVoices("{ [ c ], [ d ( ] }").ok);
    EXPECT_FALSE(GmnReader::readVoices("{ [ c ] [ d ] }").ok);
}

TEST(GmnReaderTest, CommentsAndTagsAreSkipped)
{
    const auto r = readOk("% a question\n[ \\title<\"Q\", dy=2hs> (* block *) \\clef<\"g2\"> c "
                          "\\noteFormat<color=\"0x1b7edb\">(d e) \\staccato(f) \\countingScheme<\"2+2+3\"> "
                          "\\noteFormat<color=\"black\"> g % rest of line\n a ]");
    EXPECT_EQ(times(r.events), "0/1-1/4 1/4-1/2 1/2-3/4 3/4-1/1 1/1-5/4 5/4-3/2");
    EXPECT_EQ(r.events[1].rangeTags, QStringList{"noteFormat"});
    EXPECT_TRUE(r.events[4].rangeTags.isEmpty());
    // Only the first voice is read.
    const auto two = readOk("{ [ c/2 d ], [ e f g a b ] }");
    EXPECT_EQ(two.events.size(), 2);
}

TEST(GmnReaderTest, NotesAreCutAtBarLinesAndIntoDrawableValues)
{
    // With a meter the engine cuts notes at bar lines and ties the pieces.
    const auto bar = readOk("[ \\meter<\"4/4\"> c/2. d/2 e ]");
    EXPECT_EQ(times(bar.events), "0/1-3/4 3/4-1/1 1/1-5/4 5/4-7/4");
    EXPECT_FALSE(bar.events[1].split);
    EXPECT_TRUE(bar.events[2].split);
    EXPECT_EQ(bar.events[1].tieRange, bar.events[2].tieRange);
    EXPECT_TRUE(bar.events[1].tieStart);
    // An explicit bar restarts the count; a meter change starts a measure.
    EXPECT_EQ(times(readOk("[ \\meter<\"4/4\"> c d | e/2. f/2 ]").events), "0/1-1/4 1/4-1/2 1/2-5/4 5/4-3/2 3/2-7/4");
    EXPECT_EQ(times(readOk("[ \\meter<\"3/4\"> c d e \\meter<\"2/4\"> f/2. g ]").events),
              "0/1-1/4 1/4-1/2 1/2-3/4 3/4-5/4 5/4-3/2 3/2-7/4 7/4-9/4");
    // Without a meter nothing is cut at bars, but values no single note shows still are.
    EXPECT_EQ(times(readOk("[ c/2 d/2. e ]").events), "0/1-1/2 1/2-5/4 5/4-2/1");
    EXPECT_EQ(times(readOk("[ c*5/8 d*3/5 e*7/16 ]").events), "0/1-1/2 1/2-5/8 5/8-41/40 41/40-49/40 49/40-133/80");
}

TEST(GmnReaderTest, WrittenEventsAreCutAsAMapShowsThem)
{
    const auto written = GmnReader::readWritten("[ c/12 d*5/6 empty/4 e ]");
    ASSERT_TRUE(written.ok);
    EXPECT_EQ(times(written.events), "0/1-1/12 1/12-11/12 11/12-7/6 7/6-17/12");
    auto entry = [](long long a, long long b, long long c, long long d) {
        NotationMapEntry e;
        e.time.start = NotationDate(a, b);
        e.time.end = NotationDate(c, d);
        return e;
    };
    // As the engine draws it: d as a third and a half; the empty event has no entry.
    NotationMap map{entry(0, 1, 1, 12), entry(1, 12, 5, 12), entry(5, 12, 11, 12), entry(7, 6, 17, 12)};
    QList<GmnEvent> out;
    ASSERT_TRUE(GmnReader::cutLikeMap(written.events, map, GmnReader::read("[ c/12 d*5/6 empty/4 e ]").events, out));
    EXPECT_EQ(times(out), "0/1-1/12 1/12-5/12 5/12-11/12 11/12-7/6 7/6-17/12");
    EXPECT_FALSE(out[1].split);
    EXPECT_TRUE(out[2].split);
    EXPECT_EQ(out[1].tieRange, out[2].tieRange);
    EXPECT_NE(out[1].tieRange, 0);
    EXPECT_TRUE(out[1].tieStart);
    EXPECT_EQ(out[3].kind, GmnEvent::Empty);
    // A map that does not fit the written events is refused.
    NotationMap wrong{entry(0, 1, 1, 12), entry(1, 12, 1, 2)};
    EXPECT_FALSE(GmnReader::cutLikeMap(written.events, wrong, written.events, out));
    EXPECT_TRUE(out.isEmpty());
}

TEST(GmnReaderTest, ErrorsSayWhere)
{
    const auto missing = GmnReader::read("[ c d ");
    EXPECT_FALSE(missing.ok);
    const auto name = GmnReader::read("[ c xyz d ]");
    EXPECT_FALSE(name.ok);
    EXPECT_EQ(name.errorOffset, 4);
    EXPECT_TRUE(name.error.contains("xyz"));
    EXPECT_FALSE(GmnReader::read("[ c/ ]").ok);
    EXPECT_FALSE(GmnReader::read("[ c/0 ]").ok);
    EXPECT_FALSE(GmnReader::read("c d").ok);
    EXPECT_FALSE(GmnReader::read("[ \\tie(c d ]").ok);
    EXPECT_FALSE(GmnReader::read("[ c d) ]").ok);
    const auto empty = readOk("[]");
    EXPECT_TRUE(empty.events.isEmpty());
    EXPECT_EQ(empty.duration, NotationDate(0, 1));
}

TEST(GmnReaderTest, HostileInputEndsQuicklyWithADefinedResult)
{
    // Values far beyond any question: refused, not cut into millions of pieces or overflowed.
    EXPECT_FALSE(GmnReader::read("[ \\meter<\"1/64\"> c*999999 ]").ok);
    EXPECT_FALSE(GmnReader::read("[ c*1/9999999 ]").ok);
    QString fine = "[";
    for (int d : {999983, 999979, 999961, 999959, 999953, 999931, 999917, 999907})
        fine += QString(" c*1/%1").arg(d);
    const auto tooFine = GmnReader::read(fine + " ]");
    EXPECT_FALSE(tooFine.ok);
    EXPECT_TRUE(tooFine.error.contains("too fine"));
    // A long silence under a short meter is passed without stepping through every measure.
    QElapsedTimer clock;
    clock.start();
    const auto late = GmnReader::read("[ \\meter<\"1/64\"> empty*99999 c/32 ]");
    ASSERT_TRUE(late.ok);
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_EQ(late.events.size(), 3);  // the empty event, and c cut at the bar line
    EXPECT_EQ(late.events[1].start, NotationDate(99999, 1));
    EXPECT_EQ(late.events[2].start, NotationDate(99999 * 64 + 1, 64));

    // Random text and broken codes: every input gives ok or an error, times never run backwards.
    const QString alphabet = "[]{}()<>,|\\_/*.#&-0123456789 cdefgabhisrmoltxempy\"=%:";
    const QString base = "[ \\meter<\"4/4\"> \\tie(c1/4 c) {d, f#} \\tuplet<\"-3-\">(e/12 f g) _/8. a&/16 | b ]";
    QRandomGenerator rng(5);
    clock.restart();
    int accepted = 0;
    for (int i = 0; i < 4000; ++i) {
        QString code;
        if (i % 2) {
            code = base;
            for (int k = 0; k < 1 + rng.bounded(4); ++k) {
                const int at = rng.bounded(code.size());
                if (rng.bounded(2))
                    code.remove(at, 1 + rng.bounded(3));
                else
                    code.insert(at, alphabet[rng.bounded(alphabet.size())]);
            }
        } else {
            for (int k = 0; k < rng.bounded(40); ++k)
                code += alphabet[rng.bounded(alphabet.size())];
        }
        const auto r = GmnReader::read(code);
        if (!r.ok) {
            EXPECT_FALSE(r.error.isEmpty());
            continue;
        }
        ++accepted;
        NotationDate last(0, 1);
        for (const GmnEvent& e : r.events) {
            ASSERT_TRUE(e.start.isValid() && e.end.isValid()) << qPrintable(code);
            EXPECT_GE(e.start, last) << qPrintable(code);
            EXPECT_GT(e.end, e.start) << qPrintable(code);
            if (e.chord < 0)
                last = e.start;
        }
    }
    EXPECT_GT(accepted, 100);
    EXPECT_LT(clock.elapsed(), 3000);
}

}  // namespace
