#pragma once

#include "debug/LogLevel.h"

#include <QDebug>
#include <QString>

namespace QsLogging {

class Destination;
class LoggerImpl;

// The process-wide logger: a level and an ordered list of destinations.
// Created on first use and never deleted.
class Logger {
public:
    static Logger& instance();

    void addDestination(Destination* destination);
    void setLoggingLevel(Level newLevel);
    Level loggingLevel() const;

    // One message being written; the line goes out when the helper is destroyed.
    class Helper {
    public:
        explicit Helper(Level logLevel);
        ~Helper();
        QDebug& stream() { return m_qtDebug; }

    private:
        void writeToLog();

        Level m_level;
        QString m_buffer;
        QDebug m_qtDebug;
    };

private:
    Logger();
    ~Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    // The caller holds the logger's mutex.
    void write(const QString& message);

    LoggerImpl* d;
};

}  // namespace QsLogging
