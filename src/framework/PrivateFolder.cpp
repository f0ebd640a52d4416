#include "framework/PrivateFolder.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace edufrmwk {

bool PrivateFolder::check(const QString& folder, QString& why)
{
    struct stat st;
    if (::lstat(QFile::encodeName(folder).constData(), &st) != 0)
        why = QStringLiteral("unreadable: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    else if (S_ISLNK(st.st_mode))
        why = QStringLiteral("a symbolic link");
    else if (!S_ISDIR(st.st_mode))
        why = QStringLiteral("not a directory");
    else if (st.st_uid != ::geteuid())
        why = QStringLiteral("owned by user %1").arg(st.st_uid);
    else if ((st.st_mode & 07777) != 0700)
        why = QStringLiteral("of mode %1, not 0700").arg(st.st_mode & 07777, 4, 8, QLatin1Char('0'));
    else
        return true;
    return false;
}

QString PrivateFolder::make(const QString& folder, QString& why)
{
    QByteArray name = QFile::encodeName(folder);
    const bool pattern = folder.endsWith(QLatin1String("XXXXXX"));
    // mkdtemp: 0700, never an existing name
    if (pattern ? !::mkdtemp(name.data()) : ::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
        why = QStringLiteral("not made: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return QString();
    }
    const QString made = QFile::decodeName(name);
    return check(made, why) ? made : QString();
}

}  // namespace edufrmwk
