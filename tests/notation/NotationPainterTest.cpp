#include "notation/NotationPainter.h"
#include "notation/NotationEngine.h"
#include "notation/NotationResources.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <functional>
#include <thread>

namespace {

const QColor kNoteColour(0x1b, 0x7e, 0xdb);

bool isNoteColour(QRgb p)
{
    return qAbs(qRed(p) - kNoteColour.red()) < 40 && qAbs(qGreen(p) - kNoteColour.green()) < 40
        && qAbs(qBlue(p) - kNoteColour.blue()) < 40 && qBlue(p) > qRed(p) + 80;
}

bool isDark(QRgb p)
{
    return qGray(p) < 100;
}

// Where a page of the given size lands in the target when its aspect ratio is kept (centred).
QRectF fitted(const QSizeF& page, const QRect& target)
{
    const QSizeF size = page.scaled(QSizeF(target.size()), Qt::KeepAspectRatio);
    return QRectF(target.left() + (target.width() - size.width()) / 2,
                  target.top() + (target.height() - size.height()) / 2, size.width(), size.height());
}

// Pixels inside the rectangle that pass the test.
int countPixels(const QImage& image, const QRect& rect, const std::function<bool(QRgb)>& test)
{
    const QRect inside = rect.intersected(image.rect());
    int n = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            n += test(image.pixel(x, y)) ? 1 : 0;
    return n;
}

bool isRed(QRgb p)
{
    return qRed(p) > 150 && qGreen(p) < 100 && qBlue(p) < 100;
}

QImage render(NotationPainter& painter, const QSize& size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    EXPECT_TRUE(painter.draw(&p, 1, image.rect()));
    return image;
}

TEST(NotationPainterTest, FontIsInstalledAndRegistered)
{
    EXPECT_TRUE(NotationResources::fontFile().endsWith("/fonts/guido2.ttf"));
    ASSERT_TRUE(NotationResources::registerFont());
    EXPECT_TRUE(QFontDatabase().families().contains(NotationResources::fontFamily()));
    // The installed layout beside the test binaries is the one in use.
    EXPECT_TRUE(NotationResources::engineDirectory().startsWith(QStringLiteral(BRISOLA_BINARY_DIR) + "/Resources"));
}

TEST(NotationPainterTest, ColouredNotesAreColouredInsideTheirRectanglesOnly)
{
    NotationPainter painter;
    painter.setResizePageToMusic(true);
    ASSERT_TRUE(painter.setGMNCode("[ \\meter<\"4/4\"> c1/4 d \\noteFormat<color=\"0x1b7edb\"> e f "
                                   "\\noteFormat<color=\"black\"> g a b c2 ]"));
    const QImage image = render(painter, QSize(1024, 768));
    const QRectF page = fitted(painter.pageSize(1), image.rect());
    NotationMap map;
    ASSERT_EQ(painter.voiceMap(1, page.size(), 1, map), NotationPainter::NoError);
    ASSERT_EQ(map.size(), 8);
    QList<QRect> boxes;
    for (const NotationMapEntry& e : map)
        boxes.append(e.rect.translated(page.topLeft()).toAlignedRect());

    for (int i = 0; i < boxes.size(); ++i) {
        const bool coloured = i == 2 || i == 3;
        EXPECT_EQ(countPixels(image, boxes[i], isNoteColour) > 10, coloured) << "note " << i;
        EXPECT_GT(countPixels(image, boxes[i], isDark) + countPixels(image, boxes[i], isNoteColour), 10) << "note " << i;
    }
    // Stems of the coloured notes reach outside their heads, within the staff's band widened by its
    // own height: that is all the colour may cover.
    NotationMap staff;
    ASSERT_EQ(painter.staffMap(1, page.size(), 1, staff), NotationPainter::NoError);
    ASSERT_FALSE(staff.isEmpty());
    const QRectF band = staff[0].rect.translated(page.topLeft());
    QRegion allowed;
    for (int i : {2, 3})
        allowed += QRect(boxes[i].left() - 2, int(band.top() - band.height()), boxes[i].width() + 4, int(3 * band.height()));
    const int coloured = countPixels(image, image.rect(), isNoteColour);
    int inAllowed = 0;
    for (const QRect& r : allowed)
        inAllowed += countPixels(image, r, isNoteColour);
    EXPECT_GT(coloured, 50);
    EXPECT_EQ(coloured, inAllowed);
}

TEST(NotationPainterTest, DrawingKeepsTheAspectRatio)
{
    NotationPainter painter;
    ASSERT_TRUE(painter.setGMNCode("[ c d e f g a b c2 d e f g a b c3 ]"));
    // A target far wider than an A4 page: the page is centred and nothing is drawn at the sides.
    const QImage image = render(painter, QSize(1200, 300));
    const QRectF page = fitted(painter.pageSize(1), image.rect());
    EXPECT_NEAR(page.width() / page.height(), 210.0 / 297.0, 0.01);
    const int inside = countPixels(image, page.adjusted(-1, -1, 1, 1).toAlignedRect(), isDark);
    EXPECT_GT(inside, 20);
    EXPECT_EQ(countPixels(image, image.rect(), isDark), inside);
}

TEST(NotationPainterTest, PaintingOffTheGuiThreadUsesOnlyFetchedPages)
{
    // QtQuick may call paint on its render thread while the GUI thread waits.
    NotationPainter painter;
    NotationPageFormat small = painter.guidoPageFormat();
    small.height /= 4;
    painter.setGuidoPageFormat(small);
    QString code = "[ \\meter<\"4/4\">";
    for (int i = 0; i < 40; ++i)
        code += " c/8 d e f g a b c2 |";
    ASSERT_TRUE(painter.setGMNCode(code + " ]"));
    ASSERT_GT(painter.pageCount(), 1);
    LogCapture::instance().clear();
    bool first = false, second = true;
    NotationReply offThread;
    std::thread render([&] {
        QImage image(400, 300, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter p(&image);
        first = painter.draw(&p, 1, image.rect());   // page 1 came with the layout
        second = painter.draw(&p, 2, image.rect());  // page 2 was never fetched
        offThread = NotationEngine::instance().call("handles");
    });
    render.join();
    EXPECT_TRUE(first);
    EXPECT_FALSE(second);
    EXPECT_EQ(offThread.status, NotationReply::EngineError);
    EXPECT_TRUE(LogCapture::instance().contains("not fetched"));
    EXPECT_TRUE(painter.isGMNValid());
    // Back on the GUI thread the page is fetched and drawn.
    QImage image(400, 300, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    EXPECT_TRUE(painter.draw(&p, 2, image.rect()));
}

TEST(NotationPainterTest, FetchedPagesStayDrawableOffTheGuiThreadAfterAFormatOrColourChange)
{
    NotationPainter painter;
    ASSERT_TRUE(painter.setGMNCode("[ \\meter<\"4/4\"> c d e f | g a b c2 ]"));
    auto drawOffThread = [&painter](QImage& image) {
        bool drawn = false;
        std::thread render([&] {
            image.fill(Qt::white);
            QPainter p(&image);
            drawn = painter.draw(&p, 1, image.rect());
        });
        render.join();
        return drawn;
    };
    QImage image(400, 300, QImage::Format_RGB32);
    // A compact page (margins 0) is laid out again; page 1 must still be there for the render thread.
    NotationPageFormat compact = painter.guidoPageFormat();
    compact.marginLeft = compact.marginTop = compact.marginRight = compact.marginBottom = 0.0f;
    painter.setGuidoPageFormat(compact);
    EXPECT_TRUE(drawOffThread(image));
    painter.setScoreColor(QColor(200, 0, 0));
    ASSERT_TRUE(drawOffThread(image));
    EXPECT_GT(countPixels(image, image.rect(), isRed), 20);
}

TEST(NotationPainterTest, AnInvalidScoreSaysWhereAndDrawsNothing)
{
    NotationPainter painter;
    EXPECT_FALSE(painter.setGMNCode("[ c d\n e ( f ]"));
    int line = 0, column = 0;
    EXPECT_EQ(painter.getLastParseErrorLine(line, column), NotationPainter::ParseError);
    EXPECT_EQ(line, 2);
    EXPECT_EQ(column, 5);
    QImage image(100, 100, QImage::Format_RGB32);
    QPainter p(&image);
    EXPECT_FALSE(painter.draw(&p, 1, image.rect()));
    EXPECT_TRUE(painter.firstVoiceEvents().isEmpty());
    // A good code afterwards clears the error.
    EXPECT_TRUE(painter.setGMNCode("[ c d e ]"));
    EXPECT_EQ(painter.getLastParseErrorLine(line, column), NotationPainter::NoError);
    EXPECT_EQ(line, -1);
}

TEST(NotationPainterTest, FileIsReadAndAMissingFileIsAnError)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/q.gmn";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[ c d e ]");
    file.close();
    NotationPainter painter;
    EXPECT_TRUE(painter.setGMNFile(path));
    EXPECT_EQ(painter.gmnCode(), "[ c d e ]");
    EXPECT_FALSE(painter.setGMNFile(dir.path() + "/missing.gmn"));
    EXPECT_FALSE(painter.isGMNValid());
    EXPECT_TRUE(painter.getLastErrorMessage().contains("missing.gmn"));
}

}  // namespace
