#pragma once

#include "debug/Destination.h"

#include <QFile>
#include <QTextStream>

namespace QsLogging {

// Truncates the file when created: the log holds only the current run.
class FileDestination : public Destination {
public:
    explicit FileDestination(const QString& filePath);
    ~FileDestination() override;
    void write(const QString& message) override;
    // False when the file could not be opened (said once on standard error); such a
    // destination writes nothing and is not added to the logger.
    bool isOpen() const { return m_file.isOpen(); }

private:
    QFile m_file;
    QTextStream m_outputStream;
};

}  // namespace QsLogging
