#include "audio/AudioSequencer.h"

#include "audio/Audio.h"
#include "audio/AudioBuffer.h"
#include "audio/AudioInputRegion.h"
#include "audio/AudioMarkerRegion.h"
#include "audio/AudioOutputRegion.h"
#include "audio/AudioSequencerMarkerEvent.h"
#include "debug/Debugging.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>

#include <portaudio.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

static const char* const kChannel = "audio-seq";

namespace {

const int kPlayAttempts = 5;

template <typename Region>
void sortByPosition(QList<Region*>& regions)
{
    // Stable: regions at equal positions keep the order they were added in.
    std::stable_sort(regions.begin(), regions.end(),
                     [](const Region* a, const Region* b) { return a->position() < b->position(); });
}

// Positions are often sums of durations, so x.99999999 frames means x + 1 frames.
const double kFrameEpsilon = 1e-6;

// A stream that goes on after the host ended the last one: lost time below this is the new
// stream's ordinary start-up, not time to skip.
const double kLostTimeFloor = 0.01;

double steadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

qint64 frameAt(double position, int rate)
{
    return qint64(std::trunc(position * rate + (position < 0 ? -kFrameEpsilon : kFrameEpsilon)));
}

}  // namespace

// The PortAudio side of the callback: no lock, no allocation.
struct AudioSequencerCallback {
    static int run(const void* input, void* output, unsigned long frames, const PaStreamCallbackTimeInfo* timeInfo,
                   PaStreamCallbackFlags flags, void* userData)
    {
        auto* sequencer = static_cast<AudioSequencer*>(userData);
        AudioSequencer::StreamTiming timing = sequencer->m_streamTiming;
        timing.streamTime = timeInfo ? timeInfo->currentTime : 0.0;
        timing.inputPadded = (flags & paInputUnderflow) != 0;
        return sequencer->processBlock(static_cast<const short*>(input), static_cast<short*>(output), frames, timing);
    }

    static void finished(void* userData) { static_cast<AudioSequencer*>(userData)->hostStreamFinished(); }
};

AudioSequencer::AudioSequencer(int sampleRate, int channelCount, QObject* parent)
    : QObject(parent), m_sampleRate(sampleRate > 0 ? sampleRate : 44100), m_channelCount(channelCount)
{
    BRISOLA_ASSERT_MSG(channelCount == 2, "mono is not yet supported.");
    if (::pipe(m_wakePipe) == 0) {
        for (int fd : m_wakePipe) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
        if (QCoreApplication::instance()) {
            mp_wakeNotifier = new QSocketNotifier(m_wakePipe[0], QSocketNotifier::Read, this);
            connect(mp_wakeNotifier, &QSocketNotifier::activated, this, [this] { dispatchCallbackEvents(); });
        }
    } else {
        LOG_ERROR(kChannel, "could not create the wake-up pipe; events arrive only on stop");
        m_wakePipe[0] = m_wakePipe[1] = -1;
    }
    reset();
}

AudioSequencer::~AudioSequencer()
{
    reset();
    delete mp_wakeNotifier;
    for (int fd : m_wakePipe) {
        if (fd >= 0)
            ::close(fd);
    }
}

int AudioSequencer::addOutput(AudioBuffer* buffer, double position, bool absolute, bool takeOwnership)
{
    QMutexLocker lock(&m_mutex);
    if (!buffer) {
        LOG_ERROR(kChannel, "addOutput without a buffer");
        return 1;
    }
    BRISOLA_ASSERT_MSG(buffer->getSampleFormat() == 0, "sample format conversion not yet supported.");
    const double start = absolute ? position : position + m_totalDuration;
    auto* region = new AudioOutputRegion(buffer, start, takeOwnership);
    region->reset();
    m_outputRegions.append(region);
    m_totalDuration = std::max(m_totalDuration, start + region->duration());
    LOG_DEBUG(kChannel, "added output pos: %f duration:%f\n", start, region->duration());
    return 0;
}

