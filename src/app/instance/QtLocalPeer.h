#pragma once

#include "app/instance/QtLockedFile.h"
#include "debug/LogRepeats.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class QLocalServer;
class QLocalSocket;
class QTimer;

// One running instance per user and application id. The process that holds the write lock on the
// lock file is the server and listens on a local socket; later starts are clients that hand it a
// message: a 32-bit big-endian length, the message bytes, answered by "ack".
class QtLocalPeer : public QObject {
    Q_OBJECT
public:
    // The only message is a few bytes; a larger announced length is refused without reading it.
    static const quint32 kMaxMessageLength = 64 * 1024;
    // A connection that has not delivered its whole message by then is dropped (the sender's own
    // default time-out, after which it has given up).
    static const int kReceiveLimitMs = 5000;
    // Connections read at the same time; a further one drops the oldest.
    static const int kMaxIncoming = 32;
    // How often the server checks that it still listens.
    static const int kListenCheckMs = 500;

    explicit QtLocalPeer(QObject* parent = nullptr, const QString& appId = QString());

    // True while another process holds the lock (also when the lock file is unusable); false once
    // this process is the server.
    bool isClient();
    bool sendMessage(const QString& message, int timeout);
    bool sendMessage(const QByteArray& message, int timeout);
    bool sendMessage(const char* message, int timeout);

    // The start-up decision: true when another instance runs and this process should end (it
    // acknowledged the message, or it holds the lock but stays busy past a few brief retries);
    // false when this process is the server, or the guard cannot be trusted (no private folder, a
    // lock file that cannot be used, a socket another user answers: then with a warning, and the
    // process runs without the guard).
    bool notifyRunningInstance(const QString& message, int timeout);
    // Gives the guard up for a successor process (a restart): stops listening, unlocks and closes
    // the lock file. This process no longer receives messages afterwards.
    void release();
    // The last isClient() or sendMessage() failed because the guard cannot be trusted, not because
    // another instance of this user holds it.
    bool guardUnusable() const { return !m_unusable.isEmpty(); }

    QString applicationId() const { return m_id; }
    QString socketName() const { return m_socketName; }
    // The folder of the socket and the lock file, one only this user can use: $XDG_RUNTIME_DIR when
    // it is such a folder and the socket's path there fits, else one of this user's folders
    // "qtsingleapp-<user id in hexadecimal>-<random>" in the temporary folder (in /tmp when the
    // socket's path would not fit there). The instance holds the lock in each such folder and
    // listens in the first by name; a client's is the one whose lock it found held. Empty when no
    // folder could be made (the guard is then unusable).
    QString directory() const { return m_directory; }
    QString serverPath() const { return m_directory + QLatin1Char('/') + m_socketName; }
    QString lockFilePath() const { return m_directory + QLatin1Char('/') + m_socketName + QLatin1String("-lockfile"); }

    static const char* ack;

signals:
    void messageReceived(const QString& message);
    void messageReceived(const QByteArray& message);
    void messageReceived(const char* message);

protected slots:
    void receiveConnection();
    void keepListening();

private:
    // Opens the lock file in each folder of the guard, found again (a start may have made one since).
    void findDirectories();
    void readMessage(QLocalSocket* socket);
    void dropConnection(QLocalSocket* socket, const QString& reason);

    QString m_id;
    QString m_socketName;
    QString m_directory;
    // The runtime folder, when the guard uses it.
    QString m_runtimeDirectory;
    QLocalServer* mp_server;
    // One open lock file per folder of the guard, in name order.
    std::vector<std::unique_ptr<QtLockedFile>> m_lockFiles;
    // This process holds every lock and is the instance.
    bool m_serving = false;
    // Why no private folder could be had; empty when there is one.
    QString m_folderProblem;
    // Why the guard cannot be trusted; empty when it can.
    QString m_unusable;
    // Bytes received so far on each connection still being read (length prefix included).
    QHash<QLocalSocket*, QByteArray> m_incoming;
    // The same connections, oldest first.
    QList<QLocalSocket*> m_arrival;
    // Connections dropped since none was unfinished: a flood is logged a few times, then counted.
    LogRepeats m_dropped;
    QTimer* mp_listenCheck = nullptr;
    // The server closed and has not listened again yet; why it closed.
    bool m_relistenPending = false;
    QString m_closedReason;
};
