#include "debug/FileDestination.h"

#include <cstdio>

namespace QsLogging {

FileDestination::FileDestination(const QString& filePath)
    : m_file(filePath)
{
    // Standard error, not the logger: this runs while the logger is being set up, and writing
    // to an unopened file would make the toolkit warn back into the logger.
    if (!m_file.open(QFile::WriteOnly | QFile::Text)) {
        std::fprintf(stderr, "cannot open the log file %s (%s); logging to it is off\n",
                     QFile::encodeName(filePath).constData(), m_file.errorString().toLocal8Bit().constData());
        std::fflush(stderr);
        return;
    }
    m_outputStream.setDevice(&m_file);
}

FileDestination::~FileDestination()
{
    m_outputStream.setDevice(nullptr);
}

void FileDestination::write(const QString& message)
{
    if (!m_file.isOpen())
        return;
    // Flushed per line so the log is complete when the process dies.
    m_outputStream << message << Qt::endl;
    m_outputStream.flush();
}

}  // namespace QsLogging
