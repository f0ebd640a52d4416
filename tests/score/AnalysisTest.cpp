#include "ScoreFixture.h"

#include "score/Music.h"
#include "score/RuvexGuidoScoreBrowser.h"
#include "score/ScoreAnalyzer.h"
#include "score/ScoreCustomTags.h"
#include "score/ScoreGmnRewriter.h"

// The score's text-level helpers: GMN rewriting, custom tags, measures, syllables, pitches.

TEST(GmnRewrite, HighlightAndPercussiveForms)
{
    const struct { const char* in; const char* out; } rows[] = {
        {"[ c d <b>e f</b> g ]", "[ c d \\noteFormat<color=\"0x1b7edb\"> e f\\noteFormat<color=\"black\">  g ]"},
        {"[ <B>c</B> ]", "[ <B>c</B> ]"},  // case-sensitive
        {"(* percussive *) [ x x/8 _ x ]", "(* percussive *) [ \\staffFormat<\"1-line\"> \\clef<\"\">  a1 a1/8 _ a1 ]"},
        // an x right after "[" is reached because the staff form ends in a blank
        {"percussive [x x]", "percussive [ \\staffFormat<\"1-line\"> \\clef<\"\"> a1 a1]"},
        {"[ \\title<\"a x b\"> x ] percussive", "[ \\staffFormat<\"1-line\"> \\clef<\"\">  \\title<\"a a1 b\"> a1 ] percussive"},
        {"[ x x ]", "[ x x ]"},  // without the word, x notes stay for the engine to judge
    };
    for (const auto& r : rows)
        EXPECT_EQ(ScoreGmnRewriter::rewrite(r.in), QString(r.out)) << r.in;
    EXPECT_TRUE(ScoreGmnRewriter::isPercussive("[ c ] (* nonpercussive comment *)"));
    EXPECT_FALSE(ScoreGmnRewriter::isPercussive("[ c ] Percussive"));
    EXPECT_TRUE(ScoreGmnRewriter::hasPercussiveNotes("[ x x ]"));
}

// (every tag read from a code: the score test; here what the score cannot show)
TEST(CustomTags, KeyNamesAndTempiOutOfRangeCountAsAbsent)
{
    ScoreCustomTags t = ScoreCustomTags::read("[ \\key<\"D\"> \\solfege<Major> metronome<loud> c ]");  // a key name is the engine's
    EXPECT_EQ(QVariantList({t.hasKey, t.key, t.scaleType, t.hasMetronome, t.metronome, t.countingOverlay, t.countIn}),
              QVariantList({false, 0, "Major", true, "loud", false, false}));
    // a tempo below 1 or beyond an int counts as absent
    for (const char* bpm : {"0", "-5", "99999999999"})
        EXPECT_FALSE(ScoreCustomTags::read(QString("[ \\bpm<%1> c ]").arg(bpm)).hasTempo) << bpm;
    EXPECT_EQ(ScoreCustomTags::read("[ \\bpm<0> c ]").refusedTempo, QString("0"));
}

namespace {
QStringList measureTexts(const QString& code, bool* ok)
{
    QList<ScoreMeasureInfo> measures;
    *ok = ScoreAnalyzer(1, code).analyzeMeasures(measures);
    QStringList out;
    for (const ScoreMeasureInfo& m : measures)
        out << m.toString();
    return out;
}
}  // namespace

TEST(MeasureAnalysis, MetersSchemesAndBarLines)
{
    const QString q = "4/4 (countingScheme:\"default\" beatList=\"0:0.25:S 1:0.25:S 2:0.25:S 3:0.25:S\")";
    const QString t34 = "3/4 (countingScheme:\"default\" beatList=\"0:0.25:S 1:0.25:S 2:0.25:S\")";
    const QString t24 = "2/4 (countingScheme:\"default\" beatList=\"0:0.25:S 1:0.25:S\")";
    const QString s223 = "7/8 (countingScheme:\"2+2+3\" beatList=\"0:0.25:S 1:0.25:S 2:0.375:T\")";
    const struct { const char* code; bool ok; QStringList measures; const char* log; } rows[] = {
        {"[ \\meter<\"4/4\"> c d e f ]", true, {q}, nullptr},
        {"[ \\meter<\"3/4\"> c d e | f g a ]", true, {t34, t34}, nullptr},
        {"[ \\meter<\"6/8\"> c/8 d e f g a ]", true, {"6/8 (countingScheme:\"default\" beatList=\"0:0.375:T 1:0.375:T\")"}, nullptr},
        {"[ \\meter<\"7/8\"> \\countingScheme<\"2 + 2+3\"> c/8 d e f g a b ]", true, {s223}, nullptr},
        // a later measure without its own scheme repeats the previous one
        {"[ \\meter<\"7/8\"> \\countingScheme<\"2+2+3\"> c/8 d e f g a b | c d e f g a b ]", true, {s223, s223}, nullptr},
        // bad pieces are skipped with a warning; a group other than 2 or 3 gives no beat
        {"[ \\meter<\"7/8\"> \\countingScheme<\"2+x++4+3\"> c/8 ]", true,
         {"7/8 (countingScheme:\"2+4+3\" beatList=\"0:0.25:S 2:0.375:T\")"}, "syntax error while deriving counting scheme"},
        {"[ \\meter<\"2/4\"> c d \\bar e f \\bar g a ]", true, {t24, t24, t24}, nullptr},  // \bar splits too
        {"[ \\meter<\"2/4\"> c d | e f | ]", true, {t24, t24, t24}, nullptr},  // "|" before "]" copies the last
        {"[ c d e f | g a b c ]", true, {q, q}, "no meter specified; assuming 4/4"},
        // a segment with neither meter nor letter has no beats
        {"[ | \\meter<\"3/4\"> c d e ]", true, {"0/0 (countingScheme:\"default\" beatList=\"\")", t34}, nullptr},
        {"[ \\meter<\"4/4\"> c d e f | \\meter<\"C\"> c ]", false, {}, "syntax error while deriving time signatures"},
        {"[ \\meter<\"0/4\"> c ]", false, {}, nullptr},
        // a numerator no one counts would ask for a record per beat
        {"[ \\meter<\"2000000000/4\"> c ]", false, {}, "syntax error while deriving time signatures"},
    };
    for (const auto& r : rows) {
        LogCapture::instance().clear();
        bool ok = !r.ok;
        EXPECT_EQ(measureTexts(r.code, &ok), r.measures) << r.code;
        EXPECT_EQ(ok, r.ok) << r.code;
        if (r.log) {
            EXPECT_TRUE(LogCapture::instance().contains(r.log)) << r.code;
        }
    }
    bool ok = false;
    EXPECT_EQ(measureTexts("[ \\meter<\"128/8\"> c ]", &ok).size(), 1);
    EXPECT_TRUE(ok);
}

