#pragma once

#include "debug/Destination.h"

#include <QMutex>
#include <QStringList>

// A log destination tests read. The logger never removes destinations, so one capture is
// installed once per process and tests clear it instead.
class LogCapture : public QsLogging::Destination {
public:
    static LogCapture& instance();

    void write(const QString& message) override;
    void clear();
    QStringList lines() const;
    // Lines whose text contains needle.
    QStringList linesContaining(const QString& needle) const;
    bool contains(const QString& needle) const { return !linesContaining(needle).isEmpty(); }

private:
    LogCapture() = default;
    mutable QMutex m_mutex;
    QStringList m_lines;
};
