#include "app/instance/QtSingleApplication.h"
#include "app/shell/Tarvolin.h"

#include <QCoreApplication>

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

}  // namespace

int main(int argc, char* argv[])
{
    if (!hasDisplay()) {
        std::fprintf(stderr, "brisola: no display (DISPLAY is not set); start it from a desktop session\n");
        return 1;
    }
    // Never deleted, like the window it drives.
    auto* app = new QtSingleApplication(QString::fromLatin1(Tarvolin::appName()), argc, argv);
    // Another instance of this user answered: it raises its own window.
    if (app->notifyRunningInstance(QStringLiteral("Do I exist?"), 5000))
        std::exit(0);
    QCoreApplication::addLibraryPath(QStringLiteral("plugins"));
    Tarvolin::getInstance()->init(app, argc, argv);
    return 0;
}
