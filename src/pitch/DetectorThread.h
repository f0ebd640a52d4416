#pragma once

#include <QThread>
#include <QVector>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

class PitchDetector;

// The detector's worker. Two locks: a short queue lock for the hand-off from the audio thread
// (and the flags), and a processing lock held for a whole analysis pass and by the control
// side's reset. Blocks are recycled so the audio thread does not allocate. The locks are the
// standard library's so that thread checkers see every hand-off.
class DetectorThread : public QThread {
    Q_OBJECT
public:
    explicit DetectorThread(PitchDetector* detector);
    ~DetectorThread() override;

    // Audio side: queues the full block (the thread owns it) and returns an empty block with room
    // for capacity samples, or null when none is free or no block was given. `last` marks the end
    // of the input (with or without a block), until the next dropQueued().
    QVector<double>* enqueueSamples(QVector<double>* block, bool last = false);
    // Control side: keeps count spare blocks with the given capacity.
    void primeFreeBlocks(int count, int capacity);
    // Control side, with the processing lock held: drops what is queued.
    void dropQueued();
    std::mutex& processingMutex() { return m_processingMutex; }

    // Returns when no work is pending, or after `bound` in all.
    void waitUntilIdle(std::chrono::milliseconds bound);
    // Returns true once the input has ended and all of it has been analysed; false when no block
    // was analysed for `stall` meanwhile.
    bool waitUntilInputEnd(std::chrono::milliseconds stall);
    void destroy();

    int queuedCount();

protected:
    void run() override;

private:
    QVector<double>* takeLocked();
    void recycleLocked(QVector<double>* block);
    // Polled, so that `deadline` holds whatever the pass does.
    bool waitForPassEnd(std::chrono::steady_clock::time_point deadline);

    PitchDetector* mp_detector;
    std::mutex m_mutex;
    std::mutex m_processingMutex;
    std::condition_variable m_condition;
    std::vector<QVector<double>*> m_queue; // ring buffer of fixed capacity
    int m_queueHead;
    int m_queueCount;
    std::vector<QVector<double>*> m_free;  // capacity reserved up front
    bool m_busy;
    bool m_stop;
    bool m_inputEnded;
    unsigned long m_analysedCount; // blocks, so that a waiter tells a slow worker from a stalled one
};
