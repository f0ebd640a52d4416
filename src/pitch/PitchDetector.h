#pragma once

#include "pitch/Pitch.h"

#include <QList>
#include <QVector>

#include <atomic>
#include <chrono>

class DetectorThread;
class OnsetDetectionStrategy;
class PitchDetectionHeuristic;
class PitchDetectionStrategy;
class PitchListener;

// Turns a stream of microphone samples into notes and onsets. Samples are collected on the
// feeding (audio) thread into blocks; every full block is analysed on the detector's own worker
// thread, where the strategies, the heuristic chain and the listener run.
class PitchDetector {
public:
    struct NoteInfo {
        double frequency = -1.0; // Hz; -1.0 when none
        Pitch::Note note = Pitch::NONE;
        int octave = -1;
        double offset = -1.0;   // seconds since start()
        double duration = 0.0;  // seconds
    };

    struct OnsetInfo {
        double time = 0.0; // seconds since start()
        NoteInfo noteInfo;
        // An attack's rise in level over the quietest of the hops before it (a ratio of RMS levels);
        // 0 for a legato change of pitch.
        double rise = 0.0;
        // A note struck (again, or short) rises 12 dB or more from the dip before it; a choir's
        // beating or a held note's swell rises less. Strikes found without that rise report it.
        static constexpr double kStruckRise = 4.0;
    };

    enum DebugFlag : unsigned int { LogResults = 0x2, SkipSilentResults = 0x4, LogVerdicts = 0x8 };

    PitchDetector();
    virtual ~PitchDetector();
    PitchDetector(const PitchDetector&) = delete;
    PitchDetector& operator=(const PitchDetector&) = delete;

    // Control side (main thread). Both wait for a running analysis pass, drop queued blocks and
    // the block being filled, so they are safe while samples are still arriving.
    void reset();
    void start();
    // Both wait (at most 500 ms, or `bound`) until every queued block has been analysed.
    void stop();
    void wait(std::chrono::milliseconds bound = std::chrono::milliseconds(500));
    // Waits until the input has ended (endInput()) and all of it has been analysed, also what the
    // feeding thread has not handed over yet. Gives up, false, once no block was analysed for
    // `stall`: a worker that lags goes on being waited for, a stalled one is not.
    bool waitForInputEnd(std::chrono::milliseconds stall);

    // Feeding side (audio thread): no lock is waited on beyond the short hand-off.
    void addSample(short sample);
    void addSample(double sample);
    // The input's last sample was added: the block being filled goes to the worker, completed with
    // silence.
    void endInput();

    OnsetDetectionStrategy* getOnsetDetectionStrategy() const { return mp_onsetDetectionStrategy; }
    // Pitch results per block actually used: m_subBlockCount, or 1 when it does not fit a block.
    unsigned int pieceCount() const;

    // Worker side.
    void process(QVector<double>& block);
    void submitOnset(unsigned long sampleIndex, double rise = 0.0);
    void submitPitch(double frequency);

    double m_noiseFloor;
    double m_peakAmplitude;
    PitchListener* mp_listener;
    OnsetDetectionStrategy* mp_onsetDetectionStrategy;
    PitchDetectionStrategy* mp_pitchDetectionStrategy;
    QVector<PitchDetectionHeuristic*> m_heuristics;
    QList<NoteInfo> m_expectedNotes;
    int m_expectedIndex;
    unsigned int m_blockSize;
    unsigned int m_subBlockCount;
    QVector<double>* mp_currentBlock;
    unsigned int m_chunkIndex;
    unsigned int m_resultIndex;
    QVector<NoteInfo> m_notes;
    QVector<OnsetInfo> m_onsets;
    unsigned int m_debugFlags;
    DetectorThread* mp_thread;

private:
    void resetLocked();
    // Feeding thread: empties the block being filled when reset() asked for it.
    void takeDiscard();
    // Hands the current block to the worker and takes the next (last: the input ends with it).
    void handOver(bool last);

    // Set by reset(); the feeding thread empties its block before the next sample.
    std::atomic<bool> m_discardCurrent;
    // Feeding-thread state for the clipping warning and the peak amplitude guard.
    bool m_clipWarned;
    bool m_badPeakWarned;
};
