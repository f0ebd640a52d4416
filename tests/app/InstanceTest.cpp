#include "app/instance/QtLocalPeer.h"
#include "app/instance/QtLockedFile.h"
#include "debug/Debugging.h"

#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <memory>

namespace {

// CRC-16 of ISO 3309 (X.25), written out so that the guard's checksum is checked against
// something other than itself.
quint16 crc16Iso3309(const QByteArray& bytes)
{
    quint16 crc = 0xffff;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0x8408) : quint16(crc >> 1);
    }
    return quint16(~crc);
}

QString hex(quint64 value)
{
    return QString::number(value, 16);
}

mode_t modeOf(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
}

// Each test gets its own runtime folder (inherited by the helper processes) and a fresh log.
class InstanceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Debugging::initialize();  // the toolkit's warnings reach the log
        Debugging::setLoggingLevel(QsLogging::TraceLevel);
    }
    void SetUp() override
    {
        ASSERT_TRUE(m_runtime.isValid());
        m_savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
        LogCapture::instance().clear();
    }
    void TearDown() override
    {
        for (auto& p : m_processes) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(2000);
            }
        }
        qputenv("XDG_RUNTIME_DIR", m_savedRuntime);
    }

    QString id() const
    {
        return QStringLiteral("Brisola ") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }

    QProcess* helper(const QStringList& args)
    {
        m_processes.emplace_back(new QProcess);
        QProcess* p = m_processes.back().get();
        p->setProcessChannelMode(QProcess::SeparateChannels);
        p->start(QCoreApplication::applicationDirPath() + QStringLiteral("/app_instance_helper"), args);
        return p;
    }
    // Waits for a line of the helper's output that starts with prefix; the output read so far
    // stays in m_output[p].
    bool waitForLine(QProcess* p, const QByteArray& prefix, int ms = 10000)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            m_output[p] += p->readAllStandardOutput();
            for (const QByteArray& line : m_output[p].split('\n'))
                if (line.startsWith(prefix))
                    return true;
            if (p->state() == QProcess::NotRunning)
                return false;
            p->waitForReadyRead(50);
        }
        return false;
    }
    QList<QByteArray> linesOf(QProcess* p, const QByteArray& prefix)
    {
        m_output[p] += p->readAllStandardOutput();
        QList<QByteArray> found;
        for (const QByteArray& line : m_output[p].split('\n'))
            if (line.startsWith(prefix))
                found << line;
        return found;
    }
    // A later start, as the entry point makes it; its exit code and wall time.
    int secondStart(int timeoutMs, qint64* elapsed = nullptr)
    {
        QElapsedTimer t;
        t.start();
        QProcess* p = helper({"start", id(), QString::number(timeoutMs)});
        EXPECT_TRUE(p->waitForFinished(30000));
        if (elapsed)
            *elapsed = t.elapsed();
        return p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1;
    }

    QTemporaryDir m_runtime;
    QByteArray m_savedRuntime;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    QMap<QProcess*, QByteArray> m_output;
};

// ---- names -----------------------------------------------------------------------------------

TEST_F(InstanceTest, SocketAndLockFileNamesForThisUser)
{
    const QString uid = hex(::getuid());
    const QString dir = QDir(m_runtime.path()).absolutePath();
    struct Row {
        QString id;
        QString prefix;
    };
    const Row rows[] = {
        {"My App-2", "MyApp"},
        {"Brisola", "Brisol"},
        {"123456789", ""},  // no letters: the prefix is empty
        {"Ré-solution", "Rsolut"},
    };
    for (const Row& row : rows) {
        QtLocalPeer peer(nullptr, row.id);
        const QString name = "qtsingleapp-" + row.prefix + "-" + hex(crc16Iso3309(row.id.toUtf8())) + "-" + uid;
        EXPECT_EQ(peer.socketName(), name) << qPrintable(row.id);
        EXPECT_EQ(peer.serverPath(), dir + "/" + name);
        EXPECT_EQ(peer.lockFilePath(), dir + "/" + name + "-lockfile");
        EXPECT_EQ(peer.applicationId(), row.id);
    }
    EXPECT_EQ(QtLocalPeer(nullptr, "123456789").socketName(), "qtsingleapp--906e-" + uid);

    // no id: the executable's path and name stand in
    QtLocalPeer unnamed;
    const QString exe = QCoreApplication::applicationFilePath();
    EXPECT_EQ(unnamed.applicationId(), exe);
    EXPECT_EQ(unnamed.socketName(), "qtsingleapp-testap-" + hex(crc16Iso3309(exe.toUtf8())) + "-" + uid);

    // without a runtime folder: the temporary folder
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(QtLocalPeer(nullptr, "Brisola").directory(), QDir::cleanPath(QDir(QDir::tempPath()).absolutePath()));
}

