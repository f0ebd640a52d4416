#include "ScoreFixture.h"

#include "notation/NotationPageManager.h"
#include "support/LogCapture.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>

#include <cmath>

// Scaling, compact pages, note rectangles and painting.

namespace {

const char* const kQuestion =
    "[ \\meter<\"4/4\"> \\key<-1> f1/4 g a b& | c2/8 b&1 a g f/2 | e/4. f/8 g/4 a | f/1 ]";

// The score as painted into an image of its own size, white behind, note rectangles in red.
QImage paintWithRects(Score& score)
{
    QImage image(QSize(int(score.width()), int(score.height())), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    score.paint(&painter);
    return image;
}

// Dark pixels in a rectangle of the image.
int inkIn(const QImage& image, const QRect& rect)
{
    const QRect r = rect.intersected(image.rect());
    int dark = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            dark += qGray(image.pixel(x, y)) < 128;
    return dark;
}

} // namespace

TEST_F(ScoreTest, ScalingFactorLimitsAndSize)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode(kQuestion));
    const QSizeF base = score.basePageSize();
    ASSERT_GT(base.width(), 100.0);
    EXPECT_DOUBLE_EQ(score.width(), 2.0 * base.width());
    EXPECT_DOUBLE_EQ(score.height(), 2.0 * base.height());
    EXPECT_EQ(score.pageManager()->pageCount(), 1);

    QSignalSpy scaling(&score, &Score::scalingFactorChanged);
    score.setScalingFactor(-0.5);
    score.setScalingFactor(10.5);
    score.setScalingFactor(2.0);
    score.setScalingFactor(std::nan(""));
    EXPECT_EQ(scaling.count(), 0);
    EXPECT_DOUBLE_EQ(score.scalingFactor(), 2.0);
    score.setScalingFactor(1.0);
    EXPECT_EQ(scaling.count(), 1);
    EXPECT_DOUBLE_EQ(score.width(), base.width());
    EXPECT_EQ(score.pageManager()->pageSize(1), base);
    // zero is stored but leaves the layout as it was
    score.setScalingFactor(0.0);
    EXPECT_EQ(scaling.count(), 2);
    EXPECT_DOUBLE_EQ(score.width(), base.width());
}

TEST_F(ScoreTest, RectanglesFollowTheScale)
{
    Score score;
    QSignalSpy rects(&score, &Score::noteBoundingRectsChanged);
    ASSERT_TRUE(score.setGMNCode(kQuestion));
    EXPECT_EQ(rects.count(), 1);
    ASSERT_EQ(score.noteBoundingRects().size(), score.noteCount());
    const QRectF at2 = score.noteBoundingRectAtIdx(3).toRectF();
    score.setScalingFactor(1.0);
    const QRectF at1 = score.noteBoundingRectAtIdx(3).toRectF();
    EXPECT_NEAR(at2.left(), 2 * at1.left(), 0.5);
    EXPECT_NEAR(at2.height(), 2 * at1.height(), 0.5);
    EXPECT_FALSE(score.noteBoundingRectAtIdx(-1).isValid());
    EXPECT_FALSE(score.noteBoundingRectAtIdx(score.noteCount()).isValid());
    // notes run left to right within the first system
    EXPECT_LT(score.noteBoundingRectAtIdx(0).toRectF().left(), score.noteBoundingRectAtIdx(1).toRectF().left());
}

TEST_F(ScoreTest, CompactPagesLoseTheirMargins)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode(kQuestion));
    const QSizeF before = score.basePageSize();
    const float margin = score.guidoPageFormat().marginLeft;
    QSignalSpy compact(&score, &Score::compactChanged);
    score.setCompact(true);
    EXPECT_EQ(compact.count(), 1);
    EXPECT_FLOAT_EQ(score.guidoPageFormat().marginLeft, 0.0f);
    EXPECT_GT(margin, 0.0f);
    EXPECT_TRUE(score.compact());
    EXPECT_DOUBLE_EQ(score.width(), 2.0 * score.basePageSize().width());
    EXPECT_EQ(score.noteBoundingRects().size(), score.noteCount());
    score.setCompact(true);
    EXPECT_EQ(compact.count(), 1);
    score.setCompact(false);
    EXPECT_EQ(score.basePageSize(), before);
}

