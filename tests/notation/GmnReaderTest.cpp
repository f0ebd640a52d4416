// What the reader makes of a code beyond its times, which the corpus checks against the engine.
#include "NotationFixtures.h"

#include "support/ThreadCpuClock.h"

#include <QRandomGenerator>

#include <cstdio>

#include <limits>

namespace {

using Field = QString (*)(const GmnEvent&);

QString pitch(const GmnEvent& e)
{
    return QString("%1%2:%3:%4").arg(e.name).arg(e.accidentals).arg(e.octave).arg(e.midiPitch());
}

QString written(const GmnEvent& e)
{
    return e.writtenName + QString::number(e.accidentals) + QString::number(e.octave);
}

QString time(const GmnEvent& e)
{
    return e.start.toString() + "-" + e.end.toString();
}

// Tie range, "s" on its first event, "x" on a piece the reader cut off a written note.
QString tie(const GmnEvent& e)
{
    return e.name + QString::number(e.tieRange) + (e.tieStart ? "s" : "") + (e.split ? "x" : "");
}

// Kind (note, rest, empty), chord number, "g" for a grace note.
QString shape(const GmnEvent& e)
{
    return QString("nre")[e.kind] + (e.chord >= 0 ? QString::number(e.chord) : QString()) + (e.grace ? "g" : "");
}

QString voiced(const GmnEvent& e)
{
    return QString("%1%2%3@").arg(e.voice).arg(e.name).arg(e.octave) + time(e);
}

TEST(NotationDateTest, FractionsAreExactReducedAndNeverWrapAround)
{
    EXPECT_EQ(NotationDate(2, 8), NotationDate(1, 4));
    EXPECT_EQ(NotationDate(1, -4), NotationDate(-1, 4));
    EXPECT_EQ(NotationDate(1, 4) + NotationDate(1, 12), NotationDate(1, 3));
    EXPECT_EQ(NotationDate::fromString("3/12"), NotationDate(1, 4));
    EXPECT_FALSE(NotationDate::fromString("x").isValid());
    EXPECT_FALSE(NotationDate(1, 0).isValid());
    const long long big = std::numeric_limits<long long>::max();
    EXPECT_FALSE((NotationDate(big, 1) + NotationDate(1, 1)).isValid());
    EXPECT_FALSE((NotationDate(1, big) + NotationDate(1, big - 1)).isValid());
    EXPECT_TRUE((NotationDate(big, 2) * NotationDate(2, big)).isValid());
    EXPECT_LT(NotationDate(big - 1, big), NotationDate(1, 1));
}

TEST(GmnReaderTest, EventsAsRead)
{
    const struct {
        const char* code;
        Field field;
        const char* expected;
        bool allVoices = false;
    } rows[] = {
        // octaves carry over until given again
        {"[ c d# e& fis h1 a#-1 b&&2 cis0 do re& sol# ti gis ais dis c## ]", pitch,
         "c0:1:60 d1:1:63 e-1:1:63 f1:1:66 b0:1:71 a1:-1:46 b-2:2:81 c1:0:49 c0:0:48 d-1:0:49 g1:0:56 b0:0:59 "
         "g1:0:56 a1:0:58 d1:0:51 c2:0:50"},
        // names written together are read longest first, as the engine reads them; comments nest
        {"[ sib/8 fae cis#d2 emptyc (* x (* y *) z *) lab ]", written, "si01 b01 fa01 e01 cis21 d02 empty01 c02 la02 b02"},
        {"[ sib/8 fae cis#d2 emptyc (* x (* y *) z *) lab ]", time,
         "0/1-1/4 1/4-3/8 3/8-1/2 1/2-5/8 5/8-3/4 3/4-7/8 7/8-1/1 1/1-9/8 9/8-5/4 5/4-11/8"},
        {"[ {c/4, e/2, g} d empty/4 _ {a , c2} ]", shape, "n0 n0 n0 n e r n1 n1"},
        {"[ \\tie(c/2 c c) d \\tieBegin:1 e e \\tieEnd:1 f \\tie(g a) ]", tie, "c1s c1 c1 d0 e2s e2 f0 g3s a3"},
        // an end closes the begin of its id; an end whose id was never begun closes nothing
        {"[ \\tieBegin:1 c \\tieBegin:2 d \\tieEnd:2 e \\tieEnd:1 f \\tieBegin g \\tieEnd a ]", tie, "c1s d1 e1 f0 g3s a0"},
        {"[ \\tieBegin:1 c \\tieEnd:5 c \\tieEnd:1 d ]", tie, "c1s c1 d0"},
        // grace notes: their written value at the next event's time, taking none of their own
        {"[ \\meter<\"2/4\"> c/4 \\grace(d/16 _ {e, g}) f/4 \\grace(c/4) | d ]", time,
         "0/1-1/4 1/4-5/16 1/4-5/16 1/4-5/16 1/4-5/16 1/4-1/2 1/2-3/4 1/2-3/4"},
        {"[ \\meter<\"2/4\"> c/4 \\grace(d/16 _ {e, g}) f/4 \\grace(c/4) | d ]", shape, "n ng eg n0g n0g n ng n"},
        // with a meter, notes are cut at bar lines and the pieces tied
        {"[ \\meter<\"4/4\"> c/2. d/2 e ]", tie, "c0 d1s d1x e0"},
        // every voice from its own start, inheriting nothing from the one before
        {"{ [ \\meter<\"2/4\"> c2/8 d e/2 ], [ f g/2. ] }", voiced, "1c2@0/1-1/8 1d2@1/8-1/4 1e2@1/4-1/2 1e2@1/2-3/4 2f1@0/1-1/4 2g1@1/4-1/1", true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.code);
        QStringList got;
        for (const GmnEvent& e : readOk(r.code, r.allVoices).events)
            got << r.field(e);
        EXPECT_EQ(got.join(' ').toStdString(), r.expected);
    }
}

TEST(GmnReaderTest, RefusedCodesSayWhyAndWhere)
{
    QString tooFine = "[";
    for (int d : {999983, 999979, 999961, 999959, 999953, 999931, 999917, 999907})
        tooFine += QString(" c*1/%1").arg(d);
    const struct {
        QString code;
        int offset;
        const char* reason;
    } rows[] = {
        {"[ c d ", -1, ""},
        {"[ c xyz d ]", 4, "xyz"},
        {"[ c dx ]", 5, "'x'"},
        {"[ c/ ]", -1, ""},
        {"[ c/0 ]", -1, ""},
        {"c d", -1, ""},
        {"[ \\tie(c d ]", -1, ""},
        {"[ c d) ]", -1, ""},
        {"{ [ c ], [ d ( ] }", -1, ""},
        {"{ [ c ] [ d ] }", -1, ""},
        // values far beyond any question: refused, not cut into millions of pieces or overflowed
        {"[ \\meter<\"1/64\"> c*999999 ]", -1, ""},
        {"[ c*1/9999999 ]", -1, ""},
        {tooFine + " ]", -1, "too fine"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.code.toStdString());
        const GmnReader::Result result = GmnReader::readVoices(r.code);
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(result.error.contains(r.reason)) << qPrintable(result.error);
        EXPECT_FALSE(result.error.isEmpty());
        if (r.offset >= 0) {
            EXPECT_EQ(result.errorOffset, r.offset);
        }
    }
}

TEST(GmnReaderTest, GraceNotesAreOrderedAsTheMapListsThem)
{
    const auto r = readOk("[ c/4 \\grace(g/4. b/16) a/16 empty/16 d/4 ]");
    const NotationMap map = {mapEntry({0, 1}, {1, 4}), mapEntry({1, 4}, {5, 16}), mapEntry({1, 4}, {5, 8}),
                             mapEntry({1, 4}, {5, 16}), mapEntry({3, 8}, {5, 8})};
    QList<GmnEvent> out;
    ASSERT_TRUE(GmnReader::orderLikeMap(r.events, map, out));
    QStringList names;
    for (const GmnEvent& e : out)
        names << e.writtenName + (e.grace ? "g" : "");
    EXPECT_EQ(names.join(' ').toStdString(), "c bg gg a empty d");  // empty events keep their place
    // Other times, or another order outside grace notes, are not taken.
    NotationMap other = map;
    other[4] = mapEntry({3, 8}, {1, 2});
    EXPECT_FALSE(GmnReader::orderLikeMap(r.events, other, out));
    EXPECT_TRUE(out.isEmpty());
    const auto plain = readOk("[ c/4 {d/8, e/4} ]");
    EXPECT_FALSE(GmnReader::orderLikeMap(
        plain.events, {mapEntry({0, 1}, {1, 4}), mapEntry({1, 4}, {1, 2}), mapEntry({1, 4}, {3, 8})}, out));
}

TEST(GmnReaderTest, WrittenEventsAreCutAsAMapShowsThem)
{
    const QString code = "[ c/12 d*5/6 empty/4 e ]";
    const auto written = GmnReader::readWritten(code);
    ASSERT_TRUE(written.ok);
    EXPECT_EQ(times(written.events), "0/1-1/12 1/12-11/12 11/12-7/6 7/6-17/12");
    // As the engine draws it: d as a third and a half; the empty event has no entry.
    const NotationMap map{mapEntry({0, 1}, {1, 12}), mapEntry({1, 12}, {5, 12}), mapEntry({5, 12}, {11, 12}),
                          mapEntry({7, 6}, {17, 12})};
    QList<GmnEvent> out;
    ASSERT_TRUE(GmnReader::cutLikeMap(written.events, map, readOk(code).events, out));
    EXPECT_EQ(times(out), "0/1-1/12 1/12-5/12 5/12-11/12 11/12-7/6 7/6-17/12");
    QStringList ties;
    for (const GmnEvent& e : out)
        ties << tie(e);
    EXPECT_EQ(ties.join(' ').toStdString(), "c0 d2s d2x 0 e0");
    // A map that does not fit the written events is refused.
    const NotationMap wrong{mapEntry({0, 1}, {1, 12}), mapEntry({1, 12}, {1, 2})};
    EXPECT_FALSE(GmnReader::cutLikeMap(written.events, wrong, written.events, out));
    EXPECT_TRUE(out.isEmpty());
}

TEST(GmnReaderTest, HostileInputEndsQuicklyWithADefinedResult)
{
    // Costs are the thread's CPU time: a busy machine slows the wall clock, not the work.
    // A long silence under a short meter is passed without stepping through every measure.
    ThreadCpuClock clock;
    const auto late = readOk("[ \\meter<\"1/64\"> empty*99999 c/32 ]");
    EXPECT_LT(clock.elapsedMs(), 500);
    ASSERT_EQ(late.events.size(), 3);  // the empty event, and c cut at the bar line
    EXPECT_EQ(late.events[1].start, NotationDate(99999, 1));
    EXPECT_EQ(late.events[2].start, NotationDate(99999 * 64 + 1, 64));

    // Random text and broken codes: every input gives ok or an error, times never run backwards,
    // and together they cost no more than as many reads of the well-formed code they come from.
    const QString alphabet = "[]{}()<>,|\\_/*.#&-0123456789 cdefgabhisrmoltxempy\"=%:";
    const QString base = "[ \\meter<\"4/4\"> \\tie(c1/4 c) {d, f#} \\tuplet<\"-3-\">(e/12 f g) _/8. a&/16 | b ]";
    const int count = 4000, sample = count / 8;
    clock.restart();
    for (int i = 0; i < sample; ++i)
        ASSERT_TRUE(GmnReader::read(base).ok);
    const qint64 wellFormedMs = clock.elapsedMs() * (count / sample);
    QRandomGenerator rng(5);
    clock.restart();
    int accepted = 0;
    for (int i = 0; i < count; ++i) {
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
    const qint64 hostileMs = clock.elapsedMs();
    std::printf("%d hostile codes read in %lld ms of CPU; as many well-formed ones take %lld ms\n", count,
                static_cast<long long>(hostileMs), static_cast<long long>(wellFormedMs));
    EXPECT_LT(hostileMs, wellFormedMs + 20);
}

}  // namespace
