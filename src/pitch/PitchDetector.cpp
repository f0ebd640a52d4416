#include "pitch/PitchDetector.h"

#include "debug/Debugging.h"
#include "pitch/DetectorThread.h"
#include "pitch/OnsetDetectionStrategy.h"
#include "pitch/PitchDetectionHeuristic.h"
#include "pitch/PitchDetectionStrategy.h"
#include "pitch/PitchListener.h"

#include <mutex>

#include <cmath>

namespace {
constexpr double kSampleRate = 44100.0;
// Spare blocks kept ready so the feeding thread never allocates in steady state.
constexpr int kSpareBlocks = 8;
} // namespace

PitchDetector::PitchDetector()
    : m_noiseFloor(1e-5), m_peakAmplitude(1.0), mp_listener(nullptr), mp_onsetDetectionStrategy(nullptr),
      mp_pitchDetectionStrategy(nullptr), m_expectedIndex(0), m_blockSize(44100), m_subBlockCount(1),
      mp_currentBlock(nullptr), m_chunkIndex(0), m_resultIndex(0), m_debugFlags(0), mp_thread(nullptr),
      m_discardCurrent(false), m_clipWarned(false), m_badPeakWarned(false)
{
    mp_thread = new DetectorThread(this);
    mp_thread->start();
    mp_currentBlock = new QVector<double>();
    mp_currentBlock->reserve(static_cast<int>(m_blockSize));
    reset();
}

PitchDetector::~PitchDetector()
{
    LOG_TRACE("pitch", "%s", "");
    mp_thread->destroy();
    mp_thread->wait();
    mp_thread->queuedCount(); // takes the worker's lock once more: its last writes are visible
    delete mp_thread;
    delete mp_currentBlock;
}

void PitchDetector::resetLocked()
{
    m_notes.clear();
    m_onsets.clear();
    m_discardCurrent.store(true, std::memory_order_release);
    m_chunkIndex = 0;
    m_resultIndex = 0;
    for (PitchDetectionHeuristic* heuristic : m_heuristics)
        heuristic->reset();
    if (mp_pitchDetectionStrategy)
        mp_pitchDetectionStrategy->reset();
    if (mp_onsetDetectionStrategy)
        mp_onsetDetectionStrategy->reset();
    m_expectedIndex = 0;
    // Also for a feeder that never calls start() (the calibration test): blocks are ready before
    // the first hand-off.
    mp_thread->primeFreeBlocks(kSpareBlocks, static_cast<int>(qMax(1u, m_blockSize)));
}

void PitchDetector::reset()
{
    LOG_TRACE("pitch", "%s", "");
    // Dropped before and after taking the processing lock: the worker then stops after the block
    // in hand, and nothing queued meanwhile survives.
    mp_thread->dropQueued();
    std::lock_guard<std::mutex> processing(mp_thread->processingMutex());
    mp_thread->dropQueued();
    resetLocked();
}

void PitchDetector::start()
{
    LOG_TRACE("pitch", "%s", ""); // the line of the reset it begins with
    mp_thread->dropQueued();
    std::lock_guard<std::mutex> processing(mp_thread->processingMutex());
    mp_thread->dropQueued();
    resetLocked();
    for (PitchDetectionHeuristic* heuristic : m_heuristics)
        heuristic->prepare();
    if (pieceCount() != m_subBlockCount)
        LOG_ERROR("pitch", "sub-block count %u does not fit a block of %u samples; one pitch result per block is used",
                  m_subBlockCount, m_blockSize);
}

void PitchDetector::stop()
{
    wait();
}

void PitchDetector::wait(std::chrono::milliseconds bound)
{
    mp_thread->waitUntilIdle(bound);
}

bool PitchDetector::waitForInputEnd(std::chrono::milliseconds stall)
{
    return mp_thread->waitUntilInputEnd(stall);
}

void PitchDetector::addSample(short sample)
{
    addSample(static_cast<double>(sample) * (1.0 / 32768.0));
}

void PitchDetector::takeDiscard()
{
    if (m_discardCurrent.exchange(false, std::memory_order_acq_rel)) {
        mp_currentBlock->clear();
        m_clipWarned = false;
    }
}

void PitchDetector::addSample(double sample)
{
    takeDiscard();
    double peak = m_peakAmplitude;
    if (!(peak > 0.0)) {
        if (!m_badPeakWarned) {
            LOG_WARN("pitch", "peak amplitude %.2lf is not positive; 1.0 is used", peak);
            m_badPeakWarned = true;
        }
        peak = 1.0;
    } else {
        m_badPeakWarned = false;
    }

    const double v = std::fabs(sample) >= m_noiseFloor ? sample : 0.0;
    // One line per answer, not per sample: this runs on the audio thread, and a loud clap clips
    // hundreds.
    if (v > peak && !m_clipWarned) {
        LOG_WARN("pitch", "sample %.2lf is above peak amplitude %.2lf; it will be clipped!", v, peak);
        m_clipWarned = true;
    }
    const double scaled = v / peak;
    const unsigned int blockSize = qMax(1u, m_blockSize);
    if (mp_currentBlock->capacity() < static_cast<int>(blockSize))
        mp_currentBlock->reserve(static_cast<int>(blockSize));
    mp_currentBlock->append(scaled < 1.0 ? scaled : 1.0);

    if (static_cast<unsigned int>(mp_currentBlock->size()) >= blockSize)
        handOver(false);
}