TEST_F(InstanceTest, LockFileIsPrivateAndLinksAreRefused)
{
    {
        QtLocalPeer peer(nullptr, id());
        EXPECT_EQ(modeOf(peer.lockFilePath()) & 0777, mode_t(0600));
        EXPECT_FALSE(peer.isClient());
        EXPECT_FALSE(peer.guardUnusable());
        // the server's socket is the user's alone
        EXPECT_TRUE(S_ISSOCK(modeOf(peer.serverPath())));
        EXPECT_EQ(modeOf(peer.serverPath()) & 077, mode_t(0));
    }
    // a lock file left readable by others is made private again
    const QString lockPath = QtLocalPeer(nullptr, id()).lockFilePath();
    ASSERT_EQ(::chmod(QFile::encodeName(lockPath).constData(), 0644), 0);
    { QtLocalPeer peer(nullptr, id()); }
    EXPECT_EQ(modeOf(lockPath) & 0777, mode_t(0600));

    // a link planted at the lock file's place is never followed
    ASSERT_TRUE(QFile::remove(lockPath));
    const QString target = m_runtime.filePath("target");
    QFile t(target);
    ASSERT_TRUE(t.open(QIODevice::WriteOnly));
    t.write("precious");
    t.close();
    ASSERT_TRUE(QFile::link(target, lockPath));
    const mode_t targetMode = modeOf(target);
    QtLocalPeer peer(nullptr, id());
    EXPECT_TRUE(peer.isClient());
    EXPECT_TRUE(peer.guardUnusable());
    EXPECT_FALSE(peer.notifyRunningInstance("Do I exist?", 500));  // starts without the guard
    EXPECT_TRUE(LogCapture::instance().contains("starting without the single-instance guard"));
    EXPECT_FALSE(QFile::exists(peer.serverPath()));
    EXPECT_EQ(modeOf(target), targetMode);
    QFile check(target);
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.readAll(), QByteArray("precious"));
}

TEST_F(InstanceTest, LockedFileModes)
{
    QtLockedFile file(m_runtime.filePath("lock"));
    EXPECT_FALSE(file.lock(QtLockedFile::WriteLock, false));
    EXPECT_TRUE(file.lockFileUnusable());
    EXPECT_TRUE(LogCapture::instance().contains("QtLockedFile::lock(): file is not opened"));
    EXPECT_FALSE(file.open(QIODevice::ReadWrite | QIODevice::Truncate));
    EXPECT_TRUE(LogCapture::instance().contains("QtLockedFile::open(): Truncate mode not allowed."));
    EXPECT_FALSE(file.isOpen());

    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    EXPECT_TRUE(file.lock(QtLockedFile::ReadLock, false));
    EXPECT_TRUE(file.lock(QtLockedFile::ReadLock, false));
    EXPECT_EQ(file.lockMode(), QtLockedFile::ReadLock);
    EXPECT_TRUE(file.lock(QtLockedFile::WriteLock, false));
    EXPECT_EQ(file.lockMode(), QtLockedFile::WriteLock);
    EXPECT_TRUE(file.lock(QtLockedFile::NoLock, false));
    EXPECT_FALSE(file.isLocked());
    EXPECT_TRUE(file.unlock());
}

TEST_F(InstanceTest, StaleSocketFileIsReplaced)
{
    QtLocalPeer peer(nullptr, id());
    // a socket file whose server is gone
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    struct sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(peer.serverPath());
    qstrncpy(addr.sun_path, path.constData(), sizeof addr.sun_path);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);

    EXPECT_FALSE(peer.isClient());
    QLocalSocket client;
    client.connectToServer(peer.serverPath());
    EXPECT_TRUE(client.waitForConnected(1000));
    EXPECT_FALSE(LogCapture::instance().contains("listen on local socket failed"));
}

// ---- the receiver, driven byte by byte --------------------------------------------------------

QByteArray framed(const QByteArray& body, quint32 announced)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(announced, reinterpret_cast<uchar*>(bytes.data()));
    return bytes + body;
}

