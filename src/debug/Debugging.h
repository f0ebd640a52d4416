#pragma once

#include "debug/LogLevel.h"

#include <QString>
#include <QStringList>

// The one door through which the system logs and fails: channel-tagged printf-style lines,
// exclusions by channel and level or by format text, and the fatal-assertion report.
class Debugging {
public:
    // Called instead of the fatal-error dialog when set. Tests install one; the application never does.
    using AssertHook = void (*)(const char* expression, const char* file, int line, const char* message);

    static void initialize();
    static void setLoggingLevel(QsLogging::Level level);
    static void setLoggingLevelByName(const QString& name);
    static void enableConsoleLogging();
    static void enableFileLogging(const QString& filePath);
    static void addExclusionModule(const char* module, QsLogging::Level level);
    static void addExclusionSubstring(const char* text);
    // The channel, ":", and the character whose code is the level number (not its digit).
    static QString exclusionKey(const char* module, QsLogging::Level level);

    // "--log-console" adds the console; the first "--log-level=<name>" after the program path sets the level.
    static void applyLoggingOptions(const QStringList& arguments);

    static void doLog(QsLogging::Level level, const char* module, const char* function, const char* file,
                      int line, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 6, 7)))
#endif
        ;
    static void doAssert(const char* expression, const char* file, int line, const char* message);

    static void setAssertHook(AssertHook hook);
    // Runs when the fatal report's Close ends the program, before it ends: the last save of what
    // must not be lost. One at a time; null removes it.
    using ExitHook = void (*)();
    static void setExitHook(ExitHook hook);
};

#define LOG_AT(level, channel, ...) \
    Debugging::doLog(level, channel, __func__, __FILE__, __LINE__, __VA_ARGS__)
#define LOG_ENTRY(channel) \
    Debugging::doLog(QsLogging::TraceLevel, channel, __func__, __FILE__, __LINE__, nullptr)
#define LOG_TRACE(channel, ...) LOG_AT(QsLogging::TraceLevel, channel, __VA_ARGS__)
#define LOG_DEBUG(channel, ...) LOG_AT(QsLogging::DebugLevel, channel, __VA_ARGS__)
#define LOG_INFO(channel, ...) LOG_AT(QsLogging::InfoLevel, channel, __VA_ARGS__)
#define LOG_WARN(channel, ...) LOG_AT(QsLogging::WarnLevel, channel, __VA_ARGS__)
#define LOG_ERROR(channel, ...) LOG_AT(QsLogging::ErrorLevel, channel, __VA_ARGS__)
#define LOG_FATAL(channel, ...) LOG_AT(QsLogging::FatalLevel, channel, __VA_ARGS__)

// The check runs at the call site; the report only when it fails. Ignore goes on after the check.
#define BRISOLA_ASSERT(condition) \
    do { \
        if (!(condition)) \
            Debugging::doAssert(#condition, __FILE__, __LINE__, nullptr); \
    } while (0)
#define BRISOLA_ASSERT_MSG(condition, message) \
    do { \
        if (!(condition)) \
            Debugging::doAssert(#condition, __FILE__, __LINE__, message); \
    } while (0)
