// Log lines (their exact shape, where they go, what is left out) and the fatal-assertion report.
#include "debug/Debugging.h"
#include "debug/DestinationFactory.h"
#include "debug/Logger.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"
#include "support/Watchdog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <functional>

namespace {

class DebugTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Debugging::initialize();  // the toolkit's messages reach the logger
        Debugging::setLoggingLevel(QsLogging::TraceLevel);
        LogCapture::instance().clear();
        AssertRecorder::clear();
    }
    void TearDown() override
    {
        Debugging::setLoggingLevel(QsLogging::InfoLevel);
        AssertRecorder::install();
    }
    static QStringList lines() { return LogCapture::instance().lines(); }
};

TEST_F(DebugTest, LinesAsWritten)
{
    // Level right-aligned in five columns, time, channel left-aligned in ten (never cut), the
    // message and a trailing blank; printf arguments expanded, "%1" not; non-ASCII kept; the
    // toolkit's text always an argument, filed under "qtlog".
    const std::string big(9000, 'a');
    const struct { std::function<void()> log; QString line; } rows[] = {
        {[] { LOG_INFO("fmwk", "framework initialized"); }, " INFO hh:mm:ss.zzz fmwk       framework initialized "},
        {[] { LOG_WARN("audio-seq", "a"); }, " WARN hh:mm:ss.zzz audio-seq  a "},
        {[] { LOG_ERROR("a-very-long-channel", "b"); }, "ERROR hh:mm:ss.zzz a-very-long-channel b "},
        {[] { LOG_FATAL("x", "m"); }, "FATAL hh:mm:ss.zzz x          m "},
        {[] { LOG_ENTRY("score"); }, "TRACE hh:mm:ss.zzz score      operator() entered... "},
        {[] { LOG_INFO("x", "%d-%s %%1", 42, "y"); }, " INFO hh:mm:ss.zzz x          42-y %1 "},
        {[] { LOG_INFO("x", "%s", QStringLiteral("02_chœur/é").toLocal8Bit().constData()); }, " INFO hh:mm:ss.zzz x          02_chœur/é "},
        {[] { LOG_INFO("x", "ends in newline\n"); }, " INFO hh:mm:ss.zzz x          ends in newline "},
        // 8191 characters of text: 11 of channel column, 8180 of message
        {[&] { LOG_INFO("x", "%s", big.c_str()); }, " INFO hh:mm:ss.zzz x          " + QString(8180, 'a') + " "},
        {[] { qWarning("%s", "QML says %d and %n and %s"); }, " WARN hh:mm:ss.zzz qtlog      QML says %d and %n and %s "},
        {[] { qCritical("%s", "toolkit critical"); }, "ERROR hh:mm:ss.zzz qtlog      toolkit critical "},
    };
    for (const auto& r : rows) {
        LogCapture::instance().clear();
        r.log();
        ASSERT_EQ(lines().size(), 1) << r.line.left(60).toStdString();
        QString line = lines()[0];
        EXPECT_TRUE(QRegularExpression("^.{6}\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d ").match(line).hasMatch());
        EXPECT_EQ(line.replace(6, 12, "hh:mm:ss.zzz"), r.line);
    }
    LogCapture::instance().clear();
    qInfo("%s", "informational: not logged");
    Debugging::setLoggingLevel(QsLogging::WarnLevel);  // below the level nothing is written
    LOG_INFO("x", "dropped");
    LOG_ENTRY("x");
    EXPECT_TRUE(lines().isEmpty());
}

TEST_F(DebugTest, Exclusions)
{
    // by channel and level (key: channel, ":", the character whose code is the level), and by a
    // case-sensitive substring of the format only
    EXPECT_EQ(Debugging::exclusionKey("score", QsLogging::InfoLevel), QString("score:") + QChar(2));
    Debugging::addExclusionModule("flt-a", QsLogging::InfoLevel);
    Debugging::addExclusionModule("flt-seq", QsLogging::TraceLevel);
    Debugging::addExclusionSubstring("[flt object]");
    Debugging::addExclusionSubstring("is not an object");
    LOG_INFO("flt-a", "dropped");
    LOG_ENTRY("flt-seq");
    LOG_TRACE("flt-seq", "dropped");
    LOG_WARN("x", "a [flt object] b");
    qWarning("%s", "qrc:/main.qml:3: TypeError: foo is not an object");
    EXPECT_TRUE(lines().isEmpty());
    LOG_DEBUG("flt-a", "passes");
    LOG_INFO("flt-b", "passes");
    LOG_DEBUG("flt-seq", "passes");
    LOG_WARN("x", "%s", "through an argument: [flt object] passes");
    LOG_WARN("x", "[FLT OBJECT] passes");
    EXPECT_EQ(LogCapture::instance().linesContaining("passes").size(), 5);
}

