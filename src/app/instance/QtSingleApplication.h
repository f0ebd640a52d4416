#pragma once

#include <QApplication>

class QQuickView;
class QtLocalPeer;

// The GUI application object of a single-instance program: re-emits the messages later starts
// send, and can bring its activation window to the front when one arrives.
class QtSingleApplication : public QApplication {
    Q_OBJECT
public:
    QtSingleApplication(int& argc, char** argv);
    QtSingleApplication(int& argc, char** argv, bool);
    QtSingleApplication(const QString& id, int& argc, char** argv);

    bool isRunning();
    QString id() const;
    // See QtLocalPeer::notifyRunningInstance: true when this start should end.
    bool notifyRunningInstance(const QString& message, int timeout = 5000);

    // Hands the single-instance guard over before a successor process starts (restart).
    void releaseGuard();

    void setActivationWindow(QQuickView* window, bool activateOnMessage = true);
    QQuickView* activationWindow() const { return mp_activationWindow; }

public slots:
    bool sendMessage(const QString& message, int timeout = 5000);
    void activateWindow();

signals:
    void messageReceived(const QString& message);

private:
    void sysInit(const QString& appId = QString());

    QtLocalPeer* mp_peer = nullptr;
    QQuickView* mp_activationWindow = nullptr;
};
