#pragma once

#include <QElapsedTimer>

#include <chrono>
#include <thread>

// A busy handler that counts the waits for another program's lock (sqlite calls it with 0 at the
// start of each) and gives each up after limitMs, as the busy time-out does: how many waits a save
// makes does not depend on the machine's speed, how long they take does.
// Set with sqlite3_busy_handler(db, &WaitCounter::handler, &counter).
struct WaitCounter {
    explicit WaitCounter(int limitMs) : limitMs(limitMs) {}
    static int handler(void* self, int calls)
    {
        WaitCounter* counter = static_cast<WaitCounter*>(self);
        if (calls == 0) {
            ++counter->waits;
            counter->since.start();
        }
        if (counter->since.elapsed() >= counter->limitMs)
            return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return 1;
    }
    const int limitMs;
    int waits = 0;
    QElapsedTimer since;
};
