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

private:
    QFile m_file;
    QTextStream m_outputStream;
};

}  // namespace QsLogging
