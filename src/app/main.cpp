#include "app/instance/QtSingleApplication.h"
#include "app/shell/Tarvolin.h"

#include <QCoreApplication>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace {

// The toolkit aborts when it finds no display; say so plainly instead.
bool hasDisplay()
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}

QtMessageHandler g_previousHandler = nullptr;
// What the toolkit warned of while the application object was made: the reason a fatal message
// that follows gives only in general terms.
QString g_startWarnings;

// While the application object is made the toolkit ends with a fatal message when its platform
// cannot start: a display that cannot be reached (no server there, or one that refuses us), or a
// platform plug-in missing or failing. Say which, in one line, instead of an abort.
void reportFailedStart(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtFatalMsg) {
        g_startWarnings += message + QLatin1Char('\n');
        if (g_previousHandler)
            g_previousHandler(type, context, message);
        return;
    }
    if (g_startWarnings.contains(QLatin1String("could not connect to display"))) {
        const char* display = std::getenv("DISPLAY");
        std::fprintf(stderr, "brisola: no display (%s%s cannot be reached); start it from a desktop session\n",
                     display ? "DISPLAY=" : "the display", display ? display : "");
    } else {
        // the warnings name the plug-in and what failed; the fatal text says what it ended
        const QString reason = (g_startWarnings + message).simplified();
        std::fprintf(stderr, "brisola: the window system could not be started: %s\n", qUtf8Printable(reason));
    }
    std::_Exit(1);
}

}  // namespace

int main(int argc, char* argv[])
{
    if (!hasDisplay()) {
        std::fprintf(stderr, "brisola: no display (DISPLAY is not set); start it from a desktop session\n");
        return 1;
    }
    // Never deleted, like the window it drives.
    g_previousHandler = qInstallMessageHandler(reportFailedStart);
    auto* app = new QtSingleApplication(QString::fromLatin1(Tarvolin::appName()), argc, argv);
    qInstallMessageHandler(g_previousHandler);
    // Another instance of this user answered: it raises its own window.
    if (app->notifyRunningInstance(QStringLiteral("Do I exist?"), 5000))
        std::exit(0);
    QCoreApplication::addLibraryPath(QStringLiteral("plugins"));
    Tarvolin* window = Tarvolin::getInstance();
    return window->init(app, argc, argv) ? window->exitStatus() : 0;
}
