#include "app/shell/Tarvolin.h"

#include "app/facades/ProgramRestart.h"
#include "app/facades/QmlFacadeCourse.h"
#include "app/facades/QmlFacadeCourseItem.h"
#include "app/instance/QtSingleApplication.h"
#include "app/qml/QmlFacade.h"
#include "app/shell/CloseRequest.h"
#include "app/shell/CourseStartup.h"
#include "app/shell/FontLoader.h"
#include "app/shell/ProgramRelauncher.h"
#include "app/shell/ResourcePaths.h"
#include "app/shell/ShellSystemInfo.h"
#include "app/shell/TemporaryFiles.h"
#include "app/shell/TerminationSignals.h"
#include "app/shell/WindowPlacement.h"
#include "app/settings/InputCalibrator.h"
#include "app/settings/Settings.h"
#include "audio/Audio.h"
#include "audio/midi/MidiSynth.h"
#include "debug/Debugging.h"
#include "exercise/ExerciseDebugContext.h"
#include "exercise/NoteInputManager.h"
#include "framework/Database.h"
#include "framework/FrameworkManager.h"
#include "framework/ResultCodes.h"
#include "lms/Lms.h"
#include "lms/LmsCourse.h"
#include "notation/NotationEngine.h"
#include "score/Score.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QGLFormat>
#include <QLabel>
#include <QMessageBox>
#include <QOperatingSystemVersion>
#include <QQmlEngine>
#include <QScreen>
#include <QSplashScreen>
#include <QUrl>

#include <cstdlib>
#include <ctime>

using edufrmwk::RC_OK;

namespace {
const char* kChannel = "zq-main";

void cleanupTemporary()
{
    TemporaryFiles::cleanup(QDir::tempPath());
}
}  // namespace

Tarvolin* Tarvolin::mp_instance = nullptr;

Tarvolin* Tarvolin::getInstance()
{
    if (!mp_instance)
        mp_instance = new Tarvolin();
    return mp_instance;
}

Tarvolin::Tarvolin() : QQuickView(), mp_settings(Settings::getInstance()) {}

bool Tarvolin::platformSupported()
{
#ifdef Q_OS_MACOS
    if (QOperatingSystemVersion::current() < QOperatingSystemVersion::OSXMavericks) {
        QMessageBox::warning(nullptr, QStringLiteral("This version of Mac OS X is not supported."),
                             QStringLiteral("Sorry, this version of Mac OS X is not supported. This application "
                                            "requires Mac OS X 10.9 (Mavericks) or higher."),
                             QMessageBox::Ok);
        return false;
    }
#endif
    if (!(QGLFormat::openGLVersionFlags() & QGLFormat::OpenGL_Version_2_0)) {
        QMessageBox::warning(nullptr, QStringLiteral("Could not find OpenGL 2.0 support."),
                             QStringLiteral("Could not find OpenGL 2.0 support. Please try upgrading your video "
                                            "card driver. If this doesn't help, your video card may be too old for "
                                            "this application."),
                             QMessageBox::Ok);
        return false;
    }
    return true;
}

void Tarvolin::installLogFilters()
{
    for (const char* channel : {"fmwk-db", "zq-sproxy", "audio-seq", "pitch-wavl", "pitch-hrstic"})
        Debugging::addExclusionModule(channel, QsLogging::TraceLevel);
    Debugging::addExclusionSubstring("is not an object");
    Debugging::addExclusionSubstring("[object Object]");
}

