#include "app/shell/WindowPlacement.h"

#include "debug/Debugging.h"

#include <QEvent>
#include <QScreen>
#include <QWindow>

#include <algorithm>

static const char* const kChannel = "zq-main";

QRect WindowPlacement::fitted(const QSize& preferred, const QRect& available, const QMargins& frame)
{
    const int frameWidth = frame.left() + frame.right();
    const int frameHeight = frame.top() + frame.bottom();
    const QSize size(std::max(1, std::min(preferred.width(), available.width() - frameWidth)),
                     std::max(1, std::min(preferred.height(), available.height() - frameHeight)));
    // the frame centred in the area; its top left corner never outside it
    const int outerX = available.x() + std::max(0, (available.width() - size.width() - frameWidth) / 2);
    const int outerY = available.y() + std::max(0, (available.height() - size.height() - frameHeight) / 2);
    return QRect(QPoint(outerX + frame.left(), outerY + frame.top()), size);
}

QSize WindowPlacement::minimumFor(const QSize& minimum, const QRect& available, const QMargins& frame)
{
    return minimum.boundedTo(fitted(minimum, available, frame).size());
}

void WindowPlacement::place(QWindow* window, const QSize& preferred, const QSize& minimum)
{
    auto* placement = new WindowPlacement(window, preferred, minimum);
    placement->apply();
    window->installEventFilter(placement);
}

WindowPlacement::WindowPlacement(QWindow* window, const QSize& preferred, const QSize& minimum)
    : QObject(window), mp_window(window), m_preferred(preferred), m_minimum(minimum)
{
}

void WindowPlacement::apply()
{
    const QScreen* screen = mp_window->screen();
    if (!screen)
        return;
    m_frame = mp_window->frameMargins();
    const QRect available = screen->availableGeometry();
    const QRect geometry = fitted(m_preferred, available, m_frame);
    mp_window->setMinimumSize(minimumFor(m_minimum, available, m_frame));
    mp_window->setGeometry(geometry);
    LOG_INFO(kChannel, "window at %d,%d %dx%d on a free area of %dx%d (frame %d,%d,%d,%d)", geometry.x(), geometry.y(),
             geometry.width(), geometry.height(), available.width(), available.height(), m_frame.left(),
             m_frame.top(), m_frame.right(), m_frame.bottom());
}

bool WindowPlacement::eventFilter(QObject* watched, QEvent* event)
{
    // a window manager's frame shows first with the window's first expose
    if (watched == mp_window && event->type() == QEvent::Expose && mp_window->isExposed()) {
        if (mp_window->frameMargins() != m_frame)
            apply();
        mp_window->removeEventFilter(this);
        deleteLater();
    }
    return QObject::eventFilter(watched, event);
}
