#include "app/instance/QtLocalPeer.h"

#include "framework/PrivateFolder.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QTimer>
#include <QtEndian>
#include <QtDebug>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

const char* QtLocalPeer::ack = "ack";

// Retries of a start whose running instance holds the lock but does not answer yet (busy with a
// long start-up step): short waits, then the start gives up rather than run a second instance.
static const int kBusyRetries = 3;
static const int kBusyRetryTimeoutMs = 500;
static const int kBusyRetryPauseMs = 250;

static void sleepMs(int ms)
{
    struct timespec ts = {ms / 1000, (ms % 1000) * 1000 * 1000};
    nanosleep(&ts, nullptr);
}

// A socket path holds at most this many bytes (sun_path, with its closing zero).
static const int kMaxSocketPath = int(sizeof(sockaddr_un::sun_path)) - 1;

static bool socketFits(const QString& folder, const QString& name)
{
    return QFile::encodeName(folder + QLatin1Char('/') + name).size() <= kMaxSocketPath;
}

// This user's private folders in base whose names start with prefix, in name order.
static QStringList ownFolders(const QString& base, const QString& prefix)
{
    QStringList found;
    const QStringList names = QDir(base).entryList({prefix + QLatin1Char('*')},
                                                   QDir::AllEntries | QDir::Hidden | QDir::System, QDir::Name);
    QString why;
    for (const QString& name : names)
        if (edufrmwk::PrivateFolder::check(base + QLatin1Char('/') + name, why))
            found << base + QLatin1Char('/') + name;
    return found;
}

// $XDG_RUNTIME_DIR when it is a folder only this user can use and the socket's path there fits;
// else empty, and the folders of the guard are in the temporary folder.
static QString runtimeDirectory(const QString& socketName)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        return QString();
    const QString folder = QDir::cleanPath(QDir(runtime).absolutePath());
    QString why;
    if (!edufrmwk::PrivateFolder::check(runtime, why))
        qWarning("QtLocalPeer: the runtime folder %s is %s; using the temporary folder", qPrintable(runtime), qPrintable(why));
    else if (!socketFits(folder, socketName))
        qWarning("QtLocalPeer: the runtime folder %s is too long a path for a socket; using the temporary folder",
                 qPrintable(runtime));
    else
        return folder;
    return QString();
}

// This user's folders of the guard in the temporary folder, one made when there is none; empty, with
// the reason in problem, when none can be made.
static QStringList sharedDirectories(const QString& socketName, QString& problem)
{
    // The temporary folder is shared: a name there could be taken first by another user, so the
    // folder's name is random and this user's folders are told by their owner and mode. A long
    // temporary folder gives way to /tmp, where the socket path always fits.
    const QString prefix = QLatin1String("qtsingleapp-") + QString::number(::geteuid(), 16) + QLatin1Char('-');
    const QString pattern = prefix + QLatin1String("XXXXXX");
    QString base = QDir::cleanPath(QDir(QDir::tempPath()).absolutePath());
    if (!socketFits(base + QLatin1Char('/') + pattern, socketName))
        base = QStringLiteral("/tmp");
    QStringList folders = ownFolders(base, prefix);
    if (folders.isEmpty()) {
        QString why;
        if (edufrmwk::PrivateFolder::make(base + QLatin1Char('/') + pattern, why).isEmpty()) {
            problem = QStringLiteral("no private folder for the lock file: none made in %1: %2").arg(base, why);
            return {};
        }
        // another start may have made one at the same time: every start locks them all
        folders = ownFolders(base, prefix);
        if (folders.isEmpty())
            problem = QStringLiteral("no private folder for the lock file: the one made in %1 is gone").arg(base);
    }
    return folders;
}

QtLocalPeer::QtLocalPeer(QObject* parent, const QString& appId) : QObject(parent), m_id(appId)
{
    QString prefix = m_id;
    if (m_id.isEmpty()) {
        m_id = QCoreApplication::applicationFilePath();
        prefix = m_id.section(QLatin1Char('/'), -1);
    }
    prefix.remove(QRegularExpression(QStringLiteral("[^a-zA-Z]")));
    prefix.truncate(6);

    const QByteArray idBytes = m_id.toUtf8();
    const quint16 checksum = qChecksum(idBytes.constData(), uint(idBytes.size()));
    m_socketName = QLatin1String("qtsingleapp-") + prefix + QLatin1Char('-') + QString::number(checksum, 16) +
                   QLatin1Char('-') + QString::number(::getuid(), 16);

    mp_server = new QLocalServer(this);
    mp_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_runtimeDirectory = runtimeDirectory(m_socketName);
    findDirectories();
}

