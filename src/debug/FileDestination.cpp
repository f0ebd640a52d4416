#include "debug/FileDestination.h"

namespace QsLogging {

FileDestination::FileDestination(const QString& filePath)
    : m_file(filePath)
{
    // A file that cannot be opened is not reported; its lines are lost.
    m_file.open(QFile::WriteOnly | QFile::Text);
    m_outputStream.setDevice(&m_file);
}

FileDestination::~FileDestination()
{
    m_outputStream.setDevice(nullptr);
}

void FileDestination::write(const QString& message)
{
    // Flushed per line so the log is complete when the process dies.
    m_outputStream << message << Qt::endl;
    m_outputStream.flush();
}

}  // namespace QsLogging