int AudioSequencer::addInput(AudioSequencerInputListener* listener, double duration, double position, bool absolute)
{
    QMutexLocker lock(&m_mutex);
    const double start = absolute ? position : position + m_totalDuration;
    auto* region = new AudioInputRegion(listener, duration, start);
    m_inputRegions.append(region);
    m_totalDuration = std::max(m_totalDuration, start + region->duration());
    LOG_DEBUG(kChannel, "added input pos: %f duration:%f\n", start, region->duration());
    return 0;
}

int AudioSequencer::addMarker(QObject* target, int id, double position, bool absolute)
{
    QMutexLocker lock(&m_mutex);
    const double start = absolute ? position : position + m_totalDuration;
    AudioSequencerMarkerEvent::customType();  // registered here, on the control thread, before any posting
    m_markerRegions.append(new AudioMarkerRegion(target, id, start));
    m_totalDuration = std::max(m_totalDuration, start);
    LOG_DEBUG(kChannel, "marker id: %d  pos: %f\n", id, start);
    return 0;
}

int AudioSequencer::addSilence(double duration, double position, bool absolute)
{
    QMutexLocker lock(&m_mutex);
    const double start = absolute ? position : position + m_totalDuration;
    m_totalDuration = std::max(m_totalDuration, start + std::max(duration, 0.0));
    LOG_DEBUG(kChannel, "added silence duration: %f  pos: %f\n", duration, start);
    return 0;
}

int AudioSequencer::reset()
{
    QMutexLocker lock(&m_mutex);
    dispatchEvents(false);
    if (m_playing) {
        LOG_WARN(kChannel, "already playing; stopping first");
        stop(true);
    }
    if (mp_stream) {
        // Only a stream that refused to close gets here; never leave it in the registry.
        Audio::delActiveAudioHandle(mp_stream);
        mp_stream = nullptr;
    }
    m_playing = false;
    qDeleteAll(m_outputRegions);
    m_outputRegions.clear();
    qDeleteAll(m_inputRegions);
    m_inputRegions.clear();
    qDeleteAll(m_markerRegions);
    m_markerRegions.clear();
    m_totalDuration = 0.0;
    m_missingSound.clear();
    resetCursor();
    return 0;
}

void AudioSequencer::resetCursor()
{
    m_callbackCounter = 0;
    m_startTime = 0.0;
    m_lastStreamTime = 0.0;
    m_lastBlockSeconds = 0.0;
    m_lastBlockClock = 0.0;
    m_goOnPending = false;
    m_frameCount = 0;
    m_paddedFrames = 0;
    mp_currentOutput = nullptr;
    m_outputIndex = -1;
    mp_currentInput = nullptr;
    m_inputIndex = -1;
    m_markerIndex = -1;
    m_startedFlag = false;
    m_markersTaken = -1;
    m_publishedFrames = 0;
    m_endState = Running;
    m_markersPosted = -1;
    m_startedEmitted = false;
    m_endHandled = false;
}

int AudioSequencer::prepare()
{
    LOG_ENTRY(kChannel);
    QMutexLocker lock(&m_mutex);
    dispatchEvents(false);
    if (m_playing) {
        LOG_WARN(kChannel, "playback already in progress");
        return 2;
    }
    resetCursor();
    m_totalDuration += 0.1;
    sortByPosition(m_outputRegions);
    sortByPosition(m_inputRegions);
    sortByPosition(m_markerRegions);

    if (!m_outputRegions.isEmpty()) {
        QString text = QStringLiteral("output regions: ");
        for (int i = 0; i < m_outputRegions.size(); ++i)
            text += QString::asprintf("  %-2d : %.3f (%.3f)\n", i, m_outputRegions[i]->position(),
                                      m_outputRegions[i]->duration());
        LOG_DEBUG(kChannel, "%s", qPrintable(text));
    }
    if (!m_inputRegions.isEmpty()) {
        QString text = QStringLiteral("input regions: ");
        for (int i = 0; i < m_inputRegions.size(); ++i)
            text += QString::asprintf("  %d-2 : %.3f (%.3f)\n", i, m_inputRegions[i]->position(),
                                      m_inputRegions[i]->duration());
        LOG_DEBUG(kChannel, "%s", qPrintable(text));
    }
    if (!m_markerRegions.isEmpty()) {
        QString text = QStringLiteral("markers: ");
        for (int i = 0; i < m_markerRegions.size(); ++i)
            text += QString::asprintf("  %-2d : %.3f (%-3d)\n", i, m_markerRegions[i]->position(),
                                      m_markerRegions[i]->id());
        LOG_DEBUG(kChannel, "%s", qPrintable(text));
    }

    mixOutputRegions();

    for (int i = 0; i + 1 < m_inputRegions.size(); ++i) {
        const AudioInputRegion* a = m_inputRegions[i];
        const AudioInputRegion* b = m_inputRegions[i + 1];
        if (frameAt(b->position(), m_sampleRate) < frameAt(a->position(), m_sampleRate) + a->totalSamples())
            LOG_WARN(kChannel, "overlapping input regions not supported (%d and %d); the later one starts when "
                               "the earlier one ends", i, i + 1);
    }
    return 0;
}

