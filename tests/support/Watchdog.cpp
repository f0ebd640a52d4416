#include "support/Watchdog.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

Watchdog::Watchdog(int limitMs, const char* what)
{
    m_thread = std::thread([this, limitMs, what] {
        std::unique_lock<std::mutex> locker(m_mutex);
        if (!m_condition.wait_for(locker, std::chrono::milliseconds(limitMs), [this] { return m_done; })) {
            fprintf(stderr, "%s: still running after %d ms\n", what, limitMs);
            std::abort();
        }
    });
}

Watchdog::~Watchdog()
{
    {
        std::lock_guard<std::mutex> locker(m_mutex);
        m_done = true;
    }
    m_condition.notify_all();
    m_thread.join();
}