void Tarvolin::initFramework()
{
    edufrmwk::FrameworkManager* mgr = edufrmwk::FrameworkManager::getInstance();
    BRISOLA_ASSERT(mgr != 0);
    const int rc = mgr->initialize(QString::fromLatin1(appName()), QString::fromLatin1(version()));
    if (rc != RC_OK) {
        // The learner is told why: a file in use by another program is no damaged file.
        const QString why = mgr->mp_database ? mgr->mp_database->openFailure() : QString();
        const QByteArray message = why.isEmpty() ? QByteArray("failed to initialize framework.")
                                                 : "failed to initialize framework: " + why.toUtf8() + ".";
        Debugging::doAssert("rc == RC_OK", __FILE__, __LINE__, message.constData());
        abortStartup("no learner database");
    }
    mgr->m_helpUrl = QString::fromLatin1(helpUrl());
    // The fatal report's Close ends the program: the last save, and a word when it loses records.
    Debugging::setExitHook([] { Tarvolin::getInstance()->saveLast(); });
}

void Tarvolin::installProviders()
{
    // What the lower layers need of the shell at run time.
    static ShellSystemInfo systemInfo;
    SystemInfoProvider::setInstance(&systemInfo);
    ExerciseDebugContext::setDebugMode(m_debugMode);
    ExerciseDebugContext::setCurrentActivityPathProvider([] {
        QmlFacadeCourseItem* item = QmlFacadeCourse::instance()->currentActivity();
        return item && item->element() ? item->element()->getNormalizedElementPath() : QString();
    });
    ProgramRestart::setHandler([] { Tarvolin::getInstance()->restart(); });
}

bool Tarvolin::init(QtSingleApplication* app, int, char**)
{
    if (!platformSupported())
        return false;

    mp_app = app;
    attachActivation(mp_app, this);
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    installLogFilters();
    m_debugMode = QCoreApplication::arguments().contains(QStringLiteral("--debug-mode"));
    initFramework();

    initResourcePaths();
    initSplashScreen();
    mp_closeRequest = new CloseRequest(this);
    mp_closeRequest->watch(mp_splash);
    mp_closeRequest->watch(this);
    // a logout's SIGTERM or SIGHUP closes the window like the learner would
    mp_termination = new TerminationSignals(this, this);
    if (!mp_termination->install())
        LOG_ERROR(kChannel, "a signal to end the program skips the last save: %s", qPrintable(mp_termination->error()));
    displaySplash();
    installProviders();
    runSteps();
    loadMainScreen();
    endStartupIfClosed();
    showWindow();

    // A closed window is gone before the loop ends: the last save runs while it still shows.
    mp_closeRequest->setBeforeLeaving([this] { saveLast(); });
    LOG_DEBUG(kChannel, "activating window");
    mp_app->activateWindow();
    LOG_DEBUG(kChannel, "event loop");
    // A close that came before the loop left nothing to leave: the loop would run on without a window.
    if (!mp_closeRequest->requested())
        QApplication::exec();
    cleanup();
    return true;
}

void Tarvolin::endStartupIfClosed()
{
    if (!mp_closeRequest || !mp_closeRequest->requested())
        return;
    LOG_INFO(kChannel, "closed during start-up; ending");
    cleanup();
    std::exit(exitStatus());
}

void Tarvolin::attachActivation(QtSingleApplication* app, QQuickView* window)
{
    // a later start's message raises this window, also one the application itself passes on
    app->setActivationWindow(window, true);
    QObject::connect(app, &QtSingleApplication::messageReceived, app, &QtSingleApplication::activateWindow);
}

void Tarvolin::announce(const char* logLine, const QString& splashText)
{
    // the splash screen's text is shown with the events that came meanwhile, a close among them
    endStartupIfClosed();
    if (logLine)
        LOG_INFO(kChannel, "%s", logLine);
    setSplashText(splashText);
    endStartupIfClosed();
}

