// The exact shape of a log line and where it goes.
#include "debug/Debugging.h"
#include "debug/DestinationFactory.h"
#include "debug/Logger.h"
#include "support/LogCapture.h"
#include "support/Watchdog.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <atomic>

namespace {

class LogLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        Debugging::setLoggingLevel(QsLogging::TraceLevel);
        LogCapture::instance().clear();
    }
    void TearDown() override { Debugging::setLoggingLevel(QsLogging::InfoLevel); }

    static QString onlyLine()
    {
        const QStringList lines = LogCapture::instance().lines();
        EXPECT_EQ(lines.size(), 1) << lines.join('\n').toStdString();
        return lines.value(0);
    }
};

TEST_F(LogLine, LevelTimeChannelMessageAndTrailingBlank)
{
    LOG_INFO("fmwk", "framework initialized");
    const QString line = onlyLine();
    const QRegularExpression shape(
        QStringLiteral("^ INFO \\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d fmwk       framework initialized $"));
    EXPECT_TRUE(shape.match(line).hasMatch()) << line.toStdString();
}

TEST_F(LogLine, LevelNamesAreRightAlignedInFiveColumns)
{
    const struct {
        QsLogging::Level level;
        const char* prefix;
    } cases[] = {
        {QsLogging::TraceLevel, "TRACE "}, {QsLogging::DebugLevel, "DEBUG "}, {QsLogging::InfoLevel, " INFO "},
        {QsLogging::WarnLevel, " WARN "},  {QsLogging::ErrorLevel, "ERROR "}, {QsLogging::FatalLevel, "FATAL "},
    };
    for (const auto& c : cases) {
        LogCapture::instance().clear();
        LOG_AT(c.level, "x", "m");
        EXPECT_TRUE(onlyLine().startsWith(QLatin1String(c.prefix))) << c.prefix;
    }
}

TEST_F(LogLine, ChannelIsLeftAlignedInTenColumns)
{
    LOG_WARN("audio-seq", "a");
    EXPECT_TRUE(onlyLine().endsWith(QStringLiteral(" audio-seq  a "))) << onlyLine().toStdString();
    LogCapture::instance().clear();
    // A channel longer than the column is not cut.
    LOG_WARN("a-very-long-channel", "b");
    EXPECT_TRUE(onlyLine().endsWith(QStringLiteral(" a-very-long-channel b ")));
}

TEST_F(LogLine, TraceEntryFormWithNullFormat)
{
    LOG_ENTRY("score");
    EXPECT_TRUE(onlyLine().endsWith(QStringLiteral(" score      TestBody entered... "))) << onlyLine().toStdString();
}

TEST_F(LogLine, PrintfArgumentsAndPlaceholdersStayUnexpanded)
{
    LOG_INFO("x", "%d-%s %%1", 42, "y");
    EXPECT_TRUE(onlyLine().endsWith(QStringLiteral(" x          42-y %1 ")));
}

TEST_F(LogLine, NonAsciiArgumentsAreNotGarbled)
{
    LOG_INFO("x", "%s", QStringLiteral("02_chœur/é").toLocal8Bit().constData());
    EXPECT_TRUE(onlyLine().endsWith(QStringLiteral(" x          02_chœur/é "))) << onlyLine().toStdString();
}

TEST_F(LogLine, TrailingNewlineOfMessageIsRemoved)
{
    LOG_INFO("x", "ends in newline\n");
    EXPECT_TRUE(onlyLine().endsWith(QStringLiteral("ends in newline ")));
}

TEST_F(LogLine, LongMessageIsCutToTheBufferIncludingTheChannelColumn)
{
    const std::string big(9000, 'a');
    LOG_INFO("x", "%s", big.c_str());
    const QString line = onlyLine();
    // 8191 characters of text: 11 of channel column, 8180 of message.
    const int at = line.indexOf(QStringLiteral("x          a"));
    ASSERT_GE(at, 0);
    const QString text = line.mid(at);
    EXPECT_EQ(text.size(), 8191 + 1);  // plus the trailing blank
    EXPECT_EQ(text.count(QLatin1Char('a')), 8180);
}

