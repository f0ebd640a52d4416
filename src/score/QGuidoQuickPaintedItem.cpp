#include "score/QGuidoQuickPaintedItem.h"

#include "notation/NotationPageManager.h"
#include "notation/NotationPainter.h"

#include <QPainter>

QGuidoQuickPaintedItem::QGuidoQuickPaintedItem(QQuickItem* parent)
    : QQuickPaintedItem(parent)
    , mGuidoPainter(new NotationPainter)
    , mp_pageManager(new NotationPageManager)
{
}

QGuidoQuickPaintedItem::~QGuidoQuickPaintedItem()
{
    delete mp_pageManager;
    delete mGuidoPainter;
}

void QGuidoQuickPaintedItem::readPageSizes()
{
    QList<QSizeF> sizes;
    for (int page = 1; page <= mGuidoPainter->pageCount(); ++page)
        sizes << mGuidoPainter->pageSizeMM(page);
    mp_pageManager->setPages(sizes);
}

void QGuidoQuickPaintedItem::updateItem()
{
    const QRect extent = QRectF(QPointF(0, 0), mp_pageManager->totalSize()).toRect();
    if (extent != m_extent) {
        m_extent = extent;
        emit geometryHasChanged();
    }
    update();
}

QRectF QGuidoQuickPaintedItem::boundingRect() const
{
    return QRectF(m_extent.left(), m_extent.top(), m_extent.right() - m_extent.left() + 1,
                  m_extent.bottom() - m_extent.top() + 1);
}

QRectF QGuidoQuickPaintedItem::computeBoundingRect() const
{
    return QRectF(QPointF(0, 0), mp_pageManager->totalSize());
}

void QGuidoQuickPaintedItem::paint(QPainter* painter)
{
    const int last = mp_pageManager->lastVisiblePage();
    for (int page = mp_pageManager->firstVisiblePage(); page <= last; ++page)
        mGuidoPainter->draw(painter, page, mp_pageManager->pageRect(page).toRect(), QRect());
}

bool QGuidoQuickPaintedItem::setGMNCode(const QString& code)
{
    const bool ok = mGuidoPainter->setGMNCode(code);
    readPageSizes();
    updateItem();
    return ok;
}

bool QGuidoQuickPaintedItem::setGMNFile(const QString& fileName)
{
    const bool ok = mGuidoPainter->setGMNFile(fileName);
    readPageSizes();
    updateItem();
    return ok;
}

void QGuidoQuickPaintedItem::setGuidoLayoutSettings(const NotationLayoutSettings& settings)
{
    mGuidoPainter->setGuidoLayoutSettings(settings);
    readPageSizes();
    updateItem();
}

void QGuidoQuickPaintedItem::setGuidoPageFormat(const NotationPageFormat& format)
{
    mGuidoPainter->setGuidoPageFormat(format);
    readPageSizes();
    updateItem();
}

void QGuidoQuickPaintedItem::setSystemsDistance(float distance)
{
    mGuidoPainter->setSystemsDistance(distance);
    readPageSizes();
    updateItem();
}

void QGuidoQuickPaintedItem::resetSystemsDistance()
{
    setSystemsDistance(75.0f);
}

void QGuidoQuickPaintedItem::setResizePageToMusic(bool on)
{
    if (on == mGuidoPainter->isResizePageToMusic())
        return;
    mGuidoPainter->setResizePageToMusic(on);
    readPageSizes();
    updateItem();
}

bool QGuidoQuickPaintedItem::setPage(int page)
{
    const bool ok = mp_pageManager->setPage(page);
    updateItem();
    return ok;
}

void QGuidoQuickPaintedItem::setGridHeight(int rows)
{
    mp_pageManager->setGridHeight(rows);
    updateItem();
}

void QGuidoQuickPaintedItem::setGridWidth(int columns)
{
    mp_pageManager->setGridWidth(columns);
    updateItem();
}

QString QGuidoQuickPaintedItem::gmnCode() const { return mGuidoPainter->gmnCode(); }
bool QGuidoQuickPaintedItem::isGMNValid() const { return mGuidoPainter->isGMNValid(); }
QString QGuidoQuickPaintedItem::getLastErrorMessage() const { return mGuidoPainter->getLastErrorMessage(); }
int QGuidoQuickPaintedItem::getLastParseErrorLine(int& line, int& column) const
{
    return mGuidoPainter->getLastParseErrorLine(line, column);
}
QString QGuidoQuickPaintedItem::fileName() const { return mGuidoPainter->fileName(); }
NotationLayoutSettings QGuidoQuickPaintedItem::guidoLayoutSettings() const
{
    return mGuidoPainter->guidoLayoutSettings();
}
float QGuidoQuickPaintedItem::getSystemsDistance() const { return mGuidoPainter->getSystemsDistance(); }
bool QGuidoQuickPaintedItem::isResizePageToMusic() const { return mGuidoPainter->isResizePageToMusic(); }
NotationPageFormat QGuidoQuickPaintedItem::guidoPageFormat() const { return mGuidoPainter->guidoPageFormat(); }
int QGuidoQuickPaintedItem::pageCount() const { return mGuidoPainter->pageCount(); }
QSizeF QGuidoQuickPaintedItem::pageSizeMM(int page) const { return mGuidoPainter->pageSizeMM(page); }
int QGuidoQuickPaintedItem::firstVisiblePage() const { return mp_pageManager->firstVisiblePage(); }
int QGuidoQuickPaintedItem::lastVisiblePage() const { return mp_pageManager->lastVisiblePage(); }
int QGuidoQuickPaintedItem::gridHeight() const { return mp_pageManager->gridHeight(); }
int QGuidoQuickPaintedItem::gridWidth() const { return mp_pageManager->gridWidth(); }
QColor QGuidoQuickPaintedItem::scoreColor() const { return mGuidoPainter->getScoreColor(); }
void QGuidoQuickPaintedItem::setScoreColor(const QColor& color) { mGuidoPainter->setScoreColor(color); }
