#include "support/LogCapture.h"

#include "debug/Logger.h"

#include <QMutexLocker>

LogCapture& LogCapture::instance()
{
    static LogCapture* const capture = [] {
        auto* c = new LogCapture();
        QsLogging::Logger::instance().addDestination(c);
        return c;
    }();
    return *capture;
}

void LogCapture::write(const QString& message)
{
    QMutexLocker lock(&m_mutex);
    m_lines.append(message);
}

void LogCapture::clear()
{
    QMutexLocker lock(&m_mutex);
    m_lines.clear();
}

QStringList LogCapture::lines() const
{
    QMutexLocker lock(&m_mutex);
    return m_lines;
}

QStringList LogCapture::linesContaining(const QString& needle) const
{
    QMutexLocker lock(&m_mutex);
    QStringList found;
    for (const QString& line : m_lines) {
        if (line.contains(needle))
            found.append(line);
    }
    return found;
}