void AudioSequencer::mixOutputRegions()
{
    // Frames, not interleaved samples, so that a region can never start on a right channel.
    auto firstFrame = [this](const AudioOutputRegion* r) { return frameAt(r->position(), m_sampleRate); };
    auto frameCount = [](const AudioOutputRegion* r) {
        const int channels = r->buffer() ? std::max(1, r->buffer()->getChannelCount()) : 1;
        return r->totalSamples() / channels;
    };

    for (int i = 0; i + 1 < m_outputRegions.size(); ++i) {
        const qint64 first = firstFrame(m_outputRegions[i]);
        qint64 chainEnd = first + frameCount(m_outputRegions[i]);
        int last = i;
        while (last + 1 < m_outputRegions.size() && firstFrame(m_outputRegions[last + 1]) < chainEnd) {
            ++last;
            chainEnd = std::max(chainEnd, firstFrame(m_outputRegions[last]) + frameCount(m_outputRegions[last]));
        }
        if (last == i)
            continue;
        LOG_DEBUG(kChannel, "regions %d to %d are overlapping", i, last);

        auto* mixed = new AudioBuffer(2, 0, m_sampleRate);
        mixed->getSamples().fill(0, int((chainEnd - first) * 2));
        short* dst = mixed->getSamples().data();
        quint64 mixedCount = 0;
        quint64 limited = 0;
        for (int j = i; j <= last; ++j) {
            const AudioOutputRegion* member = m_outputRegions[j];
            if (j > i)
                LOG_TRACE(kChannel, "mixing %d and %d", i, j);
            if (!member->buffer())
                continue;
            const short* src = member->buffer()->getSamples().constData();
            const int channels = std::max(1, member->buffer()->getChannelCount());
            const qint64 frames = frameCount(member);
            const qint64 offset = (firstFrame(member) - first) * 2;
            for (qint64 f = 0; f < frames; ++f) {
                for (int c = 0; c < 2; ++c) {
                    const int sample = src[f * channels + (channels == 1 ? 0 : c)];
                    short& out = dst[offset + f * 2 + c];
                    if (j == i) {
                        out = short(sample);
                        continue;
                    }
                    const int sum = out + sample;
                    if (sum > 32767 || sum < -32768) {
                        // Hold the sample before it (the other channel or the previous frame).
                        const qint64 at = offset + f * 2 + c;
                        out = at > 0 ? dst[at - 1] : 0;
                        ++limited;
                    } else {
                        out = short(sum);
                        ++mixedCount;
                    }
                }
            }
        }
        auto* region = new AudioOutputRegion(mixed, m_outputRegions[i]->position(), true);
        for (int j = last; j >= i; --j)
            delete m_outputRegions.takeAt(j);
        m_outputRegions.insert(i, region);
        LOG_DEBUG(kChannel, "mixed regions %d-%d (samples=%u ; mixed=%u ; limited=%u)", i, last,
                  unsigned(mixed->getSampleCount()), unsigned(mixedCount), unsigned(limited));
    }
}

