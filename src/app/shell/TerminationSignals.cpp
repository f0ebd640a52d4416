#include "app/shell/TerminationSignals.h"

#include "debug/Debugging.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char* const Channel = "zq-main";

int g_pipe[2] = {-1, -1};

void onSignal(int number)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    // A full pipe means a close is on its way already.
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[0], &byte, 1);
    errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* window, QObject* parent, const QVector<int>& numbers)
    : QObject(parent)
    , mp_window(window)
    , m_numbers(numbers)
{
}

TerminationSignals::~TerminationSignals()
{
    if (!mp_notifier)
        return;
    for (int number : qAsConst(m_handled))
        std::signal(number, SIG_DFL);
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

bool TerminationSignals::install()
{
    if (mp_notifier || g_pipe[0] >= 0) {
        m_error = QStringLiteral("the termination signals are handled already");  // one per process
        return false;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pipe) != 0) {
        m_error = QStringLiteral("no socket pair: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    mp_notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, this);
    connect(mp_notifier, &QSocketNotifier::activated, this, &TerminationSignals::readSignal);

    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    QStringList failed;
    for (int number : qAsConst(m_numbers)) {
        if (sigaction(number, &action, nullptr) == 0)
            m_handled << number;
        else
            failed << QStringLiteral("signal %1: %2").arg(number).arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    m_error = failed.join(QStringLiteral("; "));
    return failed.isEmpty();
}

void TerminationSignals::readSignal()
{
    unsigned char byte = 0;
    while (::read(g_pipe[1], &byte, 1) == 1)
        LOG_INFO(Channel, "SIG%s received; closing", sigabbrev_np(byte));
    m_received = true;
    // The same road as a window closed by the learner: the loops end, then the clean-up runs.
    if (mp_window)
        QCoreApplication::postEvent(mp_window, new QCloseEvent());
}
