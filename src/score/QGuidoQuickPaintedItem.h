#pragma once

#include "notation/NotationLayoutSettings.h"
#include "notation/NotationPageFormat.h"

#include <QQuickPaintedItem>
#include <QRect>
#include <QSizeF>

class NotationPainter;
class NotationPageManager;

// A QtQuick item showing a GMN score: the notation engine lays the code out, the page manager
// places its pages, and each change recomputes the item's extent and repaints.
class QGuidoQuickPaintedItem : public QQuickPaintedItem {
    Q_OBJECT
public:
    explicit QGuidoQuickPaintedItem(QQuickItem* parent = nullptr);
    ~QGuidoQuickPaintedItem() override;

    QRectF boundingRect() const override;
    void paint(QPainter* painter) override;

    virtual bool setGMNFile(const QString& fileName);
    virtual bool setGMNCode(const QString& code);
    virtual void setGuidoLayoutSettings(const NotationLayoutSettings& settings);
    void setGuidoPageFormat(const NotationPageFormat& format);
    void setSystemsDistance(float distance);
    void resetSystemsDistance();
    void setResizePageToMusic(bool on);
    bool setPage(int page);
    void setGridHeight(int rows);
    void setGridWidth(int columns);

    QString gmnCode() const;
    bool isGMNValid() const;
    QString getLastErrorMessage() const;
    int getLastParseErrorLine(int& line, int& column) const;
    QString fileName() const;
    NotationLayoutSettings guidoLayoutSettings() const;
    float getSystemsDistance() const;
    bool isResizePageToMusic() const;
    NotationPageFormat guidoPageFormat() const;
    int pageCount() const;
    QSizeF pageSizeMM(int page) const;
    int firstVisiblePage() const;
    int lastVisiblePage() const;
    int gridHeight() const;
    int gridWidth() const;
    QRectF computeBoundingRect() const;

    QColor scoreColor() const;
    void setScoreColor(const QColor& color);

    NotationPainter* painter() const { return mGuidoPainter; }
    NotationPageManager* pageManager() const { return mp_pageManager; }

signals:
    void geometryHasChanged();

protected:
    // Page sizes from the painter into the page manager (millimetres).
    void readPageSizes();
    // Extent from the page manager, geometryHasChanged() when it moved, and a repaint.
    void updateItem();

private:
    QRect m_extent;
    NotationPainter* mGuidoPainter;
    NotationPageManager* mp_pageManager;
};