TEST_F(ScoreTest, LayoutOfAnInvalidScoreBailsOut)
{
    Score score;
    LogCapture::instance().clear();
    score.rescale();
    score.acquireBoundingRects();
    EXPECT_EQ(LogCapture::instance().linesContaining("gmn not valid; bailing out").size(), 2);
    EXPECT_TRUE(score.noteBoundingRects().isEmpty());
}

TEST_F(ScoreTest, RectanglesSitOnThePaintedNotes)
{
    const QString out = QStringLiteral(BRISOLA_BINARY_DIR) + "/tests/score-pictures";
    QDir().mkpath(out);
    Score score;
    ASSERT_TRUE(score.setGMNCode(kQuestion));
    for (double factor : {1.0, 2.0}) {
        score.setScalingFactor(factor);
        QImage image = paintWithRects(score);
        int inked = 0;
        for (const QVariant& v : score.noteBoundingRects())
            inked += inkIn(image, v.toRectF().toRect()) > 2 * factor * factor;
        // every rectangle holds its note head and stem
        EXPECT_EQ(inked, score.noteCount()) << "factor " << factor;
        // far from the notes, below the system, the page is blank
        const QRectF first = score.noteBoundingRectAtIdx(0).toRectF();
        EXPECT_EQ(inkIn(image, first.translated(0, 4 * first.height()).toRect()), 0);

        QPainter painter(&image);
        painter.setPen(QPen(Qt::red, 1));
        for (const QVariant& v : score.noteBoundingRects())
            painter.drawRect(v.toRectF());
        painter.end();
        EXPECT_TRUE(image.save(QString("%1/question-%2x.png").arg(out).arg(int(factor))));
    }
}

TEST_F(ScoreTest, PercussiveRectanglesAreNotFlat)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"4/4\"> x x/8 x/8 x/4 _ | x/2 x/2 ] (* percussive *)"));
    QImage image = paintWithRects(score);
    ASSERT_EQ(score.noteBoundingRects().size(), 7);
    for (int i = 0; i < score.noteCount(); ++i) {
        const QRectF rect = score.noteBoundingRectAtIdx(i).toRectF();
        // the one-line staff has no height of its own; the rectangle takes the note's
        EXPECT_GT(rect.height(), 5.0) << i;
        EXPECT_GT(inkIn(image, rect.toRect()), 8) << i;
    }
    QPainter painter(&image);
    painter.setPen(QPen(Qt::red, 1));
    for (const QVariant& v : score.noteBoundingRects())
        painter.drawRect(v.toRectF());
    painter.end();
    const QString out = QStringLiteral(BRISOLA_BINARY_DIR) + "/tests/score-pictures";
    QDir().mkpath(out);
    EXPECT_TRUE(image.save(out + "/percussive-2x.png"));
}

TEST_F(ScoreTest, ChordRectanglesSitOnTheirNotes)
{
    Score score;
    ASSERT_TRUE(
        score.setGMNCode("[ \\meter<\"4/4\"> {e1, c, g} {f1, g, a} d1 {c2, e1, a1} | {b0/2, d1, f1, g1} c1/2 ]"));
    // the notes drawn beside the stem (g1 of both seconds) have no head in the engine's map
    EXPECT_EQ(pitchesOf(score), QList<int>({4, 0, 7, 5, 9, 2, 0, 4, 9, 11, 2, 5, 0}));
    ASSERT_EQ(score.noteBoundingRects().size(), score.noteCount());
    QImage image = paintWithRects(score);
    for (int i = 0; i < score.noteCount(); ++i) {
        const QRectF rect = score.noteBoundingRectAtIdx(i).toRectF();
        EXPECT_GT(inkIn(image, rect.toRect()), 8) << i;
        // the notes of one chord share their onset and their column
        if (i > 0 && score.noteList()[i].start() == score.noteList()[i - 1].start()) {
            EXPECT_NEAR(rect.center().x(), score.noteBoundingRectAtIdx(i - 1).toRectF().center().x(), 1.0) << i;
        }
    }
    QPainter painter(&image);
    painter.setPen(QPen(Qt::red, 1));
    for (const QVariant& v : score.noteBoundingRects())
        painter.drawRect(v.toRectF());
    painter.end();
    const QString out = QStringLiteral(BRISOLA_BINARY_DIR) + "/tests/score-pictures";
    QDir().mkpath(out);
    EXPECT_TRUE(image.save(out + "/chords-2x.png"));
}
