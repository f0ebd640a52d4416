#pragma once

#include <QQuickView>
#include <QString>

class CloseRequest;
class QLabel;
class QSplashScreen;
class Settings;
class TerminationSignals;
class QtSingleApplication;

// The application object and main window. init() runs the whole start-up on the main thread (each
// step announced in the log and on the splash screen), the event loop and the clean-up. One per
// process, never deleted.
class Tarvolin : public QQuickView {
    Q_OBJECT
public:
    static Tarvolin* getInstance();

    // False when a platform check refuses the start; true once the event loop has ended and
    // cleanup() has run.
    virtual bool init(QtSingleApplication* app, int argc, char** argv);
    // Ends what runs beside the main thread (audio streams, the pitch detector's worker, the
    // notation engine's host) and removes the temporary files. Safe to run more than once.
    virtual void cleanup();

    // The status the program ends with: 1 when the last save left records that no file holds
    // (they are lost), else 0.
    int exitStatus() const { return m_recordsLost ? 1 : 0; }

    bool terminate();
    // Cleans up, hands the single-instance guard over and starts a new process of the program.
    void restart();
    void requestExit();
    void displayAbout();
    void displayHelpUrl();

    // Resource paths, splash screen, fonts.
    void initResourcePaths();
    void initSplashScreen();
    void displaySplash();
    void hideSplash();
    void setSplashText(const QString& text);
    void loadFonts();

    // The start-up steps that cannot be ignored past: without the learner database, a course or a
    // logged-in learner the screens cannot run, so after the fatal report start-up ends with exit
    // status 1.
    void initFramework();
    void loadCourse();
    void logIn();

    // Makes window the one a message from a later start raises: through the guard's peer and
    // through the application's own messageReceived.
    static void attachActivation(QtSingleApplication* app, QQuickView* window);

    static const char* appName() { return "Brisola"; }
    static const char* version() { return "1.1.525"; }
    static const char* helpUrl() { return "https://brisola.example.org/help"; }

    bool m_debugMode = false;
    Settings* mp_settings;  // not owned: the settings object outlives the window
    QString m_resourcePath;
    QString m_qmlPath;
    QString m_qmlPluginPath;
    QString m_fontsPath;
    QString m_coursePath;
    QString m_coursePluginPath;
    QString m_soundFontPath;
    QString m_scorePath;
    QtSingleApplication* mp_app = nullptr;
    QSplashScreen* mp_splash = nullptr;
    QLabel* mp_versionLabel = nullptr;

private:
    Tarvolin();
    bool platformSupported();
    void installLogFilters();
    void installProviders();
    // Logs the step at INFO, then shows its text on the splash screen.
    void announce(const char* logLine, const QString& splashText);
    void runSteps();
    void loadMainScreen();
    void showWindow();
    // Start-up cannot go on: clean up what already runs and end with status 1.
    [[noreturn]] void abortStartup(const char* why);
    // A window was closed while start-up ran: clean up and end with exitStatus().
    void endStartupIfClosed();
    // The last save of what waits. Records that no place takes are lost when the program ends: the
    // learner is told once, while a window still shows (not on a signal's close, which waits for no
    // one), and the exit status says so.
    void saveLast();

    static Tarvolin* mp_instance;
    // The runtime map exists: the calibrator holds the pitch detector from then on.
    bool m_runtimeBuilt = false;
    CloseRequest* mp_closeRequest = nullptr;
    TerminationSignals* mp_termination = nullptr;
    bool m_recordsLost = false;
    bool m_lossTold = false;
};
