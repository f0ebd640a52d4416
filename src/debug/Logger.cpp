#include "debug/Logger.h"

#include "debug/Debugging.h"
#include "debug/Destination.h"
#include "debug/QsDebugOutput.h"

#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QMutexLocker>

#include <exception>

namespace QsLogging {

const char TraceString[] = "TRACE";
const char DebugString[] = "DEBUG";
const char InfoString[] = "INFO";
const char WarnString[] = "WARN";
const char ErrorString[] = "ERROR";
const char FatalString[] = "FATAL";

class LoggerImpl {
public:
    QMutex logMutex;
    Level level = InfoLevel;
    QList<Destination*> destList;
};

namespace {

const char* levelName(Level level)
{
    switch (level) {
    case TraceLevel: return TraceString;
    case DebugLevel: return DebugString;
    case InfoLevel: return InfoString;
    case WarnLevel: return WarnString;
    case ErrorLevel: return ErrorString;
    case FatalLevel: return FatalString;
    }
    Debugging::doAssert("!\"bad log level\"", __FILE__, __LINE__, nullptr);
    return InfoString;
}

}  // namespace

Logger& Logger::instance()
{
    // A function-local static would be destroyed at exit, while other threads may still log.
    static Logger* const logger = new Logger();
    return *logger;
}

Logger::Logger()
    : d(new LoggerImpl)
{
}

Logger::~Logger()
{
    Debugging::doAssert("false", __FILE__, __LINE__, nullptr);
    delete d;
}

void Logger::addDestination(Destination* destination)
{
    if (!destination) {
        // Appending it would only make every later line assert again, from inside the lock.
        Debugging::doAssert("destination", __FILE__, __LINE__, nullptr);
        return;
    }
    d->destList.push_back(destination);
}

void Logger::setLoggingLevel(Level newLevel)
{
    d->level = newLevel;
}

Level Logger::loggingLevel() const
{
    return d->level;
}

void Logger::write(const QString& message)
{
    for (Destination* dest : qAsConst(d->destList)) {
        if (dest)
            dest->write(message);
    }
}

Logger::Helper::Helper(Level logLevel)
    : m_level(logLevel)
    , m_qtDebug(&m_buffer)
{
}

Logger::Helper::~Helper()
{
    try {
        writeToLog();
    } catch (const std::exception&) {
        // Throwing on from a destructor would terminate the program; the line is lost.
        Debugging::doAssert("!\"exception in logger helper destructor\"", __FILE__, __LINE__, nullptr);
    }
}

void Logger::Helper::writeToLog()
{
    const char* const name = levelName(m_level);
    const QString completeMessage(QString("%1 %2 %3")
                                      .arg(QLatin1String(name), 5)
                                      .arg(QDateTime::currentDateTime().toString("hh:mm:ss.zzz"))
                                      .arg(m_buffer));

    // A destination whose work makes the toolkit warn would come back here through the message
    // handler and wait for the mutex this thread holds: such a line goes to standard error.
    thread_local bool writing = false;
    if (writing) {
        QsDebugOutput::output(completeMessage);
        return;
    }
    Logger& logger = Logger::instance();
    QMutexLocker lock(&logger.d->logMutex);
    writing = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{writing};
    logger.write(completeMessage);
}

}  // namespace QsLogging