TEST_F(DebugTest, LevelNamesAndOptions)
{
    auto levelAfter = [](const QStringList& args) {
        Debugging::setLoggingLevel(QsLogging::InfoLevel);
        Debugging::applyLoggingOptions(args);
        return QsLogging::Logger::instance().loggingLevel();
    };
    // the first matching argument counts, even when it names no level; the program path is no
    // option; the match is whole and case-sensitive
    const struct { QStringList args; QsLogging::Level level; } rows[] = {
        {{"brisola", "--log-level=trace"}, QsLogging::TraceLevel}, {{"brisola", "--log-level=ERROR"}, QsLogging::ErrorLevel},
        {{"brisola", "--log-level=loud", "--log-level=debug"}, QsLogging::InfoLevel},
        {{"brisola", "--log-level=debug=x"}, QsLogging::InfoLevel}, {{"--log-level=debug"}, QsLogging::InfoLevel},
        {{"brisola", "x--log-level=debug"}, QsLogging::InfoLevel}, {{"brisola", "--LOG-LEVEL=debug"}, QsLogging::InfoLevel},
    };
    for (const auto& r : rows)
        EXPECT_EQ(levelAfter(r.args), r.level) << r.args.join(' ').toStdString();
    Debugging::setLoggingLevelByName("Fatal");
    Debugging::setLoggingLevelByName("verbose");
    EXPECT_EQ(QsLogging::Logger::instance().loggingLevel(), QsLogging::FatalLevel);

    // the console destination writes the same line to standard error directly
    Debugging::setLoggingLevel(QsLogging::InfoLevel);
    testing::internal::CaptureStderr();
    Debugging::applyLoggingOptions({"brisola", "--log-console"});
    LOG_ERROR("flt-cons", "on the console");
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(lines().size(), 1);
    EXPECT_EQ(err, (lines()[0] + "\n").toStdString());
}

TEST_F(DebugTest, FileDestinationTruncatesAndFlushesEveryLine)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Brisola.log");
    QFile old(path);
    ASSERT_TRUE(old.open(QFile::WriteOnly));
    old.write("line of an earlier run\n");
    old.close();
    Debugging::enableFileLogging(path);
    LOG_ERROR("zq-main", "first");
    LOG_ERROR("zq-main", "second");
    QFile in(path);  // read while the destination is open: nothing may wait in a buffer
    ASSERT_TRUE(in.open(QFile::ReadOnly | QFile::Text));
    const QStringList written = QString::fromUtf8(in.readAll()).split('\n');
    ASSERT_EQ(written.size(), 3);
    EXPECT_EQ(written[0].mid(18), " zq-main    first ");
    EXPECT_EQ(written[1].mid(18), " zq-main    second ");
}

TEST_F(DebugTest, UnopenableLogFileIsReportedOnceAndLoggingGoesOn)
{
    QTemporaryDir dir;
    QFile plain(dir.filePath("plain"));
    ASSERT_TRUE(plain.open(QFile::WriteOnly));
    plain.close();
    // Writing to the unopened file used to warn back into the logger, which then waited on itself.
    Watchdog watchdog(10000, "logging after an unopenable log file");
    for (const QString& path : {QString("/nonexistent-dir/x.log"), dir.path(), dir.filePath("plain/x.log")}) {
        LogCapture::instance().clear();
        testing::internal::CaptureStderr();
        Debugging::enableFileLogging(path);
        LOG_INFO("x", "after");
        LOG_INFO("x", "and again");
        const QString err = QString::fromStdString(testing::internal::GetCapturedStderr());
        EXPECT_EQ(err.count(path), 1) << err.toStdString();
        EXPECT_EQ(lines().size(), 2);
    }
}

// Says something through the toolkit while the logger writes, once per arming.
class WarningDestination : public QsLogging::Destination {
public:
    void write(const QString&) override
    {
        if (armed.exchange(false))
            qWarning("warned from inside a destination");
    }
    std::atomic<bool> armed{false};
};

