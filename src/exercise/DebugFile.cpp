#include "exercise/DebugFile.h"

#include "debug/Debugging.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static const char* const kChannel = "zq-iqe";

int DebugFile::openForWriting(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        LOG_WARN(kChannel, "cannot open debug file %s (%s)", name.constData(), std::strerror(errno));
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || ::ftruncate(fd, 0) != 0) {
        LOG_WARN(kChannel, "refusing debug file %s: not a regular file of this user", name.constData());
        ::close(fd);
        return -1;
    }
    return fd;
}

bool DebugFile::writeText(const QString& path, const QByteArray& text)
{
    const int fd = openForWriting(path);
    if (fd < 0)
        return false;
    const char* data = text.constData();
    qint64 left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        data += n;
        left -= n;
    }
    ::close(fd);
    return left == 0;
}

QString DebugFile::directory()
{
    return QDir::tempPath();
}