TEST_F(LogLine, BelowTheLevelNothingIsWritten)
{
    Debugging::setLoggingLevel(QsLogging::WarnLevel);
    LOG_INFO("x", "dropped");
    LOG_ENTRY("x");
    LOG_ERROR("x", "kept");
    EXPECT_EQ(onlyLine().count(QStringLiteral("kept")), 1);
}

TEST_F(LogLine, FileDestinationTruncatesAndFlushesEveryLine)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Brisola.log");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QFile::WriteOnly));
        old.write("line of an earlier run\n");
    }
    QsLogging::Destination* file = QsLogging::DestinationFactory::MakeFileDestination(path);
    file->write(QStringLiteral("first"));
    file->write(QStringLiteral("second"));
    // Read while the destination is still open: nothing may be waiting in a buffer.
    QFile in(path);
    ASSERT_TRUE(in.open(QFile::ReadOnly | QFile::Text));
    EXPECT_EQ(QString::fromUtf8(in.readAll()), QStringLiteral("first\nsecond\n"));
    delete file;
}

TEST_F(LogLine, FileLoggingThroughTheFrontEnd)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("front.log");
    Debugging::enableFileLogging(path);
    LOG_ERROR("zq-main", "to the file");
    QFile in(path);
    ASSERT_TRUE(in.open(QFile::ReadOnly | QFile::Text));
    const QString content = QString::fromUtf8(in.readAll());
    EXPECT_TRUE(content.endsWith(QStringLiteral(" zq-main    to the file \n"))) << content.toStdString();
    EXPECT_TRUE(content.startsWith(QStringLiteral("ERROR ")));
}

TEST_F(LogLine, UnopenableLogFileIsReportedOnceAndLoggingGoesOn)
{
    QTemporaryDir dir;
    QFile plain(dir.filePath("plain"));
    ASSERT_TRUE(plain.open(QFile::WriteOnly));
    plain.close();
    const QString paths[] = {QStringLiteral("/nonexistent-dir/x.log"), dir.path(), dir.filePath("plain/x.log")};
    Debugging::initialize();  // the toolkit's messages reach the logger
    // Writing to the unopened file used to warn back into the logger, which then waited on itself.
    Watchdog watchdog(10000, "logging after an unopenable log file");
    for (const QString& path : paths) {
        SCOPED_TRACE(path.toStdString());
        LogCapture::instance().clear();
        testing::internal::CaptureStderr();
        Debugging::enableFileLogging(path);
        LOG_INFO("x", "after");
        LOG_INFO("x", "and again");
        const QString err = QString::fromStdString(testing::internal::GetCapturedStderr());
        EXPECT_EQ(err.count(path), 1) << err.toStdString();
        EXPECT_EQ(LogCapture::instance().lines().size(), 2);
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

TEST_F(LogLine, DestinationThatLogsDoesNotReenterTheLogger)
{
    static WarningDestination* const destination = [] {
        auto* d = new WarningDestination;
        QsLogging::Logger::instance().addDestination(d);
        return d;
    }();
    Debugging::initialize();
    Watchdog watchdog(10000, "a destination that logs");
    destination->armed = true;
    testing::internal::CaptureStderr();
    LOG_INFO("x", "outer");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("warned from inside a destination"), std::string::npos) << err;
    EXPECT_EQ(LogCapture::instance().linesContaining(QStringLiteral("outer")).size(), 1);
}

TEST_F(LogLine, NullDestinationIsDroppedWithAnAssertion)
{
    testing::internal::CaptureStderr();
    QsLogging::Logger::instance().addDestination(nullptr);
    LOG_INFO("x", "still written");
    testing::internal::GetCapturedStderr();
    const QStringList lines = LogCapture::instance().lines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("FATAL ")));
    EXPECT_TRUE(lines[0].contains(QStringLiteral("Assertion 'destination' failed in ")));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("still written")));
}

}  // namespace
