#include "framework/PendingRecordsFile.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace edufrmwk {

namespace {

QString lastError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool writeAll(int fd, const QByteArray& text)
{
    const char* p = text.constData();
    qint64 left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

}  // namespace

PendingRecordsFile::PendingRecordsFile(int fd, const QString& path)
    : m_fd(fd)
    , m_path(path)
{
}

PendingRecordsFile::~PendingRecordsFile()
{
    ::close(m_fd);
}

std::unique_ptr<PendingRecordsFile> PendingRecordsFile::take(const QString& path, QString& why)
{
    why.clear();
    const QByteArray name = QFile::encodeName(path);
    // Non-blocking: a FIFO would otherwise wait for a writer; it is refused below.
    const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT)
            why = errno == ELOOP ? QStringLiteral("a symlink") : lastError();
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0)
        why = lastError();
    else if (!S_ISREG(st.st_mode))
        why = QStringLiteral("not a regular file");
    else if (st.st_uid != ::geteuid())
        why = QStringLiteral("owned by user %1").arg(st.st_uid);
    else if (st.st_mode & (S_IWGRP | S_IWOTH))
        why = QStringLiteral("others may write it");
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        why = errno == EWOULDBLOCK ? QStringLiteral("in use by a running program") : lastError();
    if (why.isEmpty()) {
        // Taken over by another start between the open and the lock: the name leads elsewhere now.
        struct stat now;
        if (::lstat(name.constData(), &now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino)
            why = QStringLiteral("taken by another start");
    }
    if (!why.isEmpty()) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<PendingRecordsFile>(new PendingRecordsFile(fd, path));
}

std::unique_ptr<PendingRecordsFile> PendingRecordsFile::write(const QString& path, const QByteArray& text,
                                                              QString& why)
{
    const QFileInfo info(path);
    QByteArray pattern = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()) + ".XXXXXX";
    // mkostemp: a new name, 0600, O_EXCL (never an existing file or a symlink)
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        why = lastError();
        return nullptr;
    }
    // Locked before it has the name: no other start can take it in between.
    bool ok = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && writeAll(fd, text) && ::fsync(fd) == 0;
    if (ok)
        ok = ::rename(pattern.constData(), QFile::encodeName(path).constData()) == 0;
    if (!ok) {
        why = lastError();
        ::unlink(pattern.constData());
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<PendingRecordsFile>(new PendingRecordsFile(fd, path));
}

bool PendingRecordsFile::create(const QString& path, const QByteArray& text, QString& why)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        why = lastError();
        return false;
    }
    const bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
    if (!ok) {
        why = lastError();
        ::unlink(name.constData());
    }
    ::close(fd);
    return ok;
}

qint64 PendingRecordsFile::size() const
{
    struct stat st;
    return ::fstat(m_fd, &st) == 0 ? static_cast<qint64>(st.st_size) : 0;
}

bool PendingRecordsFile::read(QByteArray& text, qint64 length, QString& why) const
{
    char buffer[65536];
    while (text.size() < length) {
        const ssize_t n = ::pread(m_fd, buffer, static_cast<size_t>(std::min<qint64>(sizeof buffer, length - text.size())),
                                  text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            why = lastError();
            return false;
        }
        if (n == 0)
            break;
        text.append(buffer, static_cast<int>(n));
    }
    return true;
}

bool PendingRecordsFile::leadsHere(const QByteArray& name) const
{
    struct stat mine;
    struct stat now;
    return ::fstat(m_fd, &mine) == 0 && ::lstat(name.constData(), &now) == 0 && mine.st_dev == now.st_dev
        && mine.st_ino == now.st_ino;
}

bool PendingRecordsFile::rename(const QString& path, QString& why)
{
    const QByteArray from = QFile::encodeName(m_path);
    if (!leadsHere(from)) {
        why = QStringLiteral("its name leads elsewhere now");
        return false;
    }
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, QFile::encodeName(path).constData(), RENAME_NOREPLACE)
        != 0) {
        why = lastError();
        return false;
    }
    m_path = path;
    return true;
}

bool PendingRecordsFile::remove()
{
    const QByteArray name = QFile::encodeName(m_path);
    if (leadsHere(name))
        ::unlink(name.constData());
    return !hasOtherNames();
}

bool PendingRecordsFile::hasOtherNames() const
{
    struct stat st;
    return ::fstat(m_fd, &st) != 0 || st.st_nlink > (leadsHere(QFile::encodeName(m_path)) ? 1u : 0u);
}

}  // namespace edufrmwk
