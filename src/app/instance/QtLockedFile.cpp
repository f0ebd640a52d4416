#include "app/instance/QtLockedFile.h"

#include <QtDebug>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QtLockedFile::QtLockedFile() = default;

QtLockedFile::QtLockedFile(const QString& name) : QFile(name) {}

QtLockedFile::~QtLockedFile()
{
    if (isOpen())
        unlock();
}

bool QtLockedFile::open(OpenMode mode)
{
    if (mode & QIODevice::Truncate) {
        qWarning("QtLockedFile::open(): Truncate mode not allowed.");
        return false;
    }
    if (isOpen()) {
        qWarning("QtLockedFile::open(): file is already open");
        return false;
    }
    if (mode & QIODevice::Append)
        mode |= QIODevice::WriteOnly;
    int flags = O_CLOEXEC | O_NOFOLLOW;
    if ((mode & QIODevice::ReadWrite) == QIODevice::ReadWrite)
        flags |= O_RDWR | O_CREAT;
    else if (mode & QIODevice::WriteOnly)
        flags |= O_WRONLY | O_CREAT;
    else if (mode & QIODevice::ReadOnly)
        flags |= O_RDONLY;
    else
        return false;
    if (mode & QIODevice::Append)
        flags |= O_APPEND;

    // A lock file in a shared folder must not be a link planted by someone else.
    const QByteArray path = QFile::encodeName(fileName());
    const int fd = ::open(path.constData(), flags, S_IRUSR | S_IWUSR);
    if (fd < 0) {
        qWarning("QtLockedFile::open(): %s: %s", path.constData(), strerror(errno));
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        qWarning("QtLockedFile::open(): %s is not a regular file", path.constData());
        ::close(fd);
        return false;
    }
    // Another user's process could hold its lock and pose as the running instance.
    if (st.st_uid != ::geteuid()) {
        qWarning("QtLockedFile::open(): %s belongs to user %u, not to this one", path.constData(), unsigned(st.st_uid));
        ::close(fd);
        return false;
    }
    // A file left by an older build may be readable by others; ours is private.
    if ((st.st_mode & 077) != 0)
        ::fchmod(fd, S_IRUSR | S_IWUSR);
    const QString name = fileName();
    if (!QFile::open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    m_openedName = name;
    return true;
}

QString QtLockedFile::fileName() const
{
    const QString name = QFile::fileName();
    return name.isEmpty() ? m_openedName : name;
}

static bool setRecordLock(int fd, short type, bool block)
{
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;  // the whole file, however long
    fl.l_type = type;
    return ::fcntl(fd, block ? F_SETLKW : F_SETLK, &fl) != -1;
}

bool QtLockedFile::lock(LockMode mode, bool block)
{
    m_unusable = false;
    if (!isOpen()) {
        qWarning("QtLockedFile::lock(): file is not opened");
        m_unusable = true;
        return false;
    }
    if (mode == NoLock)
        return unlock();
    if (mode == m_lockMode)
        return true;
    if (m_lockMode != NoLock)
        unlock();

    if (!setRecordLock(handle(), mode == ReadLock ? F_RDLCK : F_WRLCK, block)) {
        const int err = errno;
        // EACCES is what some systems answer instead of EAGAIN for a lock held by another process.
        if (err == EINTR || err == EAGAIN || err == EACCES)
            return false;
        qWarning("QtLockedFile::lock(): fcntl: %s", strerror(err));
        m_unusable = true;
        return false;
    }
    m_lockMode = mode;
    return true;
}

bool QtLockedFile::unlock()
{
    if (!isOpen()) {
        qWarning("QtLockedFile::unlock(): file is not opened");
        return false;
    }
    if (!isLocked())
        return true;
    if (!setRecordLock(handle(), F_UNLCK, true)) {
        qWarning("QtLockedFile::unlock(): fcntl: %s", strerror(errno));
        return false;
    }
    m_lockMode = NoLock;
    return true;
}
