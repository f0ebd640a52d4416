#include "app/instance/QtSingleApplication.h"

#include "app/instance/QtLocalPeer.h"

#include <QQuickView>

QtSingleApplication::QtSingleApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    sysInit();
}

QtSingleApplication::QtSingleApplication(int& argc, char** argv, bool) : QApplication(argc, argv)
{
    sysInit();
}

QtSingleApplication::QtSingleApplication(const QString& id, int& argc, char** argv) : QApplication(argc, argv)
{
    sysInit(id);
}

void QtSingleApplication::sysInit(const QString& appId)
{
    mp_activationWindow = nullptr;
    mp_peer = new QtLocalPeer(this, appId);
    connect(mp_peer, QOverload<const QString&>::of(&QtLocalPeer::messageReceived), this,
            &QtSingleApplication::messageReceived);
}

bool QtSingleApplication::isRunning()
{
    return mp_peer->isClient();
}

bool QtSingleApplication::sendMessage(const QString& message, int timeout)
{
    return mp_peer->sendMessage(message, timeout);
}

bool QtSingleApplication::notifyRunningInstance(const QString& message, int timeout)
{
    return mp_peer->notifyRunningInstance(message, timeout);
}

void QtSingleApplication::releaseGuard()
{
    mp_peer->release();
}

QString QtSingleApplication::id() const
{
    return mp_peer->applicationId();
}

void QtSingleApplication::setActivationWindow(QQuickView* window, bool activateOnMessage)
{
    mp_activationWindow = window;
    const auto signal = QOverload<const QString&>::of(&QtLocalPeer::messageReceived);
    if (activateOnMessage)
        connect(mp_peer, signal, this, &QtSingleApplication::activateWindow, Qt::UniqueConnection);
    else
        disconnect(mp_peer, signal, this, &QtSingleApplication::activateWindow);
}

void QtSingleApplication::activateWindow()
{
    if (!mp_activationWindow)
        return;
    mp_activationWindow->setWindowStates(mp_activationWindow->windowStates() & ~Qt::WindowMinimized);
    mp_activationWindow->raise();
    mp_activationWindow->requestActivate();
}
