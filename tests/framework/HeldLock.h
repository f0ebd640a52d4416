#pragma once

#include <QString>

#include <chrono>
#include <thread>

#include <sqlite3.h>

// Another program writing the database file: an exclusive lock taken at construction through a
// connection of its own and given up after holdMs on a thread of its own (at destruction when
// holdMs is negative). No statement of another connection gets through while it is held.
class HeldLock {
public:
    HeldLock(const QString& file, int holdMs)
    {
        m_taken = sqlite3_open(file.toUtf8().constData(), &mp_db) == SQLITE_OK
            && sqlite3_exec(mp_db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
        if (m_taken && holdMs >= 0)
            m_releaser = std::thread([this, holdMs] {
                std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
                release();
            });
    }
    ~HeldLock()
    {
        if (m_releaser.joinable())
            m_releaser.join();
        else
            release();
    }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

    bool taken() const { return m_taken; }

private:
    void release()
    {
        if (mp_db)
            sqlite3_close(mp_db);  // which ends its transaction
        mp_db = nullptr;
    }

    sqlite3* mp_db = nullptr;
    bool m_taken = false;
    std::thread m_releaser;
};
