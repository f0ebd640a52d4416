#include "notation/NotationPageManager.h"

#include "debug/Debugging.h"

#include <algorithm>

namespace {
const char* kChannel = "notation";
}

NotationPageManager::NotationPageManager()
{
    m_pages.append(QSizeF());
}

void NotationPageManager::setPages(const QList<QSizeF>& sizes)
{
    m_pages.clear();
    m_pages.append(QSizeF());
    m_pages.append(sizes);
    if (!isPage(m_firstPage))
        m_firstPage = 1;
}

QSizeF NotationPageManager::pageSize(int page) const
{
    if (!isPage(page)) {
        LOG_WARN(kChannel, "page %d out of range 1..%d", page, pageCount());
        return QSizeF();
    }
    return m_pages[page];
}

bool NotationPageManager::setPage(int page)
{
    if (!isPage(page)) {
        LOG_WARN(kChannel, "cannot show page %d of %d", page, pageCount());
        return false;
    }
    m_firstPage = page;
    return true;
}

void NotationPageManager::setGridWidth(int columns)
{
    m_gridWidth = std::max(1, columns);
}

void NotationPageManager::setGridHeight(int rows)
{
    m_gridHeight = std::max(1, rows);
}

int NotationPageManager::firstVisiblePage() const
{
    return m_firstPage;
}

int NotationPageManager::lastVisiblePage() const
{
    if (pageCount() == 0)
        return m_firstPage - 1;
    return std::min(pageCount(), m_firstPage + m_gridWidth * m_gridHeight - 1);
}

void NotationPageManager::columnsAndRows(QList<qreal>& widths, QList<qreal>& heights) const
{
    widths.clear();
    heights.clear();
    for (int p = firstVisiblePage(); p <= lastVisiblePage(); ++p) {
        const int cell = p - firstVisiblePage();
        const int column = cell % m_gridWidth;
        const int row = cell / m_gridWidth;
        while (widths.size() <= column)
            widths.append(0.0);
        while (heights.size() <= row)
            heights.append(0.0);
        widths[column] = std::max(widths[column], m_pages[p].width());
        heights[row] = std::max(heights[row], m_pages[p].height());
    }
}

QSizeF NotationPageManager::totalSize() const
{
    QList<qreal> widths, heights;
    columnsAndRows(widths, heights);
    qreal w = 0.0, h = 0.0;
    for (qreal x : widths)
        w += x;
    for (qreal y : heights)
        h += y;
    return QSizeF(w, h);
}

QRectF NotationPageManager::pageRect(int page) const
{
    if (page < firstVisiblePage() || page > lastVisiblePage())
        return QRectF();
    QList<qreal> widths, heights;
    columnsAndRows(widths, heights);
    const int cell = page - firstVisiblePage();
    qreal x = 0.0, y = 0.0;
    for (int c = 0; c < cell % m_gridWidth; ++c)
        x += widths[c];
    for (int r = 0; r < cell / m_gridWidth; ++r)
        y += heights[r];
    return QRectF(QPointF(x, y), m_pages[page]);
}
