// The other process of the single-instance tests.
//   serve <id> <ms> [files]  the instance: a minimised window to bring back, every message
//                     reported; at most `files` open file descriptors once it runs
//   start <id> <ms>   a start as the entry point makes it: 0 when another instance runs, 10 when
//                     this process became the instance
//   busy <id> <ms>    the instance, blocked without an event loop
//   own <id> <ms>     the instance, whose application passes a message on by itself
#include "app/instance/QtSingleApplication.h"
#include "app/shell/Tarvolin.h"

#include <QQuickView>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

static void say(const QByteArray& line)
{
    std::printf("%s\n", line.constData());
    std::fflush(stdout);
}

int main(int argc, char** argv)
{
    if (argc < 4)
        return 2;
    const QByteArray mode = argv[1];
    const int ms = std::atoi(argv[3]);
    QtSingleApplication app(QString::fromUtf8(argv[2]), argc, argv);
    if (mode == "start") {
        if (app.notifyRunningInstance("Do I exist?", ms))
            return 0;
        return 10;
    }
    if (app.sendMessage("Do I exist?", 5000))
        return 3;
    say("ready");
    if (mode == "busy") {
        QThread::msleep(ulong(ms));
        return 0;
    }
    QQuickView view;
    view.show();
    view.setWindowStates(Qt::WindowMinimized);
    Tarvolin::attachActivation(&app, &view);
    QObject::connect(&app, &QtSingleApplication::messageReceived, [&](const QString& message) {
        const QByteArray text = message.toUtf8().toHex();
        // once the activation that follows the signal has run
        QTimer::singleShot(0, [&view, text] {
            say("message:" + text + " minimized:" + QByteArray::number(int(view.windowStates() & Qt::WindowMinimized)));
        });
    });
    if (mode == "own")
        QTimer::singleShot(100, &app, [&app] { emit app.messageReceived(QStringLiteral("own")); });
    if (argc > 4) {
        const rlimit files = {rlim_t(std::atoi(argv[4])), rlim_t(std::atoi(argv[4]))};
        if (setrlimit(RLIMIT_NOFILE, &files) != 0)
            return 4;
    }
    QTimer::singleShot(ms, &app, &QCoreApplication::quit);
    return app.exec();
}