TEST_F(InstanceTest, ReceiverAcknowledgesOnlyWholeMessagesWithinTheCap)
{
    QtLocalPeer server(nullptr, id());
    ASSERT_FALSE(server.isClient());
    QStringList delivered;
    QObject::connect(&server, QOverload<const QString&>::of(&QtLocalPeer::messageReceived),
                     [&](const QString& m) { delivered << m; });
    struct Row {
        const char* name;
        QByteArray bytes;
        bool closeAfter;  // the sender leaves right after writing
        QByteArray reply;
        QStringList expected;
    };
    const QByteArray big(int(QtLocalPeer::kMaxMessageLength), 'x');
    const Row rows[] = {
        {"message", framed("Do I exist?", 11), false, "ack", {"Do I exist?"}},
        {"empty", framed("", 0), false, "ack", {""}},
        {"zero inside", framed(QByteArray("ab\0cd", 5), 5), false, "ack", {"ab"}},
        {"at the cap", framed(big, quint32(big.size())), false, "ack", {QString(big)}},
        {"above the cap", framed("", QtLocalPeer::kMaxMessageLength + 1), false, "", {}},
        {"negative when signed", framed("Do I exist?", 0x80000000u), false, "", {}},
        {"short, sender leaves", framed("Do I", 11), true, "", {}},
    };
    for (const Row& row : rows) {
        delivered.clear();
        LogCapture::instance().clear();
        QLocalSocket client;
        client.connectToServer(server.serverPath());
        ASSERT_TRUE(client.waitForConnected(1000)) << row.name;
        client.write(row.bytes);
        client.flush();
        if (row.closeAfter)
            client.disconnectFromServer();
        QElapsedTimer t;
        t.start();
        // the server closes every connection it is done with, delivered or refused
        while ((client.state() != QLocalSocket::UnconnectedState ||
                (delivered.isEmpty() && !LogCapture::instance().contains("Message reception failed"))) &&
               t.elapsed() < 3000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            client.waitForReadyRead(20);
        }
        EXPECT_EQ(client.readAll(), row.reply) << row.name;
        EXPECT_EQ(delivered, row.expected) << row.name;
        EXPECT_LT(t.elapsed(), 2000) << row.name;
        EXPECT_EQ(LogCapture::instance().contains("QtLocalPeer: Message reception failed"), row.reply.isEmpty())
            << row.name;
    }
}

TEST_F(InstanceTest, SilentPeerIsDroppedWhileOthersAreServed)
{
    QtLocalPeer server(nullptr, id());
    ASSERT_FALSE(server.isClient());
    QStringList delivered;
    QObject::connect(&server, QOverload<const QString&>::of(&QtLocalPeer::messageReceived),
                     [&](const QString& m) { delivered << m; });
    QLocalSocket silent;
    silent.connectToServer(server.serverPath());
    ASSERT_TRUE(silent.waitForConnected(1000));
    QLocalSocket stalled;  // starts a message, then stops sending
    stalled.connectToServer(server.serverPath());
    ASSERT_TRUE(stalled.waitForConnected(1000));
    stalled.write(framed("Do", 11));
    stalled.flush();
    QCoreApplication::processEvents();

    QElapsedTimer t;
    t.start();
    QLocalSocket client;
    client.connectToServer(server.serverPath());
    ASSERT_TRUE(client.waitForConnected(1000));
    client.write(framed("hello", 5));
    while (client.bytesAvailable() < 3 && t.elapsed() < 2000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        client.waitForReadyRead(20);
    }
    EXPECT_EQ(client.readAll(), QByteArray("ack"));
    EXPECT_LT(t.elapsed(), 500);
    EXPECT_EQ(delivered, QStringList{"hello"});

    // both idle connections are closed at the limit, unanswered
    while ((silent.state() != QLocalSocket::UnconnectedState || stalled.state() != QLocalSocket::UnconnectedState) &&
           t.elapsed() < QtLocalPeer::kReceiveLimitMs + 3000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        silent.waitForDisconnected(20);
        stalled.waitForDisconnected(20);
    }
    EXPECT_EQ(silent.state(), QLocalSocket::UnconnectedState);
    EXPECT_EQ(stalled.state(), QLocalSocket::UnconnectedState);
    EXPECT_GE(t.elapsed(), QtLocalPeer::kReceiveLimitMs - 500);
    EXPECT_TRUE(silent.readAll().isEmpty());
    EXPECT_TRUE(stalled.readAll().isEmpty());
    EXPECT_EQ(delivered, QStringList{"hello"});
}

// ---- two processes ----------------------------------------------------------------------------

