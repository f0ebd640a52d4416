#include "pitch/DetectorThread.h"

#include "debug/Debugging.h"
#include "pitch/PitchDetector.h"

#include <chrono>
#include <thread>

namespace {
// About 24 s of 2048-sample blocks of backlog before blocks are dropped.
constexpr int kQueueCapacity = 512;
constexpr int kFreeCapacity = kQueueCapacity + 16;
} // namespace

DetectorThread::DetectorThread(PitchDetector* detector)
    : mp_detector(detector), m_queue(kQueueCapacity, nullptr), m_queueHead(0), m_queueCount(0),
      m_busy(false), m_stop(false), m_inputEnded(false), m_analysedCount(0)
{
    m_free.reserve(kFreeCapacity);
}

DetectorThread::~DetectorThread()
{
    std::unique_lock<std::mutex> locker(m_mutex);
    while (QVector<double>* block = takeLocked())
        delete block;
    for (QVector<double>* block : m_free)
        delete block;
    m_free.clear();
}

QVector<double>* DetectorThread::takeLocked()
{
    if (m_queueCount == 0)
        return nullptr;
    QVector<double>* block = m_queue[m_queueHead];
    m_queue[m_queueHead] = nullptr;
    m_queueHead = (m_queueHead + 1) % kQueueCapacity;
    --m_queueCount;
    return block;
}

void DetectorThread::recycleLocked(QVector<double>* block)
{
    if (static_cast<int>(m_free.size()) >= kFreeCapacity) {
        delete block;
        return;
    }
    block->clear(); // keeps its capacity
    m_free.push_back(block);
}

QVector<double>* DetectorThread::enqueueSamples(QVector<double>* block, bool last)
{
    std::unique_lock<std::mutex> locker(m_mutex);
    if (block && m_queueCount >= kQueueCapacity) {
        LOG_ERROR("pitch", "analysis is %d blocks behind; a block of %d samples is dropped", m_queueCount,
                  block->size());
        recycleLocked(block);
    } else if (block) {
        m_queue[(m_queueHead + m_queueCount) % kQueueCapacity] = block;
        ++m_queueCount;
        m_busy = true;
    }
    m_inputEnded = m_inputEnded || last;
    m_condition.notify_all();
    if (!block || m_free.empty())
        return nullptr;
    QVector<double>* next = m_free.back();
    m_free.pop_back();
    return next;
}

void DetectorThread::primeFreeBlocks(int count, int capacity)
{
    std::unique_lock<std::mutex> locker(m_mutex);
    for (QVector<double>* block : m_free)
        block->reserve(capacity);
    while (static_cast<int>(m_free.size()) < count) {
        QVector<double>* block = new QVector<double>();
        block->reserve(capacity);
        m_free.push_back(block);
    }
}

void DetectorThread::dropQueued()
{
    std::unique_lock<std::mutex> locker(m_mutex);
    while (QVector<double>* block = takeLocked())
        recycleLocked(block);
    m_busy = false;
    m_inputEnded = false;
    m_condition.notify_all();
}

int DetectorThread::queuedCount()
{
    std::unique_lock<std::mutex> locker(m_mutex);
    return m_queueCount;
}

void DetectorThread::waitUntilIdle(std::chrono::milliseconds bound)
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    {
        std::unique_lock<std::mutex> locker(m_mutex);
        m_condition.wait_until(locker, deadline, [this] { return !m_busy || m_stop; });
        if (m_busy && !m_stop)
            LOG_WARN("pitch", "analysis still has %d blocks queued after %d ms", m_queueCount, int(bound.count()));
    }
    waitForPassEnd(deadline);
}

bool DetectorThread::waitUntilInputEnd(std::chrono::milliseconds stall)
{
    auto deadline = std::chrono::steady_clock::now() + stall;
    {
        std::unique_lock<std::mutex> locker(m_mutex);
        unsigned long analysed = m_analysedCount;
        while (!m_condition.wait_until(locker, deadline, [this] { return (m_inputEnded && !m_busy) || m_stop; })) {
            if (m_analysedCount == analysed) {
                LOG_WARN("pitch", "analysis stalled for %d ms before the end of the input (%s, %d blocks queued)",
                         int(stall.count()), m_inputEnded ? "ended" : "not ended", m_queueCount);
                return false;
            }
            // a slow worker, not a stalled one: it has its time again
            analysed = m_analysedCount;
            deadline = std::chrono::steady_clock::now() + stall;
        }
    }
    return waitForPassEnd(deadline);
}

bool DetectorThread::waitForPassEnd(std::chrono::steady_clock::time_point deadline)
{
    // A pass that has just gone idle may still be leaving its processing section.
    while (!m_processingMutex.try_lock()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    m_processingMutex.unlock();
    return true;
}

void DetectorThread::destroy()
{
    std::unique_lock<std::mutex> locker(m_mutex);
    m_stop = true;
    m_condition.notify_all();
}

void DetectorThread::run()
{
    for (;;) {
        {
            std::unique_lock<std::mutex> locker(m_mutex);
            m_condition.wait(locker, [this] { return m_stop || m_busy; });
            if (m_stop)
                return;
        }
        std::lock_guard<std::mutex> processing(m_processingMutex);
        for (;;) {
            QVector<double>* block = nullptr;
            {
                std::unique_lock<std::mutex> locker(m_mutex);
                if (m_stop)
                    return;
                block = takeLocked();
                if (!block) {
                    m_busy = false;
                    m_condition.notify_all();
                    break;
                }
            }
            mp_detector->process(*block);
            std::unique_lock<std::mutex> locker(m_mutex);
            recycleLocked(block);
            ++m_analysedCount;
        }
    }
}
