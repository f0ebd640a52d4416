#include "app/instance/QtSingleCoreApplication.h"

#include "app/instance/QtLocalPeer.h"

QtSingleCoreApplication::QtSingleCoreApplication(int& argc, char** argv)
    : QtSingleCoreApplication(QString(), argc, argv)
{
}

QtSingleCoreApplication::QtSingleCoreApplication(const QString& id, int& argc, char** argv)
    : QCoreApplication(argc, argv), mp_peer(new QtLocalPeer(this, id))
{
    connect(mp_peer, QOverload<const QString&>::of(&QtLocalPeer::messageReceived), this,
            &QtSingleCoreApplication::messageReceived);
}

bool QtSingleCoreApplication::isRunning()
{
    return mp_peer->isClient();
}

bool QtSingleCoreApplication::sendMessage(const QString& message, int timeout)
{
    return mp_peer->sendMessage(message, timeout);
}

bool QtSingleCoreApplication::notifyRunningInstance(const QString& message, int timeout)
{
    return mp_peer->notifyRunningInstance(message, timeout);
}

QString QtSingleCoreApplication::id() const
{
    return mp_peer->applicationId();
}
