// Exclusions, toolkit messages and the command-line options.
#include "debug/Debugging.h"
#include "debug/Logger.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QtGlobal>

namespace {

class LogFilter : public ::testing::Test {
protected:
    void SetUp() override
    {
        Debugging::initialize();
        Debugging::setLoggingLevel(QsLogging::TraceLevel);
        LogCapture::instance().clear();
    }
    void TearDown() override { Debugging::setLoggingLevel(QsLogging::InfoLevel); }
    static int count() { return LogCapture::instance().lines().size(); }
};

TEST_F(LogFilter, ChannelExclusionDropsOnlyThatLevel)
{
    Debugging::addExclusionModule("flt-a", QsLogging::InfoLevel);
    LOG_INFO("flt-a", "dropped");
    EXPECT_EQ(count(), 0);
    LOG_DEBUG("flt-a", "debug passes");
    LOG_WARN("flt-a", "warn passes");
    LOG_INFO("flt-b", "other channel passes");
    EXPECT_EQ(count(), 3);
}

TEST_F(LogFilter, StartUpTraceExclusionKeepsDebugLines)
{
    Debugging::addExclusionModule("flt-seq", QsLogging::TraceLevel);
    LOG_ENTRY("flt-seq");
    LOG_TRACE("flt-seq", "trace");
    EXPECT_EQ(count(), 0);
    LOG_DEBUG("flt-seq", "debug");
    EXPECT_EQ(count(), 1);
}

TEST_F(LogFilter, ExclusionKeyUsesTheLevelCodeNotItsDigit)
{
    EXPECT_EQ(Debugging::exclusionKey("score", QsLogging::InfoLevel), QString("score:") + QChar(2));
    EXPECT_EQ(Debugging::exclusionKey("fmwk-db", QsLogging::TraceLevel), QString("fmwk-db:") + QChar(0));
    EXPECT_NE(Debugging::exclusionKey("score", QsLogging::InfoLevel), QStringLiteral("score:2"));
}

TEST_F(LogFilter, SubstringIsTestedOnTheFormatOnly)
{
    Debugging::addExclusionSubstring("[flt object]");
    LOG_WARN("x", "a [flt object] b");
    EXPECT_EQ(count(), 0);
    LOG_WARN("x", "%s", "through an argument: [flt object]");
    EXPECT_EQ(count(), 1);
}

TEST_F(LogFilter, SubstringTestIsCaseSensitive)
{
    Debugging::addExclusionSubstring("flt-noise");
    LOG_WARN("x", "FLT-NOISE in capitals");
    EXPECT_EQ(count(), 1);
}

TEST_F(LogFilter, ToolkitMessagesAreFiledUnderQtlog)
{
    qWarning("%s", "toolkit warning");
    qDebug("%s", "toolkit debug");
    qCritical("%s", "toolkit critical");
    qInfo("%s", "informational: not logged");
    const QStringList lines = LogCapture::instance().lines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral(" WARN ")));
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(" qtlog      toolkit warning ")));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("DEBUG ")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("ERROR ")));
}

TEST_F(LogFilter, ToolkitTextIsNeverTheFormat)
{
    qWarning("%s", "QML says %d and %n and %s");
    ASSERT_EQ(count(), 1);
    EXPECT_TRUE(LogCapture::instance().lines()[0].endsWith(QStringLiteral("QML says %d and %n and %s ")));
}

TEST_F(LogFilter, ToolkitTextWithAnExcludedSubstringLeavesNoLine)
{
    Debugging::addExclusionSubstring("is not an object");
    qWarning("%s", "qrc:/main.qml:3: TypeError: foo is not an object");
    EXPECT_EQ(count(), 0);
}

TEST_F(LogFilter, LevelByNameIgnoresCaseAndUnknownNames)
{
    Debugging::setLoggingLevelByName(QStringLiteral("DEBUG"));
    EXPECT_EQ(QsLogging::Logger::instance().loggingLevel(), QsLogging::DebugLevel);
    Debugging::setLoggingLevelByName(QStringLiteral("verbose"));
    Debugging::setLoggingLevelByName(QString());
    EXPECT_EQ(QsLogging::Logger::instance().loggingLevel(), QsLogging::DebugLevel);
    Debugging::setLoggingLevelByName(QStringLiteral("Fatal"));
    EXPECT_EQ(QsLogging::Logger::instance().loggingLevel(), QsLogging::FatalLevel);
}

TEST_F(LogFilter, LogLevelOption)
{
    auto levelAfter = [](const QStringList& args) {
        Debugging::setLoggingLevel(QsLogging::InfoLevel);
        Debugging::applyLoggingOptions(args);
        return QsLogging::Logger::instance().loggingLevel();
    };
    EXPECT_EQ(levelAfter({"brisola", "--log-level=trace"}), QsLogging::TraceLevel);
    EXPECT_EQ(levelAfter({"brisola", "--log-level=ERROR"}), QsLogging::ErrorLevel);
    // The first matching argument counts, even when it names no level.
    EXPECT_EQ(levelAfter({"brisola", "--log-level=loud", "--log-level=debug"}), QsLogging::InfoLevel);
    EXPECT_EQ(levelAfter({"brisola", "--log-level=debug=x"}), QsLogging::InfoLevel);
    // The program path is not an option; the match is whole and case-sensitive.
    EXPECT_EQ(levelAfter({"--log-level=debug"}), QsLogging::InfoLevel);
    EXPECT_EQ(levelAfter({"brisola", "x--log-level=debug"}), QsLogging::InfoLevel);
    EXPECT_EQ(levelAfter({"brisola", "--LOG-LEVEL=debug"}), QsLogging::InfoLevel);
}

TEST_F(LogFilter, ConsoleOptionWritesTheSameLineToStandardError)
{
    testing::internal::CaptureStderr();
    Debugging::applyLoggingOptions({"brisola", "--log-console"});
    LOG_ERROR("flt-cons", "on the console");
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(count(), 1);
    EXPECT_EQ(err, (LogCapture::instance().lines()[0] + "\n").toStdString());
}

}  // namespace
