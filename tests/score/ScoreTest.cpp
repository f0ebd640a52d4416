#include "ScoreFixture.h"

#include "notation/NotationPageManager.h"
#include "score/QGuidoQuickPaintedItem.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>

#include <cmath>

// The score object: code and tags, note lists with their analyses, layout, painting.

TEST_F(ScoreTest, SettingCodeTagsAndRefusedCodes)
{
    Score score;
    QSignalSpy changed(&score, &Score::gmnCodeChanged), notes(&score, &Score::noteCountChanged);
    QSignalSpy tempo(&score, &Score::tempoChanged), metronome(&score, &Score::metronomeChanged);
    const char* code = "[ \\meter<\"3/4\"> \\key<-3> \\solfege<\"minor\"> \\bpm<80> \\countingOverlay "
                       "\\metronome<\"accented\"> \\countIn c d e ]";
    ASSERT_TRUE(score.setGMNCode(code));
    const int noteSignals = notes.count();
    EXPECT_TRUE(score.setGMNCode(code));  // the same code again: no new analysis, no signals
    EXPECT_EQ(QList<int>({changed.count(), notes.count(), tempo.count(), metronome.count()}), QList<int>({1, noteSignals, 1, 3}));
    EXPECT_EQ(QVariantList({score.key(), score.scaleType(), score.tempo(), score.playbackRhythmSyllables(),
                            score.playbackSolfegeSyllables(), score.metronomeMode(), score.metronomeScore(), score.metronomeCountIn()}),
              QVariantList({-3, int(Music::Minor), 80, true, false, int(Metronome::ModeAccented), true, true}));

    // refused: everything stays, and setting the refused code again is no success either
    EXPECT_FALSE(score.setGMNCode("[ c d e"));
    EXPECT_TRUE(LogCapture::instance().contains("could not set GMN code \"[ c d e\""));
    EXPECT_FALSE(score.setGMNCode("[ c d e"));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(score.noteCount(), 3);
    EXPECT_EQ(score.countingSyllableList(), QStringList({"1", "2", "3"}));

    // the next code re-derives key and flags; tempo, scale, mode and the metronome switches stay
    ASSERT_TRUE(score.setGMNCode("[ \\solfege<\"Major\"> \\metronome<loud> \\bpm<0> c d ]"));
    score.setGMNCode("[ c x ]");
    EXPECT_EQ(QVariantList({score.key(), score.scaleType(), score.tempo(), score.playbackRhythmSyllables(),
                            score.metronomeMode(), score.metronomeScore(), score.metronomeCountIn()}),
              QVariantList({0, int(Music::Minor), 80, false, int(Metronome::ModeAccented), true, true}));
    for (const char* line : {"unknown scale type Major", "unknown metronome mode loud", "ignoring bpm<0>",
                             "percussive note(s) in non-percussive mode"})
        EXPECT_TRUE(LogCapture::instance().contains(line)) << line;
    score.setTempo(0);
    score.setTempo(-20);
    EXPECT_EQ(score.tempo(), 80);
    EXPECT_EQ(tempo.count(), 1);
}