TEST(CountingSyllables, PositionsWithinABeat)
{
    // position in hundredths of the beat; a triple beat counts "trip", "let" and "a" between
    const struct { int pos, beat; bool triple; const char* syllable; } table[] = {
        {0, 2, true, "3"}, {16, 0, false, "16?"}, {25, 0, true, "25?"}, {50, 0, true, "a"}, {75, 0, true, "75?"},
        {83, 0, true, "a"}, {83, 0, false, "83?"}, {20, 0, false, "20?"},
    };
    for (const auto& t : table)
        EXPECT_EQ(ScoreAnalyzer::countingSyllable(t.pos, t.beat, t.triple), QString(t.syllable)) << t.pos;
    // notes beyond the measures stop the analysis
    ScoreAnalyzer analyzer(1, "[ \\meter<\"4/4\"> c d e f g ]");
    QList<ScoreMeasureInfo> measures;
    analyzer.analyzeMeasures(measures);
    QStringList syllables;
    LogCapture::instance().clear();
    EXPECT_FALSE(analyzer.analyzeRhythm(evenNotes(5, 4), measures, syllables));
    EXPECT_EQ(syllables, QStringList({"1", "2", "3", "4"}));
    EXPECT_TRUE(LogCapture::instance().contains("syntax error while mapping note to measure; explicit bars missing?"));
}

TEST(SolfegeSyllables, KeysBeyondSixWarnOnceWithoutTheFatalReport)
{
    AssertRecorder::clear();
    LogCapture::instance().clear();
    QStringList s;
    ScoreAnalyzer(1, "[ ]").analyzeMelody(evenNotes(3, 4), 7, Music::Major, s);
    EXPECT_EQ(s, QStringList({"?", "?", "?"}));
    EXPECT_EQ(AssertRecorder::count(), 0);
    EXPECT_EQ(LogCapture::instance().linesContaining("no solfege for key 7").size(), 1);
    // the score keeps such keys away from Music: a direct call is a broken caller, as is an unknown name
    EXPECT_EQ(Music::noteToSolfege(7, Music::Major, 1), nullptr);
    EXPECT_EQ(Music::noteToSolfege(-7, Music::Minor, 0), nullptr);
    EXPECT_EQ(Music::noteToSolfege(0, Music::Major, "h"), nullptr);
    EXPECT_EQ(AssertRecorder::expressions(), QStringList({"root", "root", "note_idx != -1"}));
    EXPECT_STREQ(Music::noteToSolfege(6, Music::Major, "F#"), "Do");
    EXPECT_STREQ(Music::noteToSolfege(0, Music::Major, "e&"), "Me");
}

TEST(NoteBrowser, UnknownNamesAndExtraEvents)
{
    // (sounding pitches across c and b: the score's pitch names)
    int note, octave;
    EXPECT_FALSE(RuvexGuidoScoreBrowser::soundingPitch("h", 0, 1, &note, &octave));

    // an unknown name is a broken reader; more events than the voice map has places are reported
    QList<ScoreNoteInfo> notes = evenNotes(1, 4);
    RuvexGuidoScoreBrowser browser(&notes);
    browser.note("", 0, 1);  // empty event: fills nothing
    AssertRecorder::clear();
    LogCapture::instance().clear();
    browser.note("h", 0, 1);
    browser.note("c", 0, 1);
    browser.rest();
    EXPECT_EQ(AssertRecorder::expressions(), QStringList({"note != Pitch::NONE"}));
    EXPECT_EQ(QList<int>({notes.size(), notes[0].note, browser.filled()}), QList<int>({1, 12, 1}));
    EXPECT_EQ(LogCapture::instance().linesContaining("note/octave list exceeds offset list (1 >= 1)").size(), 2);
}
