#pragma once

#include <QtGlobal>

// The CPU time the calling thread has used since the start: what a computation costs, whatever else
// the machine runs meanwhile. A wall clock also counts the turns other processes took.
class ThreadCpuClock {
public:
    ThreadCpuClock();
    void restart();
    qint64 elapsedMs() const;

private:
    static qint64 nowNs();
    qint64 m_startNs;
};
