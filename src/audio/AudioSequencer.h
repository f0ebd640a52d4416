#pragma once

#include "audio/AudioStreamOwner.h"

#include <QList>
#include <QObject>
#include <QRecursiveMutex>
#include <QString>

#include <array>
#include <atomic>

class AudioBuffer;
class AudioInputRegion;
class AudioMarkerRegion;
class AudioOutputRegion;
class AudioSequencerInputListener;
class QSocketNotifier;

// A timeline of output regions, input regions and markers, played through one duplex stream
// (mono in and out; the left channel of the stereo timeline is played).
//
// The real-time callback takes no lock and allocates nothing: it only walks the prepared lists and
// publishes what happened (started, markers reached, end) through atomics and a wake-up pipe. The
// sequencer's own thread then emits started(), posts the marker events, closes a completed stream
// and emits finished().
class AudioSequencer : public QObject, public AudioStreamOwner {
    Q_OBJECT
public:
    // What the callback needs to know about the running stream.
    struct StreamTiming {
        double sampleRate = 44100.0;
        double inputLatency = 0.0;
        double outputLatency = 0.0;
        double streamTime = 0.0;  // PortAudio's time of this block; 0 when unknown
        bool inputPadded = false;  // no microphone samples in this block: the host's silence instead
    };

    enum { kWarmUpInvocations = 19 };
    static constexpr double kMaxPaddingSeconds = 1.0;

    AudioSequencer(int sampleRate, int channelCount, QObject* parent = nullptr);
    ~AudioSequencer() override;

    // Positions are seconds; relative ones count from the current end of the timeline.
    int addOutput(AudioBuffer* buffer, double position, bool absolute, bool takeOwnership);
    int addInput(AudioSequencerInputListener* listener, double duration, double position, bool absolute);
    int addMarker(QObject* target, int id, double position, bool absolute);
    int addSilence(double duration, double position, bool absolute);

    int reset();
    // Sorts and mixes the timeline, adds the 0.1 s tail and rewinds the playback cursor; 2 when playing.
    int prepare();
    // 0 when the stream runs, 4 when every attempt failed or the timeline misses a sound.
    int play();
    // 0, or 4 when the stream could not be closed.
    int stop(bool alreadyLocked = false);
    bool isPlaying() const { return m_playing.load(std::memory_order_acquire); }

    // Control thread: why the last playback could not start or ended early, as the log said it;
    // empty when it started and ran to its end or was stopped.
    QString lastError() const { return m_lastError; }
    // A sound laid into the timeline could not be made (why, in words for the learner): the timeline
    // is not played, its silence would pass for the sound. Until reset().
    void setMissingSound(const QString& why) { m_missingSound = why; }
    QString missingSound() const { return m_missingSound; }

    double duration() const { return m_totalDuration; }
    int sampleRate() const { return m_sampleRate; }
    int channelCount() const { return m_channelCount; }
    const QList<AudioOutputRegion*>& outputRegions() const { return m_outputRegions; }
    const QList<AudioInputRegion*>& inputRegions() const { return m_inputRegions; }
    const QList<AudioMarkerRegion*>& markerRegions() const { return m_markerRegions; }

    // The callback's work on one block; returns 0 to continue and 1 to complete the stream.
    // Public so that it can be driven with synthetic buffers.
    int processBlock(const short* input, short* output, unsigned long frames, const StreamTiming& timing);
    // PortAudio's stream-finished hook: a stream the host ended by itself (a poll error, a lost sound
    // server) never reaches the end in processBlock, and would otherwise stay "playing" for good.
    void hostStreamFinished();
    // Callback or control thread once the stream has ended: true while no sample of the timeline can
    // have been heard (its first frames still sat in the output latency) and no listener was given
    // any microphone sample, so that playing it again from its beginning repeats nothing.
    bool nothingPlayedYet() const;
    qint64 framesProcessed() const { return m_frameCount; }
    // Control thread, while no stream runs: the next block goes on with the timeline, past the time
    // lost since the latest one. Public so that it can be driven with synthetic buffers.
    void goOnFromHere();
    // Any thread, while playing: the timeline position heard now, as of the latest callback (its
    // frames counted, less the output latency); a clock that follows the samples also on a device
    // that runs faster than real time.
    double playbackPosition() const;
    // Control thread: emits started(), posts reached markers, finishes a completed playback; a stream
    // the host ended is opened again (up to kStartRetries times per play): the timeline starts over
    // where nothing of it was played yet, and goes on otherwise, past the time lost meanwhile. Runs by
    // itself when the callback wakes the sequencer's thread.
    void dispatchCallbackEvents();