void Tarvolin::runSteps()
{
    announce("initializing audio...", QStringLiteral("Initializing audio..."));
    Audio::initialize();

    announce("loading fonts...", QStringLiteral("Loading fonts..."));
    loadFonts();

    announce(nullptr, QStringLiteral("Cleaning up temporary files..."));
    cleanupTemporary();

    announce("initializing facilities...", QStringLiteral("Initializing facilities..."));
    Audio::initialize();
    // the notation font is one of the application fonts already registered
    Score::initialize(m_scorePath, false);
    MidiSynth::instance()->initialize(m_soundFontPath);
    NoteInputManager::getInstance()->initialize();

    announce("loading plugins...", QStringLiteral("Loading plugins..."));
    Lms::loadPlugins(m_coursePluginPath);

    announce("loading course...", QStringLiteral("Loading course..."));
    loadCourse();

    announce("loading settings...", QStringLiteral("Loading settings..."));
    Settings::getInstance()->load();

    announce("logging in...", QStringLiteral("Logging in..."));
    logIn();

    announce("starting user interface...", QStringLiteral("Starting UI"));
    QmlFacade::initialize(this);
    m_runtimeBuilt = true;
}

void Tarvolin::loadCourse()
{
    LmsCourse* lms = initializeLms(m_coursePath);
    BRISOLA_ASSERT_MSG(lms, "failed to initialize course");
    if (!lms)
        abortStartup("no course");
    edufrmwk::FrameworkManager::getInstance()->loadCourse(lms, 0);
}

void Tarvolin::logIn()
{
    const int rc = edufrmwk::FrameworkManager::getInstance()->login(QStringLiteral("user"),
                                                                     QStringLiteral("quillfen"), nullptr);
    BRISOLA_ASSERT_MSG(rc == RC_OK, "failed to login.");
    if (rc != RC_OK)
        abortStartup("no learner logged in");
}

void Tarvolin::abortStartup(const char* why)
{
    LOG_ERROR(kChannel, "start-up cannot go on (%s); ending", why);
    cleanup();
    std::exit(1);
}

void Tarvolin::loadMainScreen()
{
    engine()->addImportPath(m_qmlPath);
    engine()->addImportPath(m_qmlPluginPath);
    const QString path = m_qmlPath + "/main.qml";
    LOG_INFO(kChannel, "loading main screen: %s", qPrintable(path));
    if (path.startsWith(QLatin1Char(':'))) {
        setSource(QUrl(QStringLiteral("qrc") + path));
        return;
    }
    engine()->addImportPath(QUrl::fromLocalFile(m_qmlPath).toString());
    engine()->addImportPath(QUrl::fromLocalFile(m_qmlPluginPath).toString());
    LOG_INFO(kChannel, "loading main screen: %s", qPrintable(QUrl::fromLocalFile(path).toString()));
    setSource(QUrl::fromLocalFile(path));
}

void Tarvolin::showWindow()
{
    setResizeMode(QQuickView::SizeRootObjectToView);
    setFlags(flags() | Qt::WindowFullscreenButtonHint | Qt::WindowSystemMenuHint);
    show();
    // 1024x768 where the screen holds it, never partly off a smaller screen
    WindowPlacement::place(this, QSize(1024, 768), QSize(800, 600));

    // The splash screen becomes the About window; changing the flags hides it. Closing About is
    // no request to end the program.
    mp_closeRequest->unwatch(mp_splash);
    if (mp_splash) {
        mp_splash->setFixedSize(500, 350);
        mp_splash->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint |
                                  Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint);
    }
}

void Tarvolin::cleanup()
{
    LOG_INFO(kChannel, "cleaning up");
    Audio::terminate();
    if (m_runtimeBuilt)
        InputCalibrator::getInstance()->calibrator()->setDetector(nullptr);
    NoteInputManager::getInstance()->shutdown();
    NotationEngine::instance().stop();
    cleanupTemporary();
    saveLast();
}