TEST_F(InstanceTest, WireBytesOfTheSecondStart)
{
    // this process plays the running instance at the byte level
    QtLocalPeer names(nullptr, id());
    QtLockedFile lock(names.lockFilePath());
    ASSERT_TRUE(lock.open(QIODevice::ReadWrite));
    ASSERT_TRUE(lock.lock(QtLockedFile::WriteLock, false));
    QLocalServer server;
    ASSERT_TRUE(server.listen(names.serverPath()));

    QProcess* second = helper({"start", id(), "5000"});
    ASSERT_TRUE(server.waitForNewConnection(10000));
    QLocalSocket* conn = server.nextPendingConnection();
    QByteArray received;
    while (received.size() < 15 && conn->waitForReadyRead(3000))
        received += conn->readAll();
    EXPECT_EQ(received, QByteArray("\0\0\0\x0b" "Do I exist?", 15));
    conn->write("ack");
    conn->waitForBytesWritten(1000);
    ASSERT_TRUE(second->waitForFinished(5000));
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_FALSE(second->readAllStandardOutput().contains("started"));
}

TEST_F(InstanceTest, SecondStartIsAnsweredAndEndsWithinASecond)
{
    QProcess* first = helper({"serve", id(), "30000"});
    ASSERT_TRUE(waitForLine(first, "ready"));
    qint64 elapsed = 0;
    EXPECT_EQ(secondStart(5000, &elapsed), 0);
    std::printf("second start ended after %lld ms\n", static_cast<long long>(elapsed));
    EXPECT_LT(elapsed, 2000);
    ASSERT_TRUE(waitForLine(first, "message:"));
    // the message, and the minimised window brought back
    EXPECT_EQ(linesOf(first, "message:"), QList<QByteArray>{"message:" + QByteArray("Do I exist?").toHex() + " minimized:0"});
}

TEST_F(InstanceTest, BadPeersLeaveTheFirstResponsiveAndDeliverNothing)
{
    QProcess* first = helper({"serve", id(), "60000"});
    ASSERT_TRUE(waitForLine(first, "ready"));
    const QString path = QtLocalPeer(nullptr, id()).serverPath();
    struct Row {
        const char* name;
        QByteArray bytes;
        bool leave;
    };
    const Row rows[] = {
        {"silent", QByteArray(), false},
        {"oversized", framed("Do I exist?", 0x7fffffff), false},
        {"short", framed("Do I", 11), true},
    };
    int answered = 0;
    for (const Row& row : rows) {
        QLocalSocket bad;
        bad.connectToServer(path);
        ASSERT_TRUE(bad.waitForConnected(2000)) << row.name;
        bad.write(row.bytes);
        bad.flush();
        if (row.leave)
            bad.disconnectFromServer();
        qint64 elapsed = 0;
        EXPECT_EQ(secondStart(5000, &elapsed), 0) << row.name;
        EXPECT_LT(elapsed, 2000) << row.name;
        ++answered;
        for (int i = 0; i < 100 && linesOf(first, "message:").size() < answered; ++i)
            first->waitForReadyRead(50);
        EXPECT_EQ(linesOf(first, "message:").size(), answered) << row.name;
        bad.waitForReadyRead(100);
        EXPECT_TRUE(bad.readAll().isEmpty()) << row.name;
    }
    for (const QByteArray& line : linesOf(first, "message:"))
        EXPECT_TRUE(line.startsWith("message:" + QByteArray("Do I exist?").toHex())) << line.constData();
}

TEST_F(InstanceTest, BusyFirstInstanceKeepsTheSecondFromStarting)
{
    QProcess* busy = helper({"busy", id(), "7000"});
    ASSERT_TRUE(waitForLine(busy, "ready"));
    // the lock is seen from here as held, not as unusable
    QtLockedFile probe(QtLocalPeer(nullptr, id()).lockFilePath());
    ASSERT_TRUE(probe.open(QIODevice::ReadWrite));
    EXPECT_FALSE(probe.lock(QtLockedFile::WriteLock, false));
    EXPECT_FALSE(probe.lockFileUnusable());
    probe.close();

    qint64 elapsed = 0;
    EXPECT_EQ(secondStart(1000, &elapsed), 0);
    EXPECT_LT(elapsed, 6500);
    std::printf("second start gave up on the busy instance after %lld ms\n", static_cast<long long>(elapsed));

    // once the first has gone, the next start is the instance
    ASSERT_TRUE(busy->waitForFinished(10000));
    EXPECT_EQ(secondStart(1000), 10);
}

} // namespace