TEST_F(DebugTest, DestinationsThatLogOrAreNullDoNotStopTheLogger)
{
    static WarningDestination* const destination = [] {
        auto* d = new WarningDestination;
        QsLogging::Logger::instance().addDestination(d);
        return d;
    }();
    Watchdog watchdog(10000, "a destination that logs");
    destination->armed = true;
    testing::internal::CaptureStderr();
    LOG_INFO("x", "outer");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("warned from inside a destination"), std::string::npos) << err;
    EXPECT_EQ(LogCapture::instance().linesContaining("outer").size(), 1);

    // a null destination is dropped after its assertion (the literal text deadlocked on the mutex)
    LogCapture::instance().clear();
    testing::internal::CaptureStderr();
    QsLogging::Logger::instance().addDestination(nullptr);
    LOG_INFO("x", "still written");
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(lines().size(), 2);
    EXPECT_TRUE(lines()[0].startsWith("FATAL ") && lines()[0].contains("Assertion 'destination' failed in "));
    EXPECT_TRUE(lines()[1].contains("still written"));
}

TEST_F(DebugTest, FailedCheckLogsFatalLineWhateverTheLevelAndGoesOn)
{
    Debugging::setLoggingLevel(QsLogging::FatalLevel);
    Debugging::addExclusionSubstring("Assertion");
    BRISOLA_ASSERT_MSG(2 > 1, "never shown");
    BRISOLA_ASSERT(1 + 1 == 3);
    EXPECT_EQ(AssertRecorder::expressions(), QStringList("1 + 1 == 3"));
    ASSERT_EQ(lines().size(), 1);
    // No channel column: the text follows the time directly.
    EXPECT_TRUE(lines()[0].contains(QRegularExpression(
        QStringLiteral("^FATAL \\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d Assertion '1 \\+ 1 == 3' failed in .*DebuggingTest\\.cpp\\(\\d+\\) $"))))
        << lines()[0].toStdString();
}

// Finds the open report and presses one of its buttons once the dialog runs.
void pressOnReport(QMessageBox::StandardButton which, QString* seenText = nullptr, QString* seenInfo = nullptr)
{
    QTimer::singleShot(50, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            pressOnReport(which, seenText, seenInfo);
            return;
        }
        if (seenText)
            *seenText = box->windowTitle() + "|" + box->text() + "|" + box->detailedText();
        if (seenInfo)
            *seenInfo = box->informativeText();
        box->button(which)->click();
    });
}

TEST_F(DebugTest, IgnoreOnTheDialogReturnsToTheCaller)
{
    Debugging::setAssertHook(nullptr);
    const struct { const char* message; QString text; } rows[] = {
        {"no score", "Fatal error...|Fatal error: no score|Assertion 'x != nullptr' failed in file.cpp(12)"},
        {nullptr, "Fatal error...|Fatal error|Assertion 'x != nullptr' failed in file.cpp(12)"}};
    for (const auto& r : rows) {
        QString text, info;
        pressOnReport(QMessageBox::Ignore, &text, &info);
        Debugging::doAssert("x != nullptr", "file.cpp", 12, r.message);
        EXPECT_EQ(text, r.text);
        EXPECT_EQ(info, "The application encountered a fatal error and must be closed.  Please try reopening it again.");
    }
}

TEST_F(DebugTest, CloseOnTheDialogEndsTheProcessWithStatusOne)
{
    EXPECT_EXIT(
        {
            Debugging::setAssertHook(nullptr);
            pressOnReport(QMessageBox::Close);
            Debugging::doAssert("closing", "f.cpp", 2, nullptr);
            std::exit(0);  // not reached when Close ends the process
        },
        ::testing::ExitedWithCode(1), "");
}

TEST_F(DebugTest, OnAnotherThreadOnlyTheLineIsWrittenAndNoDialogOpens)
{
    Debugging::setAssertHook(nullptr);
    bool returned = false;
    QThread* worker = QThread::create([&] {
        Debugging::doAssert("worker", "w.cpp", 3, "from the worker");
        returned = true;
    });
    worker->start();
    ASSERT_TRUE(worker->wait(5000));
    delete worker;
    EXPECT_TRUE(returned);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(LogCapture::instance().linesContaining(QStringLiteral("Assertion 'worker' failed in w.cpp(3)")).size(), 1);
}

}  // namespace
