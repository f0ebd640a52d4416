#include "audio/AudioOutput.h"

#include "audio/Audio.h"
#include "debug/Debugging.h"

#include <QThread>

#include <portaudio.h>

#include <cstring>
#include <new>

static const char* const kChannel = "audio-out";

namespace {

int playCallback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                 PaStreamCallbackFlags, void* userData)
{
    return static_cast<AudioOutput*>(userData)->fillBuffer(static_cast<short*>(output), frames);
}

}  // namespace

AudioOutput::AudioOutput() = default;

AudioOutput::~AudioOutput()
{
    if (m_running)
        stop();
    if (mp_stream) {
        Audio::delActiveAudioHandle(mp_stream);
        Pa_CloseStream(static_cast<PaStream*>(mp_stream));
    }
}

int AudioOutput::prepare(int tickIntervalMs)
{
    LOG_ENTRY(kChannel);
    m_tickIntervalMs = tickIntervalMs;
    if (!Audio::initialize())
        return 0;
    const int device = Audio::outputDeviceId();
    const PaDeviceInfo* info = device >= 0 ? Pa_GetDeviceInfo(device) : nullptr;
    PaStreamParameters params{device, 2, paInt16, info ? info->defaultLowOutputLatency : 0.0, nullptr};
    LOG_INFO(kChannel, "device output latency: %f", params.suggestedLatency);
    PaStream* stream = nullptr;
    PaError err = Pa_OpenStream(&stream, nullptr, &params, 44100.0, paFramesPerBufferUnspecified, paClipOff,
                                playCallback, this);
    if (err != paNoError) {
        LOG_WARN(kChannel, "Pa_OpenStream failed (%d)", err);
        LOG_WARN(kChannel, "portaudio failed during prepare %s (%d)", Pa_GetErrorText(err), err);
        return 3;
    }
    const PaStreamInfo* streamInfo = Pa_GetStreamInfo(stream);
    if (!streamInfo) {
        LOG_WARN(kChannel, "Pa_GetStreamInfo failed (%d)", 0);
        LOG_WARN(kChannel, "portaudio failed during prepare %s (%d)", Pa_GetErrorText(paInternalError),
                 int(paInternalError));
        Pa_CloseStream(stream);
        return 3;
    }
    m_latencyMs = int(streamInfo->outputLatency * 1000);
    if (m_latencyMs == 0)
        m_latencyMs = int(params.suggestedLatency * 1000);
    LOG_INFO(kChannel, "stream output latency: %d", m_latencyMs);
    m_paused = true;
    err = Pa_StartStream(stream);
    if (err != paNoError) {
        LOG_WARN(kChannel, "Pa_StartStream failed (%d)", err);
        LOG_WARN(kChannel, "portaudio failed during prepare %s (%d)", Pa_GetErrorText(err), err);
        Pa_CloseStream(stream);
        return 3;
    }
    mp_stream = stream;
    Audio::addActiveAudioHandle(stream, this);
    LOG_TRACE(kChannel, "prepared");
    return 0;
}

int AudioOutput::addData(const unsigned char* data, unsigned long size, int durationMs)
{
    if (m_running) {
        LOG_ERROR(kChannel, "addData while playing is not supported");
        return 2;
    }
    qint64 chunk = durationMs != 0 ? qint64(durationMs / 1000.0 * 44100 * 4) : qint64(size);
    chunk &= ~qint64(1);
    if (chunk < 0)
        chunk = 0;
    const qint64 old = m_queue.size();
    try {
        m_queue.resize(int(old + chunk));
    } catch (const std::bad_alloc&) {
        LOG_ERROR(kChannel, "addData ran out of memory!!!");
        return 2;
    }
    const qint64 copied = data ? qMin<qint64>(chunk, qint64(size)) : 0;
    if (copied > 0)
        std::memcpy(m_queue.data() + old, data, size_t(copied));
    std::memset(m_queue.data() + old + copied, 0, size_t(chunk - copied));
    LOG_DEBUG(kChannel, "addData (chunk: %u ; total: %lu ; data: %lu ; req %u)", unsigned(chunk),
              (unsigned long)m_queue.size(), size, unsigned(durationMs));
    return 0;
}

