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

// While the application object is made: the toolkit ends with an abort when the display it was
// given cannot be reached (no server there, or one that refuses us); say so plainly instead.
void reportUnreachableDisplay(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtFatalMsg) {
        const char* display = std::getenv("DISPLAY");
        std::fprintf(stderr, "brisola: no display (%s%s cannot be reached); start it from a desktop session\n",
                     display ? "DISPLAY=" : "the display", display ? display : "");
        std::_Exit(1);
    }
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

}  // namespace

int main(int argc, char* argv[])
{
    if (!hasDisplay()) {
        std::fprintf(stderr, "brisola: no display (DISPLAY is not set); start it from a desktop session\n");
        return 1;
    }
    // Never deleted, like the window it drives.
    g_previousHandler = qInstallMessageHandler(reportUnreachableDisplay);
    auto* app = new QtSingleApplication(QString::fromLatin1(Tarvolin::appName()), argc, argv);
    qInstallMessageHandler(g_previousHandler);
    // Another instance of this user answered: it raises its own window.
    if (app->notifyRunningInstance(QStringLiteral("Do I exist?"), 5000))
        std::exit(0);
    QCoreApplication::addLibraryPath(QStringLiteral("plugins"));
    Tarvolin::getInstance()->init(app, argc, argv);
    return 0;
}