void QtLocalPeer::findDirectories()
{
    m_lockFiles.clear();
    m_folderProblem.clear();
    const QStringList folders = m_runtimeDirectory.isEmpty() ? sharedDirectories(m_socketName, m_folderProblem)
                                                             : QStringList(m_runtimeDirectory);
    for (const QString& folder : folders) {
        m_lockFiles.emplace_back(new QtLockedFile(folder + QLatin1Char('/') + m_socketName + QLatin1String("-lockfile")));
        m_lockFiles.back()->open(QIODevice::ReadWrite);
    }
    m_directory = folders.value(0);
}

bool QtLocalPeer::isClient()
{
    if (m_serving)
        return false;
    findDirectories();  // again: a start may have made a folder since
    if (!m_folderProblem.isEmpty()) {
        m_unusable = m_folderProblem;
        return true;
    }
    // The instance holds the lock in every folder of this user's: two starts that each made a
    // folder at the same time still find one instance (each locks all it saw after making its own).
    for (const auto& lockFile : m_lockFiles) {
        if (!lockFile->lock(QtLockedFile::WriteLock, false)) {
            m_unusable = lockFile->lockFileUnusable() ? QStringLiteral("the lock file %1 cannot be used").arg(lockFile->fileName())
                                                       : QString();
            m_directory = QFileInfo(lockFile->fileName()).path();
            for (const auto& taken : m_lockFiles)
                if (taken->isLocked())
                    taken->unlock();
            return true;
        }
    }
    m_unusable.clear();
    m_serving = true;

    bool listening = mp_server->listen(serverPath());
    if (!listening && mp_server->serverError() == QAbstractSocket::AddressInUseError) {
        // a socket file left behind by an instance that did not end cleanly
        QFile::remove(serverPath());
        listening = mp_server->listen(serverPath());
    }
    if (!listening)
        qWarning("QtSingleCoreApplication: listen on local socket failed, %s", qPrintable(mp_server->errorString()));
    connect(mp_server, &QLocalServer::newConnection, this, &QtLocalPeer::receiveConnection, Qt::UniqueConnection);
    // The server closes for good (and removes its socket file) when an accept fails, for instance
    // with every file descriptor in use: the guard listens again as soon as it can.
    if (!mp_listenCheck) {
        mp_listenCheck = new QTimer(this);
        mp_listenCheck->setInterval(kListenCheckMs);
        connect(mp_listenCheck, &QTimer::timeout, this, &QtLocalPeer::keepListening);
    }
    mp_listenCheck->start();
    return false;
}

void QtLocalPeer::keepListening()
{
    if (!m_serving)
        return;
    // A failed accept closes the socket and removes its file, yet the server still counts as
    // listening (and has no descriptor to ask): the file says it is gone. One removed by someone
    // else leaves the socket unreachable all the same.
    if (mp_server->isListening() && QFileInfo::exists(serverPath()))
        return;
    if (!m_relistenPending) {
        m_relistenPending = true;
        m_closedReason = mp_server->errorString();
        // Unfinished connections are what used the files up; a start sends at once and comes again.
        const QList<QLocalSocket*> unfinished = m_arrival;
        for (QLocalSocket* socket : unfinished)
            dropConnection(socket, QStringLiteral("the local socket closed (%1)").arg(m_closedReason));
    }
    mp_server->close();
    QFile::remove(serverPath());
    if (!mp_server->listen(serverPath()))
        return;  // tried again at the next check
    m_relistenPending = false;
    qWarning("QtLocalPeer: the local socket had closed (%s); listening again", qPrintable(m_closedReason));
}

void QtLocalPeer::release()
{
    if (mp_listenCheck)
        mp_listenCheck->stop();
    mp_server->close();
    m_serving = false;
    m_lockFiles.clear();  // unlocked and closed
}

bool QtLocalPeer::sendMessage(const QString& message, int timeout)
{
    return sendMessage(message.toUtf8(), timeout);
}

bool QtLocalPeer::sendMessage(const char* message, int timeout)
{
    return sendMessage(QByteArray(message), timeout);
}

