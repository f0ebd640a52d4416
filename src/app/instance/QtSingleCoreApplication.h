#pragma once

#include <QCoreApplication>

class QtLocalPeer;

// The single-instance guard for a program without windows.
class QtSingleCoreApplication : public QCoreApplication {
    Q_OBJECT
public:
    QtSingleCoreApplication(int& argc, char** argv);
    QtSingleCoreApplication(const QString& id, int& argc, char** argv);

    bool isRunning();
    QString id() const;
    // See QtLocalPeer::notifyRunningInstance: true when this start should end.
    bool notifyRunningInstance(const QString& message, int timeout = 5000);

public slots:
    bool sendMessage(const QString& message, int timeout = 5000);

signals:
    void messageReceived(const QString& message);

private:
    QtLocalPeer* mp_peer;
};
