// The shell's start-up pieces that run without the event loop: the course with its state objects,
// the steps that cannot be ignored past, and the restart's hand-over of the single-instance guard.
#include "CourseWriter.h"

#include "app/instance/QtLocalPeer.h"
#include "app/shell/CourseStartup.h"
#include "app/shell/ProgramRelauncher.h"
#include "app/shell/Tarvolin.h"
#include "app/shell/TerminationSignals.h"
#include "framework/ElementState.h"
#include "debug/Debugging.h"
#include "framework/Database.h"
#include "framework/FrameworkManager.h"
#include "framework/HeldLock.h"
#include "lms/LmsCourse.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"
#include "support/Watchdog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSplashScreen>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace {

int stateObjects(LmsElement* element, QStringList& order)
{
    auto* state = dynamic_cast<ElementState*>(element->getState());
    if (!state || state->getState() != ElementState::INVALID)
        return -1000;
    order << element->getName();
    int n = 1;
    if (auto* module = dynamic_cast<LmsModuleElement*>(element))
        for (LmsElement* child : module->getElementList())
            n += stateObjects(child, order);
    return n;
}

// Answers the next modal message box with button (accepts it when none) and keeps "title|text".
void answerNextMessageBox(QString* shown, QMessageBox::StandardButton button = QMessageBox::NoButton)
{
    QTimer::singleShot(200, [shown, button] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            *shown = box->windowTitle() + "|" + box->text();
            if (button == QMessageBox::NoButton)
                box->accept();
            else
                box->button(button)->click();
        }
    });
}

TEST(ShellStartup, EveryElementGetsOneStateObjectParentsFirst)
{
    QTemporaryDir dir;
    CourseWriter w(dir.path());
    w.addAll({"00_a|A", "00_a/00_x|X|", "00_a/01_y|Y|", "01_b|B", "01_b/00_z|Z|"});
    ASSERT_TRUE(w.ok());
    LmsCourse* course = initializeLms(dir.path());
    ASSERT_NE(course, nullptr);
    QStringList order;
    EXPECT_EQ(stateObjects(course, order), 6);
    EXPECT_EQ(order, QStringList({"Course", "A", "X", "Y", "B", "Z"}));
    delete course;  // the states go with their elements

    LogCapture::instance().clear();
    EXPECT_EQ(initializeLms(dir.path() + "/missing"), nullptr);
    EXPECT_TRUE(LogCapture::instance().contains("failed to load LMS (1)"));
}

// The report is answered Ignore (the test hook); start-up must still end, with status 1.
TEST(ShellStartupDeathTest, IgnoredCourseOrLoginFailureEndsWithStatusOne)
{
    Tarvolin* shell = Tarvolin::getInstance();
    shell->m_coursePath = QStringLiteral("/nonexistent/course");
    EXPECT_EXIT(shell->loadCourse(), ::testing::ExitedWithCode(1), "");
    // no framework, no database: the login fails
    EXPECT_EXIT(shell->logIn(), ::testing::ExitedWithCode(1), "");
}

// A learner database that cannot be opened: the report says why (a file in use by another
// program is no damaged file), and past Ignore start-up ends with status 1 instead of running on
// into one fatal report after another.
TEST(ShellStartupDeathTest, FailedDatabaseStartIsToldAndEndsStartUp)
{
    const struct { const char* name; bool junk; const char* message; } rows[] = {
        {"damaged", true, "failed to initialize framework: the file is damaged\\."},
        {"in use", false, "failed to initialize framework: the database is in use by another program\\."},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        QTemporaryDir home;
        const QString file = home.filePath(QStringLiteral("Brisola/Brisola.db"));
        ASSERT_TRUE(QDir().mkpath(home.filePath(QStringLiteral("Brisola"))));
        if (r.junk) {
            QFile f(file);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(8192, 'z'));
        } else {
            edufrmwk::Database db;
            ASSERT_EQ(db.initialize(file), 0);
        }
        EXPECT_EXIT(
            {
                qputenv("XDG_DATA_HOME", home.path().toUtf8());
                // the report's message, where the dialog would show it
                Debugging::setAssertHook([](const char*, const char*, int, const char* message) {
                    std::fprintf(stderr, "report: %s\n", message ? message : "");
                });
                Watchdog watchdog(20000, "a database start");  // a wait without end would hang here
                HeldLock lock(file, r.junk ? 0 : -1);
                Tarvolin::getInstance()->initFramework();
            },
            ::testing::ExitedWithCode(1), r.message);
    }
}

// The successor is a program without arguments, like the one the restart starts; the helper's
// "start" status is 10 when it became the instance and 0 when it found the guard held.
TEST(ShellRestart, SuccessorFindsTheGuardFreeOnlyWhenReleased)
{
    const struct {
        const char* name;
        bool release;
        QByteArray successorResult;
    } rows[] = {{"released", true, "10"}, {"still held", false, "0"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        const QString id = QStringLiteral("restart-%1-%2").arg(QCoreApplication::applicationPid()).arg(QLatin1String(row.name));
        QtLocalPeer guard(nullptr, id);
        ASSERT_FALSE(guard.isClient());  // this process is the running instance

        const QString result = dir.filePath("result");
        const QString script = dir.filePath("successor.sh");
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("#!/bin/sh\n'%1' start '%2' 1500\necho $? > '%3.tmp' && mv '%3.tmp' '%3'\n")
                    .arg(QStringLiteral(BRISOLA_BINARY_DIR "/tests/app_instance_helper"), id, result)
                    .toLocal8Bit());
        f.close();
        ASSERT_TRUE(f.setPermissions(f.permissions() | QFileDevice::ExeOwner));

        ASSERT_TRUE(ProgramRelauncher::relaunch([&] { if (row.release) guard.release(); }, script));
        EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(result); }, 10000));
        QFile r(result);
        ASSERT_TRUE(r.open(QIODevice::ReadOnly));
        EXPECT_EQ(r.readAll().trimmed(), row.successorResult);
    }
}