void PitchDetector::endInput()
{
    takeDiscard();
    if (mp_currentBlock->isEmpty()) {
        mp_thread->enqueueSamples(nullptr, true);
        return;
    }
    // completed with silence, within the capacity reserved for a block: no allocation here
    mp_currentBlock->resize(static_cast<int>(qMax(1u, m_blockSize)));
    handOver(true);
}

void PitchDetector::handOver(bool last)
{
    QVector<double>* next = mp_thread->enqueueSamples(mp_currentBlock, last);
    mp_currentBlock = next ? next : new QVector<double>();
}

void PitchDetector::process(QVector<double>& block)
{
    BRISOLA_ASSERT(mp_onsetDetectionStrategy || mp_pitchDetectionStrategy);
    if (mp_listener)
        mp_listener->newBlock(block, m_chunkIndex * (double(m_blockSize) / kSampleRate));
    if (mp_onsetDetectionStrategy)
        mp_onsetDetectionStrategy->process(block, this);
    if (mp_pitchDetectionStrategy)
        mp_pitchDetectionStrategy->process(block, this);
    ++m_chunkIndex;
}

unsigned int PitchDetector::pieceCount() const
{
    // 0, or a "negative" count wrapped to a huge one, would divide by zero or never end.
    const unsigned int blockSize = qMax(1u, m_blockSize);
    return (m_subBlockCount == 0 || m_subBlockCount > blockSize) ? 1 : m_subBlockCount;
}

void PitchDetector::submitPitch(double frequency)
{
    const unsigned int pieces = pieceCount();
    const double blockSeconds = m_blockSize / kSampleRate;
    NoteInfo info;
    info.frequency = frequency;
    Pitch::freqToNote(frequency, info.note, info.octave);
    info.offset = m_chunkIndex * blockSeconds + m_resultIndex * (blockSeconds / pieces);
    info.duration = 0.0;

    const bool logResult =
        (m_debugFlags & LogResults) && !((m_debugFlags & SkipSilentResults) && info.note == Pitch::NONE);
    if (logResult) {
        LOG_DEBUG("pitch", "PitchTracking - Chunk:%03u Result:%u Offset:%.2fs Frequency:%-10.2f Note: %s%d\n",
                  m_chunkIndex, m_resultIndex + 1, info.offset, info.frequency, Pitch::noteToStr(info.note),
                  info.octave);
    }
    if (!m_expectedNotes.isEmpty() && m_expectedIndex >= m_expectedNotes.size()) {
        if (logResult)
            LOG_DEBUG("pitch", "PitchTracking - Discarding because all expected notes already attained.");
        return;
    }

    const Pitch::Note rawNote = info.note;
    bool accepted = true;
    for (int i = 0; i < m_heuristics.size(); ++i) {
        PitchDetectionHeuristic* heuristic = m_heuristics[i];
        if (!heuristic->process(info)) {
            if ((m_debugFlags & LogVerdicts) && i > 0)
                LOG_DEBUG("pitch", "\t%-29s    - rejected -", qPrintable(heuristic->name()));
            accepted = false;
            break;
        }
        if (m_debugFlags & LogVerdicts) {
            LOG_DEBUG("pitch", "\t%-29s    Offset:%.2fs Frequency:%-10.2f Note: %s%d\n",
                      qPrintable(heuristic->name()), info.offset, info.frequency, Pitch::noteToStr(info.note),
                      info.octave);
        }
    }
    if (accepted) {
        if ((m_debugFlags & LogVerdicts) && !((m_debugFlags & SkipSilentResults) && rawNote == Pitch::NONE)) {
            LOG_DEBUG("pitch", "\t%-25s =>     Offset:%.2fs Frequency:%-10.2f Note: %s%d\n", "   ** Submitted **",
                      info.offset, info.frequency, Pitch::noteToStr(info.note), info.octave);
        }
        if (mp_listener)
            mp_listener->newNote(info);
        m_notes.append(info);
        if (m_expectedIndex < m_expectedNotes.size())
            ++m_expectedIndex;
    }
    m_resultIndex = (m_resultIndex + 1) % pieces;
}

void PitchDetector::submitOnset(unsigned long sampleIndex, double rise)
{
    const double time = sampleIndex / kSampleRate;
    LOG_DEBUG("pitch", "PitchTracking - Chunk:%03u Result:%u Offset:%.2fs << ONSET >>\n", m_chunkIndex,
              m_resultIndex + 1, time);
    OnsetInfo onset;
    onset.time = time;
    onset.rise = rise;
    if (mp_listener)
        mp_listener->newOnset(onset);
    m_onsets.append(onset);
}
