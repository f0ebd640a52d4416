#pragma once

#include "debug/Debugging.h"
#include "support/LogCapture.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <ostream>

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace lmstest {

// The course model writes through the toolkit's messages; route them into the log capture.
inline void captureMessages()
{
    static const bool installed = [] {
        Debugging::initialize();
        Debugging::setLoggingLevel(QsLogging::TraceLevel);
        return true;
    }();
    (void)installed;
    LogCapture::instance().clear();
}

inline bool writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QString fixture(const QString& name)
{
    return QStringLiteral(BRISOLA_SOURCE_DIR "/tests/lms/courses/") + name;
}

// Copies a directory tree (so tests can change a committed fixture).
inline bool copyTree(const QString& from, const QString& to)
{
    QDir source(from);
    if (!QDir().mkpath(to))
        return false;
    for (const QFileInfo& entry : source.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const QString target = QDir(to).filePath(entry.fileName());
        if (entry.isDir() ? !copyTree(entry.filePath(), target) : !QFile::copy(entry.filePath(), target))
            return false;
    }
    return true;
}

}  // namespace lmstest
