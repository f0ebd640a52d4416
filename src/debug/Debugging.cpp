#include "debug/Debugging.h"

#include "debug/DestinationFactory.h"
#include "debug/FileDestination.h"
#include "debug/Logger.h"

#include <QApplication>
#include <QGridLayout>
#include <QList>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSpacerItem>
#include <QThread>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {

QList<QString> g_exclusions_modules;
QList<QString> g_exclusions_substrings;
const char* const g_log_level_names[] = {"trace", "debug", "info", "warn", "error", "fatal"};
std::atomic<Debugging::AssertHook> g_assert_hook{nullptr};
std::atomic<Debugging::ExitHook> g_exit_hook{nullptr};

bool containsExcludedSubstring(const QString& text)
{
    for (const QString& s : qAsConst(g_exclusions_substrings)) {
        if (text.contains(s, Qt::CaseSensitive))
            return true;
    }
    return false;
}

void customQtMessageOutput(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    QsLogging::Level level;
    switch (type) {
    case QtDebugMsg: level = QsLogging::DebugLevel; break;
    case QtWarningMsg: level = QsLogging::WarnLevel; break;
    case QtCriticalMsg: level = QsLogging::ErrorLevel; break;
    case QtFatalMsg: level = QsLogging::FatalLevel; break;
    default: return;
    }
    const QByteArray local = text.toLocal8Bit();
    if (containsExcludedSubstring(QString::fromLocal8Bit(local)))
        return;
    // Always an argument, never the format: a "%n" in a QML warning must stay text.
    Debugging::doLog(level, "qtlog", "customQtMessageOutput", nullptr, 0, "%s", local.constData());
}

}  // namespace

void Debugging::initialize()
{
    qInstallMessageHandler(customQtMessageOutput);
    QsLogging::Logger::instance().setLoggingLevel(QsLogging::InfoLevel);
}

void Debugging::setLoggingLevel(QsLogging::Level level)
{
    QsLogging::Logger::instance().setLoggingLevel(level);
}

void Debugging::setLoggingLevelByName(const QString& name)
{
    const QString lower = name.toLower();
    for (int i = 0; i < 6; ++i) {
        if (lower == QLatin1String(g_log_level_names[i])) {
            setLoggingLevel(static_cast<QsLogging::Level>(i));
            return;
        }
    }
}

void Debugging::enableConsoleLogging()
{
    QsLogging::Logger::instance().addDestination(QsLogging::DestinationFactory::MakeDebugOutputDestination());
}

void Debugging::enableFileLogging(const QString& filePath)
{
    QsLogging::Destination* destination = QsLogging::DestinationFactory::MakeFileDestination(filePath);
    // A file that did not open has said so on standard error; keeping it would only lose lines.
    if (auto* file = dynamic_cast<QsLogging::FileDestination*>(destination); file && !file->isOpen()) {
        delete destination;
        return;
    }
    QsLogging::Logger::instance().addDestination(destination);
}

QString Debugging::exclusionKey(const char* module, QsLogging::Level level)
{
    return QString::fromLatin1(module) + QLatin1Char(':') + QChar(static_cast<int>(level));
}

void Debugging::addExclusionModule(const char* module, QsLogging::Level level)
{
    g_exclusions_modules.append(exclusionKey(module, level));
}

void Debugging::addExclusionSubstring(const char* text)
{
    g_exclusions_substrings.append(QString::fromLatin1(text));
}

void Debugging::applyLoggingOptions(const QStringList& arguments)
{
    if (arguments.contains(QStringLiteral("--log-console")))
        enableConsoleLogging();

    static const QRegularExpression levelOption(QStringLiteral("\\A(?:--log-level=.*)\\z"));
    for (int i = 1; i < arguments.size(); ++i) {
        if (!levelOption.match(arguments.at(i)).hasMatch())
            continue;
        const QStringList parts = arguments.at(i).split(QLatin1Char('='));
        if (parts.size() == 2)
            setLoggingLevelByName(parts.at(1));
        break;
    }
}

void Debugging::doLog(QsLogging::Level level, const char* module, const char* function, const char*, int,
                      const char* format, ...)
{
    QsLogging::Logger& logger = QsLogging::Logger::instance();
    if (level < logger.loggingLevel())
        return;

    if (!g_exclusions_modules.isEmpty()) {
        if (g_exclusions_modules.contains(exclusionKey(module, level)))
            return;
    }
    // The test looks at the format only, never at the formatted text.
    if (format && !g_exclusions_substrings.isEmpty() && containsExcludedSubstring(QString::fromLatin1(format)))
        return;

    char buffer[8192];
    if (level == QsLogging::TraceLevel && !format) {
        std::snprintf(buffer, sizeof buffer, "%-10s %s entered...", module, function ? function : "");
    } else {
        int used = std::snprintf(buffer, sizeof buffer, "%-10s ", module);
        if (used < 0)
            used = 0;
        if (format && static_cast<size_t>(used) < sizeof buffer - 1) {
            va_list args;
            va_start(args, format);
            std::vsnprintf(buffer + used, sizeof buffer - used, format, args);
            va_end(args);
        }
    }

    // Arguments arrive in the local encoding (paths, course names); reading them as Latin-1 would garble them.
    const QByteArray text = QString::fromLocal8Bit(buffer).trimmed().toLocal8Bit();
    QsLogging::Logger::Helper(level).stream() << text.constData();
}

void Debugging::setAssertHook(AssertHook hook)
{
    g_assert_hook.store(hook);
}

void Debugging::setExitHook(ExitHook hook)
{
    g_exit_hook.store(hook);
}

void Debugging::doAssert(const char* expression, const char* file, int line, const char* message)
{
    char buffer[1024];
    std::snprintf(buffer, sizeof buffer, "Assertion '%s' failed in %s(%d)", expression, file, line);
    // No level test and no exclusion: a failed assertion is always in the log.
    QsLogging::Logger::Helper(QsLogging::FatalLevel).stream() << buffer;

    if (AssertHook hook = g_assert_hook.load()) {
        hook(expression, file, line, message);
        return;
    }

    // A dialog needs the GUI thread, and waiting for that thread could deadlock
    // (it may be waiting for this one): elsewhere the FATAL line is the whole report.
    QApplication* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app || QThread::currentThread() != app->thread())
        return;

    QMessageBox box;
    box.setWindowTitle(QStringLiteral("Fatal error..."));
    QString text = QStringLiteral("Fatal error");
    if (message)
        text += QStringLiteral(": ") + QString::fromLocal8Bit(message);
    box.setText(text);
    box.setInformativeText(QStringLiteral(
        "The application encountered a fatal error and must be closed.  Please try reopening it again."));
    box.setDetailedText(QString::fromLocal8Bit(buffer));
    box.setIcon(QMessageBox::Critical);
    auto* spacer = new QSpacerItem(400, 0, QSizePolicy::Minimum, QSizePolicy::Expanding);
    if (auto* layout = qobject_cast<QGridLayout*>(box.layout()))
        layout->addItem(spacer, layout->rowCount(), 0, 1, layout->columnCount());
    else
        delete spacer;
    box.setStandardButtons(QMessageBox::Close | QMessageBox::Ignore);
    box.setDefaultButton(QMessageBox::Close);

    if (box.exec() == QMessageBox::Close) {
        if (ExitHook hook = g_exit_hook.exchange(nullptr))
            hook();
        std::exit(1);
    }
}