TEST_F(ScoreTest, NoteListsAndTheirSyllables)
{
    const double t = 1.0 / 3;
    const struct { const char* code; QList<int> pitches; QList<double> starts; double duration; QStringList counting, solfege; } rows[] = {
        {"[ c1/4 d e f ]", {0, 2, 4, 5}, {0, 0.6, 1.2, 1.8}, 2.4, {}, {}},
        {"[ \\bpm<60> c/4. d/8 _/4 e/12 f g a/2 ]", {0, 2, 12, 4, 5, 7, 9}, {0, 1.5, 2, 3, 3 + t, 3 + 2 * t, 4}, 6.0, {}, {}},
        {"[ \\meter<\"4/4\"> c/2 \\tie(d/4 d/4) | \\tie(e/4 f/4) g/2 ]", {0, 2, 12, 4, 5, 7}, {}, 4.8,
         {"1", "3", "", "1", "2", "3"}, {"Do", "Re", "", "Mi", "Fa", "Sol"}},
        // the half note crosses the bar line: the engine draws two tied quarters, it sounds once
        {"[ \\meter<\"2/4\"> c/4 d/2 e/4 ]", {0, 2, 12, 4}, {0, 0.6, 1.2, 1.8}, 2.4, {}, {}},
        {"[ \\meter<\"2/4\"> {c, e, g} d ]", {0, 4, 7, 2}, {0, 0, 0, 0.6}, 1.2, {"1", "", "", "2"}, {}},
        // no head in the engine's map for a note drawn beside the stem (g, d): nothing after them shifts
        {"[ {f1, g, a} {c1, d, e} {e1, c1, g1} c2 ]", {5, 9, 0, 4, 4, 0, 7, 0}, {0, 0, 0.6, 0.6, 1.2, 1.2, 1.2, 1.8}, 2.4, {}, {}},
        // the grace note takes no time: d begins the measure and g ends it
        {"[ \\meter<\"4/4\"> \\grace(c/16) d/4 e f g ]", {0, 2, 4, 5, 7}, {0, 0, 0.6, 1.2, 1.8}, 2.4, {}, {}},
        {"[ \\meter<\"6/8\"> \\key<1> g/8 a b c2/4 d/8 | e/4. d/4. ]", {7, 9, 11, 0, 2, 4, 2}, {}, 3.6,
         {"1", "trip", "let", "2", "let", "1", "2"}, {"Do", "Re", "Mi", "Fa", "Sol", "La", "Sol"}},
        {"[ \\meter<\"4/4\"> c d e f g ]", {0, 2, 4, 5, 7}, {}, 3.0, {"1", "2", "3", "4"}, {}},  // explicit bars missing
        {"[ \\meter<\"2/4\"> c/16 d e f g/4 ]", {}, {}, 1.2, {"1", "e", "&", "a", "2"}, {}},
        {"[ \\meter<\"2/4\"> c/12 d e f/4 ]", {}, {0, 0.2, 0.4, 0.6}, 1.2, {"1", "trip", "let", "2"}, {}},
        {"[ \\meter<\"6/8\"> c/16 d e f g a ]", {}, {}, 0.9, {"1", "a", "trip", "a", "let", "a"}, {}},
        {"[ \\meter<\"7/8\"> \\countingScheme<\"2+2+3\"> c/8 d e f g a b ]", {}, {}, 2.1, {"1", "&", "2", "&", "3", "trip", "let"}, {}},
        {"[ \\meter<\"C/\"> c/2 d/4 e | f/1 ]", {0, 2, 4, 5}, {}, 4.8, {"1", "2", "&", "1"}, {}},
        {"[ \\key<0> \\solfege<\"minor\"> a0 b c1 d e f g# a ]", {9, 11, 0, 2, 4, 5, 8, 9}, {}, 4.8, {},
         {"Do", "Re", "Me", "Fa", "Sol", "Le", "Ti", "Do"}},
        {"[ \\key<7> c d ]", {0, 2}, {}, 1.2, {}, {"?", "?"}},  // warned, never the fatal report
        {"[ \\meter<\"2/4\"> x x/8 x/8 ] (* percussive *)", {9, 9, 9}, {}, 1.2, {"1", "2", "&"}, {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.code);
        LogCapture::instance().clear();
        Score score;
        ASSERT_TRUE(score.setGMNCode(r.code));
        QList<int> pitches;
        QStringList starts, expected;
        for (const Score::NoteInfo& n : score.noteList())
            pitches << n.note, starts << QString::number(n.start(), 'g', 6);
        for (double start : r.starts)
            expected << QString::number(start, 'g', 6);
        // an empty column is not checked
        EXPECT_EQ(r.pitches.isEmpty() ? r.pitches : pitches, r.pitches);
        EXPECT_EQ(r.starts.isEmpty() ? expected : starts, expected);
        EXPECT_NEAR(score.duration(), r.duration, 1e-9);
        EXPECT_NEAR(score.noteList().last().end(), r.duration, 1e-9);
        EXPECT_EQ(r.counting.isEmpty() ? r.counting : score.countingSyllableList(), r.counting);
        EXPECT_EQ(r.solfege.isEmpty() ? r.solfege : score.solfegeSyllableList(), r.solfege);
        EXPECT_EQ(score.noteBoundingRects().size(), score.noteCount());
        EXPECT_FALSE(LogCapture::instance().contains("exceeds offset list"));
        EXPECT_EQ(AssertRecorder::count(), 0);
    }
}

TEST_F(ScoreTest, PitchNamesTimesAndMeterErrors)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ c&1 b#1 c##1 a1 ]"));  // across c and b the sounding octave counts
    QStringList names;
    for (int i = -1; i <= 4; ++i)
        names << score.noteAtIndex(i);
    EXPECT_EQ(names, QStringList({"?", "B0", "C2", "D1", "A1", "?"}));
    QSignalSpy duration(&score, &Score::durationChanged);
    score.setTempo(50);
    EXPECT_DOUBLE_EQ(score.duration(), 4.8);
    EXPECT_DOUBLE_EQ(score.noteList()[1].start(), 1.2);
    EXPECT_EQ(duration.count(), 1);
    EXPECT_DOUBLE_EQ(score.guidoDateToAudioTime({3, 2}), 7.2);

    // a meter error keeps the previous counting but derives new solfege
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"2/4\"> c d ]"));
    QSignalSpy signatures(&score, &Score::timeSignaturesChanged);
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"C\"> e f g a ]"));
    EXPECT_EQ(signatures.count(), 0);
    EXPECT_TRUE(score.measureInfoList().isEmpty());
    EXPECT_EQ(score.countingSyllableList(), QStringList({"1", "2"}));
    EXPECT_EQ(score.solfegeSyllableList(), QStringList({"Mi", "Fa", "Sol", "La"}));
}