void Tarvolin::saveLast()
{
    edufrmwk::FrameworkManager* mgr = edufrmwk::FrameworkManager::getInstance();
    mgr->saveUnsaved();
    const int lost = mgr->unsavedLostCount();
    m_recordsLost = lost > 0;
    // A signal's close waits for no one: the loss is in the log, and cleanup() saves once more.
    if (!m_recordsLost || m_lossTold || (mp_termination && mp_termination->received()))
        return;
    m_lossTold = true;
    const QString what = lost == 1
        ? QStringLiteral("One result could not be saved, and no folder could keep it for the next start. It is "
                         "lost when the program ends, unless it can be saved once you press OK")
        : QStringLiteral("%1 results could not be saved, and no folder could keep them for the next start. They "
                         "are lost when the program ends, unless they can be saved once you press OK").arg(lost);
    QMessageBox::critical(nullptr, QStringLiteral("Results not kept"),
                          what + QStringLiteral(": if the disk is full, make room on it first."), QMessageBox::Ok);
    mgr->saveUnsaved();
    m_recordsLost = mgr->unsavedLostCount() > 0;
}

bool Tarvolin::terminate()
{
    cleanup();
    return close();
}

void Tarvolin::restart()
{
    LOG_INFO(kChannel, "restarting");
    cleanup();
    const bool started = ProgramRelauncher::relaunch(
        [this] {
            if (mp_app)
                mp_app->releaseGuard();
        },
        QCoreApplication::applicationFilePath());
    std::exit(started ? exitStatus() : 1);
}

void Tarvolin::requestExit()
{
    const int answer = QMessageBox::warning(nullptr, QStringLiteral("Exit now?"),
                                            QStringLiteral("Are you sure that you want to exit now?"),
                                            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    LOG_DEBUG(kChannel, "exit requested");
    cleanup();
    close();
}

void Tarvolin::displayAbout()
{
    displaySplash();
}

void Tarvolin::displayHelpUrl()
{
    const QString address = edufrmwk::FrameworkManager::getInstance()->m_helpUrl;
    if (!QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode))) {
        QMessageBox::warning(nullptr, QStringLiteral("Error opening browser..."),
                             QStringLiteral("Could not open your browser.  Please go to:\n\n ") + address,
                             QMessageBox::Ok);
    }
}

void Tarvolin::initResourcePaths()
{
    const ResourcePaths p =
        ResourcePaths::locate(QCoreApplication::applicationDirPath(), QStringLiteral(BRISOLA_CONTENT_DIR),
                              QStringLiteral(BRISOLA_BUILT_RESOURCE_FILE), QCoreApplication::arguments());
    m_resourcePath = p.resourcePath;
    m_qmlPath = p.qmlPath;
    m_qmlPluginPath = p.qmlPluginPath;
    m_fontsPath = p.fontsPath;
    m_coursePath = p.coursePath;
    m_coursePluginPath = p.coursePluginPath;
    m_soundFontPath = p.soundFontPath;
    m_scorePath = p.scorePath;
}

void Tarvolin::initSplashScreen()
{
    // a missing image gives an empty splash screen, no error
    mp_splash = new QSplashScreen(QPixmap(m_qmlPath + "/images/" + "splash.png"));
    mp_versionLabel = new QLabel(mp_splash);
    mp_versionLabel->setStyleSheet(QStringLiteral("QLabel { color: white; font: bold 12px \"Helvetica\"; width: 400px;}"));
    mp_versionLabel->move(12, 300);
    mp_splash->activateWindow();
}

void Tarvolin::displaySplash()
{
    LOG_ENTRY(kChannel);
    if (!mp_splash)
        return;
    setSplashText(QString());
    mp_versionLabel->setText(QString::fromLatin1(appName()) + "  " + QString::fromLatin1(version()));
    mp_versionLabel->adjustSize();
    mp_splash->show();
}

void Tarvolin::hideSplash()
{
    LOG_ENTRY(kChannel);
    if (!mp_splash)
        return;
    setSplashText(QString());
    mp_splash->hide();
}

void Tarvolin::setSplashText(const QString& text)
{
    if (!mp_splash)
        return;
    mp_splash->showMessage(text, Qt::AlignRight, Qt::white);
    QCoreApplication::processEvents();
    mp_splash->repaint();
}

void Tarvolin::loadFonts()
{
    FontLoader::load(m_fontsPath);
}