bool QtLocalPeer::sendMessage(const QByteArray& message, int timeout)
{
    if (!isClient())
        return false;

    QLocalSocket socket;
    bool connected = false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        socket.connectToServer(serverPath(), QIODevice::ReadWrite);
        connected = socket.waitForConnected(timeout / 2);
        if (connected || attempt == 1)
            break;
        sleepMs(250);
    }
    if (!connected)
        return false;
    // Only a process of this user is the running instance: nothing is sent to another's.
    struct ucred peer;
    socklen_t size = sizeof peer;
    if (::getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) {
        m_unusable = QStringLiteral("who answers on %1 cannot be told: %2").arg(serverPath(), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (peer.uid != ::geteuid()) {
        m_unusable = QStringLiteral("the socket %1 is answered by user %2").arg(serverPath()).arg(peer.uid);
        return false;
    }

    QDataStream stream(&socket);
    stream.writeBytes(message.constData(), uint(message.size()));
    const bool written = socket.waitForBytesWritten(timeout);
    // the answer may already have come in while the message was being written
    bool answered = socket.bytesAvailable() > 0;
    if (!answered)
        answered = socket.waitForReadyRead(timeout);
    const QByteArray reply = socket.read(qstrlen(ack));
    return written && answered && reply == ack;
}

bool QtLocalPeer::notifyRunningInstance(const QString& message, int timeout)
{
    for (int attempt = 0;; ++attempt) {
        if (!isClient())
            return false;
        if (!guardUnusable() && sendMessage(message, attempt == 0 ? timeout : qMin(timeout, kBusyRetryTimeoutMs)))
            return true;
        if (guardUnusable()) {
            qWarning("QtLocalPeer: %s; starting without the single-instance guard", qPrintable(m_unusable));
            return false;
        }
        if (attempt == kBusyRetries)
            break;
        sleepMs(kBusyRetryPauseMs);
    }
    qWarning("QtLocalPeer: another instance holds the lock but does not answer; not starting a second one");
    return true;
}

void QtLocalPeer::receiveConnection()
{
    // Read without blocking the event loop: a peer that sends nothing, or stops half-way, costs a
    // timer and is dropped, never acknowledged or delivered.
    while (QLocalSocket* socket = mp_server->nextPendingConnection()) {
        // A flood of connections that send nothing would hold a descriptor each until every one is
        // in use; the oldest unfinished one makes room for the newest (a start sends at once).
        if (m_incoming.size() >= kMaxIncoming)
            dropConnection(m_arrival.first(), QStringLiteral("%1 connections unfinished; the oldest is dropped").arg(kMaxIncoming));
        m_incoming.insert(socket, QByteArray());
        m_arrival.append(socket);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readMessage(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            readMessage(socket);  // whatever arrived just before the close
            if (m_incoming.contains(socket))
                dropConnection(socket, socket->errorString());
        });
        QTimer::singleShot(kReceiveLimitMs, socket, [this, socket] {
            if (m_incoming.contains(socket))
                dropConnection(socket, QStringLiteral("no complete message within %1 ms").arg(kReceiveLimitMs));
        });
        readMessage(socket);
    }
}

void QtLocalPeer::readMessage(QLocalSocket* socket)
{
    auto it = m_incoming.find(socket);
    if (it == m_incoming.end())
        return;
    QByteArray& data = it.value();
    const int prefix = int(sizeof(quint32));
    if (data.size() < prefix)
        data += socket->read(prefix - data.size());
    if (data.size() < prefix)
        return;
    const quint32 length = qFromBigEndian<quint32>(reinterpret_cast<const uchar*>(data.constData()));
    if (length > kMaxMessageLength) {
        dropConnection(socket, QStringLiteral("announced length %1 is above %2").arg(length).arg(kMaxMessageLength));
        return;
    }
    const int total = prefix + int(length);
    if (data.size() < total)
        data += socket->read(total - data.size());
    if (data.size() < total)
        return;

    QByteArray message = data.mid(prefix);
    m_incoming.erase(it);
    m_arrival.removeOne(socket);
    disconnect(socket, nullptr, this, nullptr);
    socket->write(ack, qstrlen(ack));
    socket->flush();
    // closes once the acknowledgement is out
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromServer();
    if (socket->state() == QLocalSocket::UnconnectedState)
        socket->deleteLater();

    const int zero = message.indexOf('\0');
    if (zero >= 0)
        message.truncate(zero);
    emit messageReceived(QString::fromUtf8(message));
}

void QtLocalPeer::dropConnection(QLocalSocket* socket, const QString& reason)
{
    if (m_dropped.take())
        qWarning("QtLocalPeer: Message reception failed \"%s\"", qPrintable(reason));
    m_incoming.remove(socket);
    if (m_incoming.isEmpty()) {
        if (const int count = m_dropped.end())
            qWarning("QtLocalPeer: %d connections dropped without a message", count);
    }
    m_arrival.removeOne(socket);
    disconnect(socket, nullptr, this, nullptr);
    socket->abort();
    socket->deleteLater();
}