int AudioSequencer::processBlock(const short* input, short* output, unsigned long frames, const StreamTiming& timing)
{
    bool news = false;
    if (m_callbackCounter < kWarmUpInvocations) {
        ++m_callbackCounter;
        if (output)
            std::memset(output, 0, frames * sizeof(short));
        return paContinue;
    }
    if (m_callbackCounter == kWarmUpInvocations) {
        ++m_callbackCounter;
        m_frameCount = 0;
        m_paddedFrames = 0;
        m_startTime = timing.outputLatency;
        m_startedFlag.store(true, std::memory_order_release);
        news = true;
    }

    const double rate = timing.sampleRate > 0.0 ? timing.sampleRate : double(m_sampleRate);
    const double now = steadySeconds();
    if (m_goOnPending) {
        // The first block of a stream that goes on with the timeline: the time the sound system lost
        // since the last one is run through it first, so that what is heard and answered from now on
        // stays on the learner's clock.
        m_goOnPending = false;
        const double lost = now - m_lastBlockClock - m_lastBlockSeconds;
        if (lost > kLostTimeFloor && skipLostTime(qint64(lost * rate), timing) == paComplete) {
            if (output)
                std::memset(output, 0, frames * sizeof(short));
            return paComplete;
        }
    }
    m_lastBlockClock = now;
    const double t = double(m_frameCount) / rate;
    const double blockSeconds = double(frames) / rate;
    m_frameCount += qint64(frames);
    m_publishedFrames.store(m_frameCount, std::memory_order_release);
    const double outputStart = t + timing.outputLatency - m_startTime;
    // The microphone's own clock: a block the host filled with silence because the microphone had
    // nothing yet (the machine was busy) holds no sound of it; what it captured meanwhile comes in
    // later blocks and is dated as the samples it is, not later by the silence. A microphone silent
    // for good holds the timeline back by kMaxPaddingSeconds at most; its silence is input after that.
    const bool padded = timing.inputPadded && m_paddedFrames + qint64(frames) <= qint64(kMaxPaddingSeconds * rate);
    const double inputStart = t - double(m_paddedFrames) / rate - timing.inputLatency - m_startTime;
    const double inputEnd = inputStart + (padded ? 0.0 : blockSeconds);
    if (padded)
        m_paddedFrames += qint64(frames);
    const double halfFrame = 0.5 / rate;
    const qint64 frameTotal = qint64(frames);

    if (!input) {
        // Logged by the control side.
        m_endState.store(NoInput, std::memory_order_release);
        wake();
        return paComplete;
    }

    if (timing.streamTime > 0.0 && m_lastStreamTime > 0.0
        && timing.streamTime - m_lastStreamTime > m_lastBlockSeconds + 0.005) {
        // Logged by the control side: logging here would lock, allocate and write a file.
        if (m_lateCount++ % 500 == 0) {
            m_lateGapToReport.store(timing.streamTime - m_lastStreamTime, std::memory_order_release);
            news = true;
        }
    }
    m_lastStreamTime = timing.streamTime;
    m_lastBlockSeconds = blockSeconds;

    // Markers first: they are due once their time is not after the end of the input window.
    const int markerCount = m_markerRegions.size();
    while (m_markerIndex + 1 < markerCount && m_markerRegions.at(m_markerIndex + 1)->position() <= inputEnd) {
        ++m_markerIndex;
        news = true;
    }
    if (news)
        m_markersTaken.store(m_markerIndex, std::memory_order_release);

    // Where a region starts in this block, in frames; at or before what is done already means now.
    auto offsetIn = [&](double position, double windowStart) {
        const double offset = std::trunc(rate * (position - windowStart) + kFrameEpsilon);
        return offset <= 0.0 ? qint64(0) : std::min(frameTotal, qint64(offset));
    };

    if (output) {
        const double volume = Audio::outputVolume();
        const int outputCount = m_outputRegions.size();
        qint64 written = 0;
        while (written < frameTotal) {
            if (mp_currentOutput && mp_currentOutput->remainingSamples() > 0) {
                const qint64 n = mp_currentOutput->writeMonoFrames(output + written, frameTotal - written, volume);
                if (n <= 0)
                    mp_currentOutput = nullptr;
                written += n;
                continue;
            }
            mp_currentOutput = nullptr;
            while (m_outputIndex + 1 < outputCount) {
                AudioOutputRegion* next = m_outputRegions.at(m_outputIndex + 1);
                if (next->position() < outputStart - halfFrame) {
                    ++m_outputIndex;  // already passed: never played
                    continue;
                }
                if (next->position() > outputStart + blockSeconds + halfFrame)
                    break;
                ++m_outputIndex;
                mp_currentOutput = next;
                const qint64 offset = offsetIn(next->position(), outputStart);
                if (offset > written) {
                    std::memset(output + written, 0, size_t(offset - written) * sizeof(short));
                    written = offset;
                }
                break;
            }
            if (!mp_currentOutput) {
                std::memset(output + written, 0, size_t(frameTotal - written) * sizeof(short));
                written = frameTotal;
            }
        }
    }

    const int inputCount = m_inputRegions.size();
    qint64 consumed = padded ? frameTotal : 0;
    while (consumed < frameTotal) {
        if (mp_currentInput && mp_currentInput->remainingSamples() > 0) {
            const qint64 n = mp_currentInput->deliver(input + consumed, frameTotal - consumed, inputStart);
            if (n <= 0)
                mp_currentInput = nullptr;
            consumed += n;
            continue;
        }
        mp_currentInput = nullptr;
        while (m_inputIndex + 1 < inputCount) {
            AudioInputRegion* next = m_inputRegions.at(m_inputIndex + 1);
            if (next->position() < inputStart - halfFrame) {
                ++m_inputIndex;
                continue;
            }
            if (next->position() > inputEnd + halfFrame)
                break;
            ++m_inputIndex;
            mp_currentInput = next;
            consumed = std::max(consumed, offsetIn(next->position(), inputStart));  // skip up to its start
            break;
        }
        if (!mp_currentInput)
            break;  // the rest belongs to no region
    }

    if (inputEnd > m_totalDuration) {
        m_endState.store(Completed, std::memory_order_release);
        wake();
        return paComplete;
    }
    if (news)
        wake();
    return paContinue;
}