TEST(ShellRestart, FailedStartIsLoggedAndTheUserIsTold)
{
    QString shown;
    answerNextMessageBox(&shown);
    bool released = false;
    LogCapture::instance().clear();
    EXPECT_FALSE(ProgramRelauncher::relaunch([&] { released = true; }, QStringLiteral("/nonexistent/brisola")));
    EXPECT_TRUE(released);
    EXPECT_TRUE(LogCapture::instance().contains("failed to restart: could not start /nonexistent/brisola"));
    EXPECT_TRUE(shown.contains("could not be started again"));
}

TEST(ShellExit, RequestAnsweredNoChangesNothingYesCleansUp)
{
    const QString leftover = QDir::temp().filePath("ruvex_zq_score.abc.midi");
    QFile(leftover).open(QIODevice::WriteOnly);
    Tarvolin* shell = Tarvolin::getInstance();
    for (auto answer : {QMessageBox::No, QMessageBox::Yes}) {
        LogCapture::instance().clear();
        QString asked;
        answerNextMessageBox(&asked, answer);
        shell->requestExit();
        EXPECT_EQ(asked, "Exit now?|Are you sure that you want to exit now?");
        const bool yes = answer == QMessageBox::Yes;
        EXPECT_EQ(LogCapture::instance().contains("cleaning up"), yes);
        EXPECT_EQ(QFile::exists(leftover), !yes);
    }
}

TEST(ShellWindows, AboutShowsTheSplashWithNameAndVersionAndHelpSaysWhereToGo)
{
    Tarvolin* shell = Tarvolin::getInstance();
    shell->m_qmlPath = QStringLiteral(BRISOLA_SOURCE_DIR "/content/qml");
    shell->initSplashScreen();
    shell->setSplashText(QStringLiteral("Loading course..."));
    shell->displayAbout();
    EXPECT_TRUE(shell->mp_splash->isVisible());
    EXPECT_EQ(shell->mp_splash->pixmap().size(), QSize(500, 350));
    EXPECT_EQ(shell->mp_splash->message(), QString());
    EXPECT_EQ(shell->mp_versionLabel->text(), "Brisola  1.1.525");
    shell->hideSplash();
    EXPECT_FALSE(shell->mp_splash->isVisible());

    // No browser here: the user is told the address instead.
    edufrmwk::FrameworkManager::getInstance()->m_helpUrl = QStringLiteral("https://brisola.example.org/help");
    QString shown;
    answerNextMessageBox(&shown);
    shell->displayHelpUrl();
    EXPECT_EQ(shown, "Error opening browser...|Could not open your browser.  Please go to:\n\n "
                     "https://brisola.example.org/help");
}

// What receives the close a termination signal posts.
class CloseCounter : public QObject {
public:
    int closes = 0;
    bool event(QEvent* event) override
    {
        closes += event->type() == QEvent::Close;
        return QObject::event(event);
    }
};

// Each signal that got the handler closes the window with a line; one that cannot have it (SIGKILL
// cannot be caught; 0 and 65 are no signals) is reported, and the others still close. The defaults
// come back at the end.
TEST(ShellTermination, HandledSignalsCloseTheWindowAndAHandlerNotSetIsReported)
{
    const struct {
        QVector<int> numbers;
        bool installed;
        const char* error;
        int raised;
        const char* line;
    } rows[] = {
        {{SIGTERM, SIGHUP}, true, "", SIGHUP, "SIGHUP received; closing"},
        {{SIGUSR1, SIGKILL}, false, "signal 9: Invalid argument", SIGUSR1, "SIGUSR1 received; closing"},
        {{0, SIGUSR2, 65}, false, "signal 0: Invalid argument; signal 65: Invalid argument", SIGUSR2,
         "SIGUSR2 received; closing"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        LogCapture::instance().clear();
        CloseCounter window;
        {
            TerminationSignals termination(&window, nullptr, row.numbers);
            EXPECT_EQ(termination.install(), row.installed);
            EXPECT_EQ(termination.error(), row.error);
            ::raise(row.raised);
            EXPECT_TRUE(QTest::qWaitFor([&] { return window.closes == 1; }, 10000));
            EXPECT_TRUE(LogCapture::instance().contains(row.line));
        }
        for (int number : row.numbers) {
            struct sigaction now = {};
            if (sigaction(number, nullptr, &now) == 0) {
                EXPECT_EQ(now.sa_handler, SIG_DFL) << number;
            }
        }
    }
    TerminationSignals first(nullptr), second(nullptr);
    EXPECT_TRUE(first.install());
    EXPECT_FALSE(second.install());  // one per process
    EXPECT_EQ(second.error(), "the termination signals are handled already");
}

}  // namespace
