#pragma once

#include <QObject>
#include <QPointer>
#include <QVector>

#include <functional>

// A request to close the program, from the window system (WM_DELETE_WINDOW) or from the program
// itself, seen on the windows it watches: the splash screen while start-up runs, the main window
// for good. The request is always honoured: it is seen before any handler could refuse it, the
// running event loops are left at once, and start-up asks requested() between its steps, since no
// event loop runs then and Qt's own quit on the last closed window does nothing.
class CloseRequest : public QObject {
    Q_OBJECT
public:
    explicit CloseRequest(QObject* parent = nullptr);

    // A QWindow or a top-level QWidget.
    void watch(QObject* window);
    void unwatch(QObject* window);
    bool requested() const { return m_requested; }
    // Runs at the first request, before the running loops are left: while the window still shows,
    // and while a dialog can still run (no event loop runs once the program is told to leave them).
    void setBeforeLeaving(const std::function<void()>& call) { m_beforeLeaving = call; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QVector<QPointer<QObject>> m_windows;
    bool m_requested = false;
    std::function<void()> m_beforeLeaving;
};
