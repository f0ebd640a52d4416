// The fatal-assertion report: always a FATAL line; the dialog on the GUI thread only.
#include "debug/Debugging.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <QRegularExpression>
#include <QTimer>

namespace {

class FatalAssert : public ::testing::Test {
protected:
    void SetUp() override
    {
        Debugging::setLoggingLevel(QsLogging::InfoLevel);
        LogCapture::instance().clear();
        AssertRecorder::clear();
    }
    void TearDown() override { AssertRecorder::install(); }
};

TEST_F(FatalAssert, FailedCheckLogsFatalLineWhateverTheLevelAndGoesOn)
{
    Debugging::setLoggingLevel(QsLogging::FatalLevel);
    Debugging::addExclusionSubstring("Assertion");
    BRISOLA_ASSERT_MSG(2 > 1, "never shown");
    BRISOLA_ASSERT(1 + 1 == 3);
    EXPECT_EQ(AssertRecorder::expressions(), QStringList("1 + 1 == 3"));
    const QStringList lines = LogCapture::instance().lines();
    ASSERT_EQ(lines.size(), 1);
    // No channel column: the text follows the time directly.
    EXPECT_TRUE(lines[0].contains(QRegularExpression(
        QStringLiteral("^FATAL \\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d Assertion '1 \\+ 1 == 3' failed in .*FatalAssertTest\\.cpp\\(\\d+\\) $"))))
        << lines[0].toStdString();
    Debugging::setLoggingLevel(QsLogging::InfoLevel);
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

TEST_F(FatalAssert, IgnoreOnTheDialogReturnsToTheCaller)
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

TEST_F(FatalAssert, CloseOnTheDialogEndsTheProcessWithStatusOne)
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

TEST_F(FatalAssert, OnAnotherThreadOnlyTheLineIsWrittenAndNoDialogOpens)
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
