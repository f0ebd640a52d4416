#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

// Ends the test process when a scenario runs past its limit: a hang would otherwise stall the
// whole run instead of failing. Disarmed when it goes out of scope.
class Watchdog {
public:
    Watchdog(int limitMs, const char* what);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_done = false;
    std::thread m_thread;
};