    enum { kStartRetries = 3 };

signals:
    void started();
    void finished();
    void marker(int marker);

private:
    friend struct AudioSequencerCallback;

    void audioStreamClosed(void* stream) override;
    void resetCursor();
    void rewindForRestart();
    // play(): up to kPlayAttempts, the audio layer recovered and the timeline rewound after each
    // failure. A stream the host ended is opened once on the devices as they are (retry false): the
    // sound server may be gone, and what it ended then fails.
    int openAndStartStream(bool retry);
    void closeEndedStream();
    bool goOnAfterHostEnd();
    // Callback thread: runs frames of lost time through the timeline; paComplete when it ended there.
    int skipLostTime(qint64 frames, StreamTiming timing);
    void dispatchEvents(bool mayRestart);
    void mixOutputRegions();
    void deliverStartedAndMarkers();
    void recoverAudio();
    void wake();
    void drainWakePipe();

    const int m_sampleRate;
    const int m_channelCount;
    double m_totalDuration = 0.0;
    QList<AudioOutputRegion*> m_outputRegions;
    QList<AudioInputRegion*> m_inputRegions;
    QList<AudioMarkerRegion*> m_markerRegions;
    QRecursiveMutex m_mutex;

    // Control thread.
    void* mp_stream = nullptr;
    std::atomic<bool> m_playing{false};
    StreamTiming m_streamTiming;
    int m_markersPosted = -1;
    bool m_startedEmitted = false;
    bool m_endHandled = false;
    int m_startRetries = 0;
    QString m_lastError;
    QString m_missingSound;

    // Callback thread while a stream runs; rewound by prepare and play.
    qint64 m_callbackCounter = 0;
    double m_startTime = 0.0;
    double m_lastStreamTime = 0.0;
    double m_lastBlockSeconds = 0.0;
    double m_lastBlockClock = 0.0;  // steady clock, seconds, when the latest block was processed
    bool m_goOnPending = false;     // set before a stream that goes on with the timeline starts
    qint64 m_frameCount = 0;
    qint64 m_paddedFrames = 0;  // of m_frameCount, blocks whose input was the host's silence
    qint64 m_lateCount = 0;
    AudioOutputRegion* mp_currentOutput = nullptr;
    int m_outputIndex = -1;
    AudioInputRegion* mp_currentInput = nullptr;
    int m_inputIndex = -1;
    int m_markerIndex = -1;

    // Published by the callback (NoInput) or PortAudio's finished hook (HostEnded).
    enum EndState { Running = 0, Completed = 1, NoInput = 2, HostEnded = 3 };
    std::atomic<bool> m_startedFlag{false};
    std::atomic<int> m_markersTaken{-1};
    std::atomic<qint64> m_publishedFrames{0};
    std::atomic<int> m_endState{Running};
    std::atomic<bool> m_wakePending{false};
    // The gap of a late invocation to warn about (the 1st, 501st...); negative when none.
    std::atomic<double> m_lateGapToReport{-1.0};
    int m_wakePipe[2] = {-1, -1};
    // The lost time's blocks: silence in, a drop-out out (the callback allocates nothing).
    enum { kLostTimeBlock = 512 };
    std::array<short, kLostTimeBlock> m_lostInput{};
    std::array<short, kLostTimeBlock> m_lostOutput{};
    QSocketNotifier* mp_wakeNotifier = nullptr;
};
