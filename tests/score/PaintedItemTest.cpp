#include "ScoreFixture.h"

#include "notation/NotationPageManager.h"
#include "score/QGuidoQuickPaintedItem.h"

#include <QImage>
#include <QPainter>
#include <QSignalSpy>

// The bare painted item: extent, geometry signal, layout forwarding, painting.

TEST_F(ScoreTest, ItemExtentFollowsThePages)
{
    QGuidoQuickPaintedItem item;
    EXPECT_EQ(item.boundingRect(), QRectF(0, 0, 0, 0));
    QSignalSpy geometry(&item, &QGuidoQuickPaintedItem::geometryHasChanged);
    ASSERT_TRUE(item.setGMNCode("[ c d e f ]"));
    EXPECT_EQ(geometry.count(), 1);
    EXPECT_EQ(item.pageCount(), 1);
    const QSizeF mm = item.pageSizeMM(1);
    EXPECT_NEAR(item.boundingRect().width(), mm.width(), 1.0);
    EXPECT_NEAR(item.boundingRect().height(), mm.height(), 1.0);

    // a relayout that keeps the size repaints without the signal
    item.setSystemsDistance(90.0f);
    EXPECT_FLOAT_EQ(item.getSystemsDistance(), 90.0f);
    item.resetSystemsDistance();
    EXPECT_FLOAT_EQ(item.getSystemsDistance(), 75.0f);
    EXPECT_EQ(geometry.count(), 1);

    // the current value changes nothing; the other one lays the page out to the music
    item.setResizePageToMusic(false);
    EXPECT_EQ(geometry.count(), 1);
    item.setResizePageToMusic(true);
    EXPECT_TRUE(item.isResizePageToMusic());
    EXPECT_EQ(geometry.count(), 2);
    EXPECT_LT(item.boundingRect().height(), mm.height() / 2);
}

TEST_F(ScoreTest, ItemWithRefusedCodeHasNoPagesAndPaintsNothing)
{
    QGuidoQuickPaintedItem item;
    ASSERT_TRUE(item.setGMNCode("[ c ]"));
    QSignalSpy geometry(&item, &QGuidoQuickPaintedItem::geometryHasChanged);
    EXPECT_FALSE(item.setGMNCode("[ c d"));
    EXPECT_FALSE(item.isGMNValid());
    EXPECT_FALSE(item.getLastErrorMessage().isEmpty());
    int line = -1, column = -1;
    item.getLastParseErrorLine(line, column);
    EXPECT_EQ(line, 1);
    EXPECT_EQ(item.pageCount(), 0);
    EXPECT_EQ(geometry.count(), 1);
    EXPECT_EQ(item.boundingRect().width(), 0.0);
    EXPECT_GT(item.firstVisiblePage(), item.lastVisiblePage());

    QImage image(200, 200, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    item.paint(&painter);
    painter.end();
    int dark = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            dark += qGray(image.pixel(x, y)) < 200;
    EXPECT_EQ(dark, 0);
}

TEST_F(ScoreTest, ScoreColourIsTheLayersColour)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ c d ]"));
    QSignalSpy colour(&score, &Score::colorChanged);
    score.setColor(QColor(Qt::red));
    EXPECT_EQ(score.color(), QColor(Qt::red));
    EXPECT_EQ(colour.count(), 0);
}
