#pragma once

#include <QMargins>
#include <QObject>
#include <QRect>
#include <QSize>

class QWindow;

// Where the main window opens: at its preferred size where the screen's free area holds it with its
// frame, else as large as fits; centred, and never with its frame (title bar, buttons) off that
// area. The frame is known only once a window manager has framed the window, so the window is
// placed again then, once.
class WindowPlacement : public QObject {
public:
    // The window's own geometry (without its frame) in the available area of a screen.
    static QRect fitted(const QSize& preferred, const QRect& available, const QMargins& frame);
    // The smallest size the window may take: minimum, or less where the area is smaller.
    static QSize minimumFor(const QSize& minimum, const QRect& available, const QMargins& frame);
    // Places a shown window on its screen now and once more when its frame becomes known.
    static void place(QWindow* window, const QSize& preferred, const QSize& minimum);

private:
    WindowPlacement(QWindow* window, const QSize& preferred, const QSize& minimum);
    void apply();
    bool eventFilter(QObject* watched, QEvent* event) override;

    QWindow* mp_window;
    QSize m_preferred;
    QSize m_minimum;
    QMargins m_frame;
};
