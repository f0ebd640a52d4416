#include "NotationFixtures.h"
#include "notation/GmnReader.h"
#include "notation/NotationPainter.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

namespace {

// Edge cases written by hand; each must be accepted by the engine.
const char* kHandWritten[] = {
    "[]",
    "[ \\meter<\"C/\"> c/2. d/2 e/1 ]",
    "[ \\meter<\"2+2+3/8\"> c/4 d e f/4. g ]",
    "[ \\meter<\"7/8\"> \\countingScheme<\"2+2+3\"> c/4 d e/4. | f/8 g a b c2 d/4 ]",
    "[ \\meter<\"4/4\"> c/2 \\doubleBar d/2. e/2 ]",
    "[ \\meter<\"3/4\"> c d e \\meter<\"2/4\"> f/2. g ]",
    "[ \\meter<\"4/4\"> c/4 \\meter<\"3/4\"> d/2. e ]",
    "[ \\meter<\"4/4\"> c/4 d*5/4 e ]",
    "[ \\meter<\"4/4\"> _/2. c/2 ]",
    "[ \\meter<\"4/4\"> c/4 empty/2. d ]",
    "[ c/2 d/2. e ]",
    "[ c*5/8 d*3/5 e*7/16 ]",
    "[ c*3/2 d*7/4 e*3/1 f*7/32 g*3/64 ]",
    "[ c*7/4. d ]",
    "[ c*7/6 d*5/3 e*21/8 f*11/12 g*7/12 a*13/24 ]",
    "[ c/4 d*7/6 e/8 f*5/3 ]",
    "[ c*9/16 d*11/16 e*15/16 f*3/10 g*4/3 a*2/5 ]",
    "[ c/12 d e f/4 g/20 a b c2 d ]",
    "[ \\tuplet<\"-3-\">(c/8 d e) f/4 ]",
    "[ \\meter<\"4/4\"> c/2 d/2 e/2 \\tie(f/2 f/2) g/2 ]",
    "[ cis dis fis gis ais h ]",
    "[ do re mi fa sol la si ti ]",
    "[ do# re& c## d&& e-1 f-2 g3 ]",
    "{ [ c d ], [ e f g a ] }",
    "% a question\n[ \\title<\"Q\", dy=2hs> c (* comment *) d % line\n e ]",
    "[ \\key<-3> \\bpm<100> \\countIn \\percussive \\countingOverlay \\metronome<\"talking\"> "
    "\\solfege<major> \\countingScheme<\"2+2+3\"> c ]",
    "[ c\\noteFormat<color=\"red\">(d) e ]",
    "[ \\staffFormat<\"1-line\"> \\clef<\"\"> a1 a a/8 a a/4 ]",
    "[ \\meter<\"4/4\"> c d e f \\repeatEnd g/2. a/2 ]",
    "[ \\meter<\"4/4\"> c/8 d/4 e/4 f/4 g/4 ]",
    "[ ce/8 f ]",
    "[ fae sola dob sib hb ]",
    "[ emptyc cempty d ]",
    "[ c#d dis#e c/8.d c4/4d ]",
    "[ c (* a (* nested *) b *) d ]",
    "[ \\meter<\"4/4\"> \\grace(c/16) d/4 e f g ]",
    "[ c \\grace(c/16) d e f g ]",
    "[ \\grace(c/16 d/16) e/4 f g ]",
    "[ \\grace(c/16. d/32) e/4 ]",
    "[ \\grace({c/16, e}) d/4 e ]",
    "[ \\grace(c*5/16) d/4 e ]",
    "[ \\grace(c/16 _/16) d/4 ]",
    "[ \\grace(c2/16) d ]",
    "[ \\meter<\"2/4\"> c/4 \\grace(c/8) d/4 \\grace(e/4) | f/4 ]",
    "[ \\meter<\"4/4\"> c/2. \\grace(d/8) e/2 ]",
    "[ \\grace(\\tie(c/16 c)) d/4 ]",
    "[ c/4 d \\grace(e/16) ]",
    "[ \\tieBegin:1 c/2 \\tieBegin:2 c \\tieEnd:2 c \\tieEnd:1 d ]",
    "{ [ \\meter<\"2/4\"> c2/8 d e/2 ], [ f g/2. ] }",
    "{ [ c d e f ], [ e f g a ], [ \\grace(c/16) g/2 _ ] }",
};

const char* kNames[] = {"c", "d", "e", "f", "g", "a", "b", "h", "cis", "fis", "do", "re", "mi", "sol"};
const char* kAccidentals[] = {"", "", "", "#", "&", "##", "&&"};
const char* kOctaves[] = {"", "", "", "1", "2", "0", "-1"};
const char* kDurations[] = {"", "", "/4", "/8", "/2", "/16", "/4.", "/8.", "/1", "/2.", "*3/8", "/4.."};
const char* kMeters[] = {"4/4", "3/4", "2/4", "6/8", "7/8", "C", "C/", "5/4", "9/8", "3/8"};

// A question-like code: header tags, then notes, rests, chords, ties, triplets and bars.
QString generate(QRandomGenerator& rng)
{
    auto pick = [&](auto& list) { return QString(list[rng.bounded(int(std::size(list)))]); };
    QString code = "[ ";
    if (rng.bounded(4) != 0)
        code += QString("\\meter<\"%1\"> ").arg(pick(kMeters));
    if (rng.bounded(2))
        code += QString("\\key<%1> ").arg(rng.bounded(15) - 7);
    if (rng.bounded(3) == 0)
        code += QString("\\bpm<%1> ").arg(60 + rng.bounded(100));
    if (rng.bounded(4) == 0)
        code += "\\countingScheme<\"3+2+2\"> ";
    const int count = 4 + rng.bounded(14);
    bool afterTuplet = false;  // questions give the note after a triplet its own value
    for (int i = 0; i < count; ++i) {
        const int kind = rng.bounded(21);
        auto duration = [&]() {
            QString d = pick(kDurations);
            if (afterTuplet && d.isEmpty())
                d = "/8";
            afterTuplet = false;
            return d;
        };
        auto note = [&]() { return pick(kNames) + pick(kAccidentals) + pick(kOctaves) + duration(); };
        if (kind < 11) {
            code += note();
        } else if (kind < 13) {
            code += "_" + duration();
        } else if (kind == 13) {
            // a triad as questions write it: one duration, the other notes inherit it
            const int root = rng.bounded(7);
            const char* letters = "cdefgab";
            code += QString("{%1%2%3, %4, %5}")
                        .arg(letters[root])
                        .arg(pick(kOctaves))
                        .arg(duration())
                        .arg(letters[(root + 2) % 7])
                        .arg(letters[(root + 4) % 7]);
        } else if (kind == 14) {
            code += "\\tie(" + note() + " " + note() + ")";
        } else if (kind == 15) {
            const QString n = pick(kNames);
            code += QString("\\tuplet<\"-3-\">(%1/12 %2 %3)").arg(n, pick(kNames), pick(kNames));
            afterTuplet = true;
        } else if (kind == 16) {
            code += "|";
        } else if (kind == 17) {
            code += "\\noteFormat<color=\"0x1b7edb\"> " + note() + " \\noteFormat<color=\"black\">";
        } else if (kind == 18) {
            code += "empty" + duration();
        } else if (kind == 19) {
            code += "\\bar " + note();
        } else {
            // grace notes, whose values the next notes inherit
            code += "\\grace(" + note() + (rng.bounded(2) ? " " + note() : QString()) + ") " + note();
        }
        code += " ";
    }
    return code + "]";
}

// Chords whose notes differ in length, or that a bar line cuts, are drawn by the engine in ways the
// reader does not follow; questions have neither.
bool hasIrregularChord(const QList<GmnEvent>& events)
{
    for (const GmnEvent& e : events) {
        if (e.chord < 0)
            continue;
        if (e.split)
            return true;
        for (const GmnEvent& o : events) {
            if (o.chord == e.chord && o.end != e.end)
                return true;
        }
    }
    return false;
}

// A note head is one staff space high and the engine places heads half a space apart per step of
// the scale, so two neighbouring notes of one system show whether the reader's letters and octaves
// are the engine's. Empty when all agree, else the first pair that does not.
QString firstPitchDisagreement(const QList<GmnEvent>& mapped, const NotationMap& map)
{
    auto step = [](const GmnEvent& e) { return QString("cdefgab").indexOf(e.name) + 7 * e.octave; };
    for (int i = 0; i + 1 < map.size() && i + 1 < mapped.size(); ++i) {
        const GmnEvent& a = mapped[i];
        const GmnEvent& b = mapped[i + 1];
        const QRectF& ra = map[i].rect;
        const QRectF& rb = map[i + 1].rect;
        // Rests have no pitch; the engine lists a chord's notes in an order of its own; grace note
        // heads are smaller; a new system starts further left.
        if (!a.isNote() || !b.isNote() || a.chord >= 0 || b.chord >= 0 || a.grace || b.grace
            || rb.left() < ra.left() - 1.0)
            continue;
        const double halfSpace = ra.height() / 2.0;
        const double expected = (step(a) - step(b)) * halfSpace;
        const double seen = rb.center().y() - ra.center().y();
        if (qAbs(seen - expected) > halfSpace / 4.0)
            return QString("events %1 and %2: %3 apart, the engine %4").arg(i).arg(i + 1).arg(expected).arg(seen);
    }
    return QString();
}

// Values and positions off the question forms (odd tuplet values, tuplet durations carried on),
// whose cuts the reader's rules do not know: the run-time events take them from the voice map.
QString generateOdd(QRandomGenerator& rng)
{
    static const char* odd[] = {"*5/6", "*13/48", "*5/12", "/12", "/6", "*5/8", "*3/10", "/20", "*7/12", ""};
    QString code = rng.bounded(2) ? "[ \\meter<\"4/4\"> " : "[ ";
    const int count = 3 + rng.bounded(8);
    for (int i = 0; i < count; ++i) {
        code += QString(kNames[rng.bounded(7)]) + odd[rng.bounded(int(std::size(odd)))] + " ";
        if (rng.bounded(6) == 0)
            code += "_/8 ";
    }
    return code + "]";
}

TEST(GmnCorpusTest, EventsEqualTheEngineVoiceMap)
{
    QStringList corpus;
    for (const char* c : kHandWritten)
        corpus << QString::fromUtf8(c);
    QRandomGenerator rng(20261206);
    while (corpus.size() < 320)
        corpus << generate(rng);
    const int questionForms = corpus.size();
    QRandomGenerator oddRng(77);
    while (corpus.size() < questionForms + 150)
        corpus << generateOdd(oddRng);

    int compared = 0;
    int oddCompared = 0;
    int corrected = 0;
    int irregularChords = 0;
    int handAccepted = 0;
    QStringList mismatches;
    auto compare = [&](const QString& code, const QList<GmnEvent>& events, const NotationMap& map) {
        const std::string got = times(GmnReader::mappedEvents(events));
        if (got != times(map))
            mismatches << code + "\n  events " + QString::fromStdString(got) + "\n  engine "
                    + QString::fromStdString(times(map));
        else if (const QString pitch = firstPitchDisagreement(GmnReader::mappedEvents(events), map); !pitch.isEmpty())
            mismatches << code + "\n  " + pitch;
    };
    for (int i = 0; i < corpus.size(); ++i) {
        const QString& code = corpus[i];
        NotationPainter painter;
        painter.setResizePageToMusic(false);
        if (!painter.setGMNCode(code))
            continue;  // the engine refuses it: nothing to compare
        if (i < int(std::size(kHandWritten)))
            ++handAccepted;
        NotationMap map;
        ASSERT_EQ(painter.voiceMap(1, painter.pageSize(1), 1, map), NotationPainter::NoError);
        if (painter.pageCount() != 1)
            continue;  // the map covers page 1 only
        if (i >= questionForms) {
            LogCapture::instance().clear();
            compare(code, painter.firstVoiceEvents(), map);
            corrected += LogCapture::instance().contains("taken from the engine") ? 1 : 0;
            ++oddCompared;
            continue;
        }
        const GmnReader::Result voice = GmnReader::read(code);
        ASSERT_TRUE(voice.ok) << qPrintable(code) << ": " << qPrintable(voice.error);
        if (hasIrregularChord(voice.events)) {
            ++irregularChords;  // the engine's map of these is not modelled (logged at run time)
            continue;
        }
        // Where a system begins with grace notes the engine lists them in an order of its own; the
        // run-time events follow it.
        QList<GmnEvent> events = voice.events;
        QList<GmnEvent> ordered;
        if (times(GmnReader::mappedEvents(events)) != times(map) && GmnReader::orderLikeMap(events, map, ordered))
            events = ordered;
        compare(code, events, map);
        if (!map.isEmpty() && !code.startsWith('{')) {
            EXPECT_EQ(voice.duration, painter.duration()) << qPrintable(code);
        }
        if (code.startsWith('{')) {
            // The later voices, as the MIDI file takes them.
            const GmnReader::Result voices = GmnReader::readVoices(code);
            ASSERT_TRUE(voices.ok) << qPrintable(code) << ": " << qPrintable(voices.error);
            EXPECT_EQ(voices.duration, painter.duration()) << qPrintable(code);
            for (int v = 2; v <= 3; ++v) {
                QList<GmnEvent> ofVoice;
                for (const GmnEvent& e : voices.events) {
                    if (e.voice == v)
                        ofVoice << e;
                }
                NotationMap vmap;
                ASSERT_EQ(painter.voiceMap(1, painter.pageSize(1), v, vmap), NotationPainter::NoError);
                EXPECT_EQ(times(GmnReader::mappedEvents(ofVoice)), times(vmap)) << qPrintable(code) << " voice " << v;
            }
        }
        ++compared;
    }
    EXPECT_EQ(handAccepted, int(std::size(kHandWritten)));
    EXPECT_GE(compared, 200);
    EXPECT_GE(oddCompared, 100);
    EXPECT_GT(corrected, 0);
    EXPECT_LT(irregularChords, compared / 4);
    EXPECT_TRUE(mismatches.isEmpty()) << mismatches.size() << " differ:\n" << qPrintable(mismatches.mid(0, 8).join("\n"));
}

TEST(GmnCorpusTest, DisagreementIsLoggedOncePerCode)
{
    // A chord across a bar line is drawn in a way the reader does not model: it says so, once a code.
    const struct {
        const char* code;
        bool logged;
    } rows[] = {
        {"[ \\meter<\"4/4\"> c d e f ]", false},
        {"[ \\meter<\"4/4\"> c/2 {c/2, e/1} ]", true},
        {"[ \\meter<\"4/4\"> c/2 {d/2, e/1} ]", true},
    };
    NotationPainter painter;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.code);
        LogCapture::instance().clear();
        ASSERT_TRUE(painter.setGMNCode(r.code));
        painter.firstVoiceEvents();
        EXPECT_EQ(LogCapture::instance().contains("disagree"), r.logged);
        LogCapture::instance().clear();
        painter.firstVoiceEvents();
        EXPECT_FALSE(LogCapture::instance().contains("disagree"));
    }
}

}  // namespace