void AudioOutput::reset()
{
    if (m_running) {
        LOG_ERROR(kChannel, "reset while playing ignored");
        return;
    }
    m_queue.clear();
    m_readOffset = 0;
}

int AudioOutput::fillBuffer(short* out, unsigned long frames)
{
    if (m_paused) {
        std::memset(out, 0, frames * 4);
        return paContinue;
    }
    const qint64 offset = m_readOffset;
    const qint64 left = (m_queue.size() - offset) / 4;
    const qint64 n = qMin<qint64>(left, qint64(frames));
    if (n > 0)
        std::memcpy(out, m_queue.constData() + offset, size_t(n) * 4);
    m_readOffset = offset + n * 4;
    if (n < qint64(frames)) {
        std::memset(reinterpret_cast<char*>(out) + n * 4, 0, size_t(qint64(frames) - n) * 4);
        // Logged by the control thread once the stream has ended.
        m_lastBuffer.offset = int(offset);
        m_lastBuffer.left = int(left);
        m_lastBuffer.perBuffer = int(frames);
        m_lastBufferFinished.store(true, std::memory_order_release);
        return paComplete;
    }
    return paContinue;
}

int AudioOutput::start(int delayMs)
{
    BRISOLA_ASSERT(mp_stream);
    if (!mp_stream)
        return 0;
    if (m_latencyMs < delayMs) {
        LOG_DEBUG(kChannel, "sleeping %dms before start.", delayMs - m_latencyMs);
        QThread::msleep(ulong(delayMs - m_latencyMs));
    }
    m_paused = false;
    m_running = true;
    auto* stream = static_cast<PaStream*>(mp_stream);
    while (mp_stream && Pa_IsStreamActive(stream) == 1 && Pa_IsStreamStopped(stream) == 0) {
        emit tick();
        QThread::msleep(ulong(m_tickIntervalMs > 0 ? m_tickIntervalMs : 100));
    }
    if (m_lastBufferFinished.exchange(false, std::memory_order_acquire))
        LOG_TRACE(kChannel, "last buffer finished (offset=%d left=%d perBuffer = %d)", m_lastBuffer.offset,
                  m_lastBuffer.left, m_lastBuffer.perBuffer);
    LOG_DEBUG(kChannel, "calling stop m_stop=%s streamActive=%s", m_running ? "false" : "true",
              mp_stream && Pa_IsStreamActive(stream) == 1 ? "true" : "false");
    stop();
    return 0;
}

int AudioOutput::stop()
{
    int result = 0;
    if (m_running) {
        m_paused = true;
        m_running = false;
        if (auto* stream = static_cast<PaStream*>(mp_stream)) {
            PaError err = paNoError;
            if (Pa_IsStreamStopped(stream) == 0) {
                LOG_TRACE(kChannel, "forcefully stopping stream");
                err = Pa_StopStream(stream);
                if (err != paNoError)
                    LOG_WARN(kChannel, "Pa_IsStreamStopped or Pa_StopStream failed (%d)", err);
            }
            Audio::delActiveAudioHandle(stream);
            mp_stream = nullptr;
            const PaError closeErr = Pa_CloseStream(stream);
            if (closeErr != paNoError) {
                LOG_WARN(kChannel, "Pa_CloseStream failed (%d)", closeErr);
                err = closeErr;
            }
            if (err != paNoError) {
                LOG_WARN(kChannel, "portaudio failed during stop - %s (%d)", Pa_GetErrorText(err), err);
                result = 3;
            }
        }
    } else {
        LOG_DEBUG(kChannel, "redundant stop requested");
        result = 1;
    }
    emit playFinished();
    return result;
}

void AudioOutput::audioStreamClosed(void* stream)
{
    if (stream != mp_stream)
        return;
    mp_stream = nullptr;
    m_running = false;
    m_paused = true;
}