int AudioSequencer::skipLostTime(qint64 frames, StreamTiming timing)
{
    // Silence in, nothing out: the microphone's lost samples are none, the output's are a drop-out.
    // No stream time: the new stream's first block is not measured against these.
    timing.streamTime = 0.0;
    timing.inputPadded = false;
    while (frames > 0) {
        const qint64 n = std::min<qint64>(frames, kLostTimeBlock);
        if (processBlock(m_lostInput.data(), m_lostOutput.data(), static_cast<unsigned long>(n), timing) == paComplete)
            return paComplete;
        frames -= n;
    }
    return paContinue;
}

double AudioSequencer::playbackPosition() const
{
    const double rate = m_streamTiming.sampleRate > 0.0 ? m_streamTiming.sampleRate : double(m_sampleRate);
    return double(m_publishedFrames.load(std::memory_order_acquire)) / rate - m_streamTiming.outputLatency;
}

void AudioSequencer::hostStreamFinished()
{
    int running = Running;
    if (m_endState.compare_exchange_strong(running, HostEnded, std::memory_order_acq_rel))
        wake();
}

bool AudioSequencer::nothingPlayedYet() const
{
    if (!m_startedFlag.load(std::memory_order_acquire))
        return true;  // still in the warm-up: only silence went out
    if (double(m_frameCount) / m_sampleRate > m_startTime)
        return false;  // the timeline's first frame has left the output latency
    for (const AudioInputRegion* region : m_inputRegions) {
        if (region->delivered() > 0)
            return false;
    }
    return true;
}

void AudioSequencer::wake()
{
    if (m_wakePipe[1] < 0 || m_wakePending.exchange(true, std::memory_order_acq_rel))
        return;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wakePipe[1], &byte, 1);
}