namespace {

const char* const kQuestion = "[ \\meter<\"4/4\"> \\key<-1> f1/4 g a b& | c2/8 b&1 a g f/2 | e/4. f/8 g/4 a | f/1 ]";

QImage paintScore(Score& score)
{
    QImage image(QSize(int(score.width()), int(score.height())), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    score.paint(&painter);
    return image;
}
int inkIn(const QImage& image, const QRect& rect)
{
    const QRect r = rect.intersected(image.rect());
    int dark = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            dark += qGray(image.pixel(x, y)) < 128;
    return dark;
}

}  // namespace

TEST_F(ScoreTest, ScalingCompactPagesAndRectangles)
{
    Score score;
    score.rescale();
    score.acquireBoundingRects();
    EXPECT_EQ(logged("gmn not valid; bailing out"), 2);
    QSignalSpy rects(&score, &Score::noteBoundingRectsChanged);
    ASSERT_TRUE(score.setGMNCode(kQuestion));
    EXPECT_EQ(rects.count(), 1);
    const QSizeF base = score.basePageSize();
    EXPECT_EQ(QSizeF(score.width(), score.height()), 2.0 * base);
    EXPECT_EQ(score.pageManager()->pageCount(), 1);
    const QRectF at2 = score.noteBoundingRectAtIdx(3).toRectF();

    QSignalSpy scaling(&score, &Score::scalingFactorChanged);
    for (double refused : {-0.5, 10.5, 2.0, std::nan("")})
        score.setScalingFactor(refused);
    EXPECT_EQ(scaling.count(), 0);
    EXPECT_DOUBLE_EQ(score.scalingFactor(), 2.0);
    score.setScalingFactor(1.0);
    EXPECT_EQ(score.pageManager()->pageSize(1), base);
    const QRectF at1 = score.noteBoundingRectAtIdx(3).toRectF();
    EXPECT_NEAR(at2.left(), 2 * at1.left(), 0.5);
    EXPECT_NEAR(at2.height(), 2 * at1.height(), 0.5);
    EXPECT_FALSE(score.noteBoundingRectAtIdx(-1).isValid());
    EXPECT_FALSE(score.noteBoundingRectAtIdx(score.noteCount()).isValid());
    score.setScalingFactor(0.0);  // stored, but the layout stays
    EXPECT_EQ(scaling.count(), 2);
    EXPECT_DOUBLE_EQ(score.width(), base.width());

    QSignalSpy compact(&score, &Score::compactChanged);
    EXPECT_GT(score.guidoPageFormat().marginLeft, 0.0f);
    score.setCompact(true);
    score.setCompact(true);
    EXPECT_EQ(compact.count(), 1);
    EXPECT_FLOAT_EQ(score.guidoPageFormat().marginLeft, 0.0f);
    EXPECT_EQ(score.noteBoundingRects().size(), score.noteCount());
    score.setCompact(false);
    EXPECT_EQ(score.basePageSize(), base);
}

// The pictures are written to <build>/tests/score-pictures with the rectangles in red, to be looked at.
TEST_F(ScoreTest, RectanglesSitOnThePaintedNotes)
{
    const QString out = QStringLiteral(BRISOLA_BINARY_DIR) + "/tests/score-pictures";
    QDir().mkpath(out);
    const struct { const char* name; const char* code; double factor; } rows[] = {
        {"question-1x", kQuestion, 1.0}, {"question-2x", kQuestion, 2.0},
        // the one-line staff has no height of its own: the rectangle takes the note's
        {"percussive-2x", "[ \\meter<\"4/4\"> x x/8 x/8 x/4 _ | x/2 x/2 ] (* percussive *)", 2.0},
        {"chords-2x", "[ \\meter<\"4/4\"> {e1, c, g} {f1, g, a} d1 {c2, e1, a1} | {b0/2, d1, f1, g1} c1/2 ]", 2.0},
    };
    for (const auto& r : rows) {
        Score score;
        ASSERT_TRUE(score.setGMNCode(r.code));
        score.setScalingFactor(r.factor);
        QImage image = paintScore(score);
        ASSERT_EQ(score.noteBoundingRects().size(), score.noteCount()) << r.name;
        for (int i = 0; i < score.noteCount(); ++i) {
            const QRectF rect = score.noteBoundingRectAtIdx(i).toRectF();
            EXPECT_GT(rect.height(), 2.5 * r.factor) << r.name << " " << i;
            EXPECT_GT(inkIn(image, rect.toRect()), 2 * r.factor * r.factor) << r.name << " " << i;
            if (i > 0 && score.noteList()[i].start() == score.noteList()[i - 1].start()) {  // a chord shares its column
                EXPECT_NEAR(rect.center().x(), score.noteBoundingRectAtIdx(i - 1).toRectF().center().x(), 1.0) << r.name << i;
            }
        }
        const QRectF first = score.noteBoundingRectAtIdx(0).toRectF();
        EXPECT_EQ(inkIn(image, first.translated(0, 4 * first.height()).toRect()), 0) << r.name;  // blank below
        QPainter painter(&image);
        painter.setPen(QPen(Qt::red, 1));
        for (const QVariant& v : score.noteBoundingRects())
            painter.drawRect(v.toRectF());
        painter.end();
        EXPECT_TRUE(image.save(QString("%1/%2.png").arg(out, r.name)));
    }
}

TEST_F(ScoreTest, PaintedItemFollowsItsPages)
{
    QGuidoQuickPaintedItem item;
    QSignalSpy geometry(&item, &QGuidoQuickPaintedItem::geometryHasChanged);
    ASSERT_TRUE(item.setGMNCode("[ c d e f ]"));
    const QSizeF mm = item.pageSizeMM(1);
    EXPECT_NEAR(item.boundingRect().width(), mm.width(), 1.0);
    item.setResizePageToMusic(true);
    EXPECT_EQ(geometry.count(), 2);
    EXPECT_LT(item.boundingRect().height(), mm.height() / 2);

    EXPECT_FALSE(item.setGMNCode("[ c d"));  // a refused code leaves no page to paint
    EXPECT_EQ(QVariantList({item.pageCount(), item.boundingRect().width(), geometry.count()}), QVariantList({0, 0.0, 3}));
    QImage image(200, 200, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    item.paint(&painter);
    painter.end();
    EXPECT_EQ(inkIn(image, image.rect()), 0);
}
