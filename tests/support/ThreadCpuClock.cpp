#include "support/ThreadCpuClock.h"

#include <ctime>

ThreadCpuClock::ThreadCpuClock() : m_startNs(nowNs()) {}

void ThreadCpuClock::restart()
{
    m_startNs = nowNs();
}

qint64 ThreadCpuClock::elapsedMs() const
{
    return (nowNs() - m_startNs) / 1000000;
}

qint64 ThreadCpuClock::nowNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}