void AudioSequencer::drainWakePipe()
{
    if (m_wakePipe[0] < 0)
        return;
    m_wakePending.store(false, std::memory_order_release);
    char bytes[64];
    while (::read(m_wakePipe[0], bytes, sizeof bytes) > 0) {
    }
}

void AudioSequencer::deliverStartedAndMarkers()
{
    if (!m_startedEmitted && m_startedFlag.load(std::memory_order_acquire)) {
        m_startedEmitted = true;
        LOG_TRACE(kChannel, "started");
        emit started();
    }
    const int taken = m_markersTaken.load(std::memory_order_acquire);
    while (m_markersPosted < taken && m_markersPosted + 1 < m_markerRegions.size()) {
        ++m_markersPosted;
        m_markerRegions.at(m_markersPosted)->notify();
    }
}

void AudioSequencer::dispatchCallbackEvents()
{
    dispatchEvents(true);
}

void AudioSequencer::dispatchEvents(bool mayRestart)
{
    QMutexLocker lock(&m_mutex);
    drainWakePipe();
    const double lateGap = m_lateGapToReport.exchange(-1.0, std::memory_order_acq_rel);
    if (lateGap >= 0.0)
        LOG_WARN(kChannel, "time elapsed between invocations is unexpectedly high (%f)", lateGap);
    // The end is read before the markers: the callback takes its last markers before it ends the
    // timeline, so an end seen here comes with every marker it took, also on a device faster than
    // real time whose callback runs on while earlier markers are posted.
    const int end = m_endState.load(std::memory_order_acquire);
    deliverStartedAndMarkers();
    if (end == Running || m_endHandled)
        return;
    // Why the stream ended is logged here: the callback never logs.
    if (end == NoInput)
        LOG_ERROR(kChannel, "no input stream!");
    else if (end == HostEnded)
        LOG_WARN(kChannel, "the sound system ended the stream by itself after %lld frames",
                 static_cast<long long>(m_publishedFrames.load(std::memory_order_acquire)));
    if (end == HostEnded && mayRestart && goOnAfterHostEnd())
        return;
    m_endHandled = true;
    if (end != Completed) {
        LOG_ERROR(kChannel, "playback ended on a stream error");
        if (m_lastError.isEmpty())  // a failed new start said why already
            m_lastError = QStringLiteral("playback ended on a stream error");
    }
    LOG_TRACE(kChannel, "finished");
    closeEndedStream();
    const bool announce = m_playing || m_startedEmitted;
    m_playing = false;
    if (announce)
        emit finished();
}

void AudioSequencer::closeEndedStream()
{
    // A stream that ended by itself is closed here, on the control thread (never from its callback).
    if (!mp_stream)
        return;
    auto* stream = static_cast<PaStream*>(mp_stream);
    mp_stream = nullptr;
    Audio::delActiveAudioHandle(stream);
    if (Pa_IsStreamStopped(stream) == 0)
        Pa_StopStream(stream);
    const PaError err = Pa_CloseStream(stream);
    if (err != paNoError)
        LOG_WARN(kChannel, "could not close stream (%s)", Pa_GetErrorText(err));
}

bool AudioSequencer::goOnAfterHostEnd()
{
    // PortAudio's ALSA host gives up on a duplex stream after an xrun it cannot recover (PulseAudio's
    // ALSA plugin is not ready again when PortAudio asks it for the delay): on a busy machine, at the
    // start or at any time later. A timeline nothing of which was heard yet starts over on a new
    // stream; one under way goes on from where it is now, the time lost heard as a drop-out.
    if (!m_playing || !mp_stream || m_startRetries >= kStartRetries)
        return false;
    closeEndedStream();  // the callback has stopped for good: its cursor can be read and moved
    ++m_startRetries;
    const bool fromStart = nothingPlayedYet();
    if (fromStart) {
        LOG_WARN(kChannel, "the stream ended before anything was played; starting it again (%d of %d)",
                 m_startRetries, int(kStartRetries));
        rewindForRestart();
    } else {
        LOG_WARN(kChannel, "going on at %.3f s on a new stream (%d of %d)",
                 double(m_frameCount) / m_streamTiming.sampleRate, m_startRetries, int(kStartRetries));
        goOnFromHere();
    }
    if (openAndStartStream(false) != 0) {
        LOG_ERROR(kChannel, "could not start the stream again");
        m_lastError.clear();  // the learner is told the stream's end, the log the new one's failure
        return false;
    }
    return true;
}

