#include "app/shell/CloseRequest.h"

#include "debug/Debugging.h"

#include <QCoreApplication>
#include <QEvent>

CloseRequest::CloseRequest(QObject* parent) : QObject(parent) {}

void CloseRequest::watch(QObject* window)
{
    if (!window || m_windows.contains(window))
        return;
    m_windows.append(window);
    window->installEventFilter(this);
}

void CloseRequest::unwatch(QObject* window)
{
    if (!window)
        return;
    m_windows.removeAll(window);
    window->removeEventFilter(this);
}

bool CloseRequest::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Close && m_windows.contains(watched)) {
        const bool first = !m_requested;
        m_requested = true;
        if (first) {
            LOG_INFO("zq-main", "close requested (%s)", watched->metaObject()->className());
            if (m_beforeLeaving)
                m_beforeLeaving();
        }
        // Leaves every running loop, nested ones too; before the main loop runs, a no-op.
        QCoreApplication::exit(0);
    }
    return QObject::eventFilter(watched, event);
}
