#pragma once

#include <QList>
#include <QRectF>
#include <QSizeF>

// Lays pages out on a grid of columns and rows. Pages are numbered from 1; a page number outside
// 1..pageCount() is refused (logged) rather than read past the list.
class NotationPageManager {
public:
    NotationPageManager();

    // Sizes of pages 1..n in order (any unit; the grid is laid out in it).
    void setPages(const QList<QSizeF>& sizes);
    int pageCount() const { return m_pages.size() - 1; }
    QSizeF pageSize(int page) const;

    // First page shown in the grid's top left cell.
    bool setPage(int page);
    int page() const { return m_firstPage; }

    void setGridWidth(int columns);
    void setGridHeight(int rows);
    int gridWidth() const { return m_gridWidth; }
    int gridHeight() const { return m_gridHeight; }

    // The visible pages; the first is after the last when none is visible.
    int firstVisiblePage() const;
    int lastVisiblePage() const;

    // Size of the grid of visible pages, each column as wide and each row as high as its largest page.
    QSizeF totalSize() const;
    // Where a visible page sits in that grid (its own size, at its cell's top left); null otherwise.
    QRectF pageRect(int page) const;

private:
    bool isPage(int page) const { return page >= 1 && page <= pageCount(); }
    void columnsAndRows(QList<qreal>& widths, QList<qreal>& heights) const;

    QList<QSizeF> m_pages;  // entry 0 is unused, so that page n is entry n
    int m_firstPage = 1;
    int m_gridWidth = 1;
    int m_gridHeight = 1;
};