void AudioSequencer::goOnFromHere()
{
    m_endState = Running;
    m_lastStreamTime = 0.0;  // the new stream's clock has another origin
    m_goOnPending = true;
}

void AudioSequencer::rewindForRestart()
{
    // started() and the markers already posted are not announced twice.
    const bool startedEmitted = m_startedEmitted;
    const int markersPosted = m_markersPosted;
    resetCursor();
    m_startedEmitted = startedEmitted;
    m_markersPosted = markersPosted;
    for (AudioOutputRegion* region : qAsConst(m_outputRegions))
        region->reset();
    for (AudioInputRegion* region : qAsConst(m_inputRegions))
        region->reset();
}

void AudioSequencer::audioStreamClosed(void* stream)
{
    // Audio::terminate closed our stream: forget it and finish the playback (queued, since the
    // device layer's mutex is held here).
    if (stream != mp_stream)
        return;
    mp_stream = nullptr;
    m_endHandled = true;
    m_lastError = QStringLiteral("the audio device was closed");
    if (m_playing.exchange(false))
        QMetaObject::invokeMethod(this, [this] { emit finished(); }, Qt::QueuedConnection);
}

void AudioSequencer::recoverAudio()
{
    LOG_WARN(kChannel, "attempting to recover audio");
    // Initialising selects the default devices again; the next attempt keeps the chosen ones.
    const QString input = Audio::inputDeviceName();
    const QString output = Audio::outputDeviceName();
    Audio::terminate();
    QThread::usleep(250000);
    Audio::initialize();
    Audio::setInputDevice(input);
    Audio::setOutputDevice(output);
}

int AudioSequencer::play()
{
    LOG_ENTRY(kChannel);
    QMutexLocker lock(&m_mutex);
    dispatchEvents(false);
    if (m_playing) {
        LOG_WARN(kChannel, "playback already in progress; stopping first");
        stop(true);
    }
    if (!m_missingSound.isEmpty()) {
        LOG_ERROR(kChannel, "not playing a timeline without its sound: %s", qPrintable(m_missingSound));
        m_lastError = m_missingSound;
        return 4;
    }
    Audio::initialize();
    if (mp_stream)
        stop(true);

    m_lastError.clear();
    m_startRetries = 0;
    m_playing = true;
    resetCursor();
    const int result = openAndStartStream(true);
    if (result != 0) {
        m_playing = false;
        m_endHandled = true;
        LOG_ERROR(kChannel, "could not start playback after %d attempts", kPlayAttempts);
    }
    return result;
}

