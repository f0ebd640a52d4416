// A small program for the two-process single-instance tests.
//   serve <id> <ms>     the first instance: listens, minimises a window, reports every message and
//                       the window's state after it, and ends after <ms>
//   start <id> <ms>     a start as the entry point makes it: exit 0 when another instance runs,
//                       10 when this process became the instance
//   busy <id> <ms>      takes the lock, then blocks without an event loop for <ms>
#include "app/instance/QtSingleApplication.h"

#include <QQuickView>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

static void say(const QByteArray& line)
{
    std::fprintf(stdout, "%s\n", line.constData());
    std::fflush(stdout);
}

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const QByteArray mode = argv[1];
    const QString id = QString::fromUtf8(argv[2]);
    const int ms = argc > 3 ? std::atoi(argv[3]) : 0;
    QtSingleApplication app(id, argc, argv);

    if (mode == "start") {
        if (app.notifyRunningInstance(QStringLiteral("Do I exist?"), ms))
            return 0;
        say("started");
        return 10;
    }
    if (mode == "busy") {
        if (app.sendMessage(QStringLiteral("Do I exist?"), 5000))
            return 3;
        say("ready");
        QThread::msleep(ulong(ms));
        return 0;
    }
    if (mode != "serve")
        return 2;

    if (app.sendMessage(QStringLiteral("Do I exist?"), 5000))
        return 3;
    QQuickView view;
    view.resize(64, 64);
    view.show();
    view.setWindowStates(Qt::WindowMinimized);
    app.setActivationWindow(&view, true);
    // reported once the activation that follows the signal has run
    QObject::connect(&app, &QtSingleApplication::messageReceived, [&](const QString& message) {
        const QByteArray text = message.toUtf8().toHex();
        QTimer::singleShot(0, [&view, text] {
            say("message:" + text + " minimized:" + QByteArray::number(int(view.windowStates() & Qt::WindowMinimized)));
        });
    });
    QTimer::singleShot(ms, &app, &QCoreApplication::quit);
    say("ready");
    return app.exec();
}