int AudioSequencer::openAndStartStream(bool retry)
{
    int result = 4;
    for (int attempt = 0; attempt < (retry ? kPlayAttempts : 1) && result != 0; ++attempt) {
        if (attempt > 0)
            rewindForRestart();
        // Read for every attempt: a recovery selects the same devices again, perhaps under other ids.
        const int inputDevice = Audio::inputDeviceId();
        const int outputDevice = Audio::outputDeviceId();
        const PaDeviceInfo* inputInfo = inputDevice >= 0 ? Pa_GetDeviceInfo(inputDevice) : nullptr;
        const PaDeviceInfo* outputInfo = outputDevice >= 0 ? Pa_GetDeviceInfo(outputDevice) : nullptr;
        PaStreamParameters in{inputDevice, 1, paInt16, inputInfo ? inputInfo->defaultLowInputLatency : 0.0, nullptr};
        PaStreamParameters out{outputDevice, 1, paInt16, outputInfo ? outputInfo->defaultHighOutputLatency : 0.0,
                               nullptr};

        LOG_DEBUG(kChannel, "opening stream on (inputDevice=%d outputDevice=%d)", inputDevice, outputDevice);
        PaStream* stream = nullptr;
        PaError err = Pa_OpenStream(&stream, &in, &out, 44100.0, paFramesPerBufferUnspecified, paClipOff,
                                    &AudioSequencerCallback::run, this);
        if (err != paNoError) {
            LOG_ERROR(kChannel, "failed to open stream (%s)", Pa_GetErrorText(err));
            m_lastError = QStringLiteral("failed to open stream (%1)").arg(QString::fromUtf8(Pa_GetErrorText(err)));
            if (retry)
                recoverAudio();
            continue;
        }
        Pa_SetStreamFinishedCallback(stream, &AudioSequencerCallback::finished);
        m_streamTiming = StreamTiming();
        if (const PaStreamInfo* info = Pa_GetStreamInfo(stream)) {
            LOG_DEBUG(kChannel, "outputLatency=%.3f inputLatency=%.3f sampleRate=%.3f", info->outputLatency,
                      info->inputLatency, info->sampleRate);
            m_streamTiming.sampleRate = info->sampleRate;
            m_streamTiming.inputLatency = info->inputLatency;
            m_streamTiming.outputLatency = info->outputLatency;
        }
        err = Pa_StartStream(stream);
        if (err != paNoError) {
            LOG_ERROR(kChannel, "failed to start stream (%s)", Pa_GetErrorText(err));
            m_lastError = QStringLiteral("failed to start stream (%1)").arg(QString::fromUtf8(Pa_GetErrorText(err)));
            if (const PaHostErrorInfo* host = Pa_GetLastHostErrorInfo())
                LOG_ERROR(kChannel, "host errror info (api=%d code=%ld text=\"%s\")", int(host->hostApiType),
                          host->errorCode, host->errorText ? host->errorText : "");
            Pa_CloseStream(stream);  // never started, so nothing to announce
            if (retry)
                recoverAudio();
            continue;
        }
        mp_stream = stream;
        Audio::addActiveAudioHandle(stream, this);
        m_lastError.clear();  // an earlier attempt's failure was recovered from
        result = 0;
    }
    return result;
}

int AudioSequencer::stop(bool alreadyLocked)
{
    LOG_ENTRY(kChannel);
    // The mutex is recursive, so locking again under a caller that holds it is harmless.
    Q_UNUSED(alreadyLocked);
    QMutexLocker lock(&m_mutex);
    if (!m_playing) {
        LOG_DEBUG(kChannel, "already stopped");
        return 0;
    }
    if (mp_stream) {
        auto* stream = static_cast<PaStream*>(mp_stream);
        // Stopped on purpose: the finished hook must not read this as a host failure.
        int running = Running;
        m_endState.compare_exchange_strong(running, Completed, std::memory_order_acq_rel);
        PaError err = Pa_StopStream(stream);
        if (err != paNoError) {
            LOG_WARN(kChannel, "could not stop stream (%s)", Pa_GetErrorText(err));
            err = Pa_AbortStream(stream);
            if (err != paNoError)
                LOG_WARN(kChannel, "could not abort stream (%s)", Pa_GetErrorText(err));
        }
        err = Pa_CloseStream(stream);
        if (err != paNoError) {
            LOG_WARN(kChannel, "could not close stream (%s)", Pa_GetErrorText(err));
            return 4;
        }
        Audio::delActiveAudioHandle(stream);
        mp_stream = nullptr;
    }
    // The callback has stopped: hand on what it reached before announcing the end.
    drainWakePipe();
    const double lateGap = m_lateGapToReport.exchange(-1.0, std::memory_order_acq_rel);
    if (lateGap >= 0.0)
        LOG_WARN(kChannel, "time elapsed between invocations is unexpectedly high (%f)", lateGap);
    deliverStartedAndMarkers();
    m_endHandled = true;
    m_playing = false;
    LOG_TRACE(kChannel, "finished");
    emit finished();
    return 0;
}
