#include "audio/MicInput.h"

#include "audio/Audio.h"
#include "audio/MicSampleListener.h"
#include "debug/Debugging.h"

#include <portaudio.h>

static const char* const kChannel = "audio-in";

namespace {

int paRecordCallback(const void* input, void*, unsigned long frames, const PaStreamCallbackTimeInfo*,
                     PaStreamCallbackFlags, void* userData)
{
    auto* listener = *static_cast<MicSampleListener* const*>(userData);
    if (!listener)
        return paContinue;
    const short* in = static_cast<const short*>(input);
    for (unsigned long i = 0; i < frames; ++i)
        listener->newSample(in ? in[i] : short(0));
    return paContinue;
}

}  // namespace

MicInput::MicInput() = default;

MicInput::~MicInput()
{
    stop();
}

int MicInput::start()
{
    LOG_ENTRY(kChannel);
    if (!mp_listener) {
        LOG_ERROR(kChannel, "sample listener not specified");
        return 2;
    }
    if (m_running) {
        LOG_DEBUG(kChannel, "already running");
        return 0;
    }
    if (!Audio::initialize())
        return 1;
    const int device = Audio::inputDeviceId();
    const PaDeviceInfo* info = device >= 0 ? Pa_GetDeviceInfo(device) : nullptr;
    if (device == -1 || !info) {
        LOG_ERROR(kChannel, "no default input device");
        return 1;
    }
    PaStreamParameters params{device, 1, paInt16, info->defaultLowInputLatency, nullptr};
    LOG_INFO(kChannel, "device input latency: %f", params.suggestedLatency);

    PaStream* stream = nullptr;
    // The callback reads the listener through its field, so it is fixed while the stream runs.
    PaError err = Pa_OpenStream(&stream, &params, nullptr, 44100.0, 512, paClipOff, paRecordCallback, &mp_listener);
    if (err != paNoError) {
        LOG_WARN(kChannel, "Pa_OpenStream failed (%d)", err);
        LOG_ERROR(kChannel, "portaudio failure %d (%s)", err, Pa_GetErrorText(err));
        return 1;
    }
    err = Pa_StartStream(stream);
    if (err != paNoError) {
        LOG_WARN(kChannel, "Pa_StartStream failed (%d)", err);
        LOG_ERROR(kChannel, "portaudio failure %d (%s)", err, Pa_GetErrorText(err));
        Pa_CloseStream(stream);
        return 1;
    }
    const PaStreamInfo* streamInfo = Pa_GetStreamInfo(stream);
    if (!streamInfo) {
        LOG_WARN(kChannel, "Pa_GetStreamInfo failed (%d)", 0);
        Pa_StopStream(stream);
        Pa_CloseStream(stream);
        return 1;
    }
    LOG_INFO(kChannel, "stream input latency: %d", int(streamInfo->inputLatency * 1000));
    mp_stream = stream;
    Audio::addActiveAudioHandle(stream, this);
    m_running = true;
    return 0;
}

int MicInput::stop()
{
    LOG_ENTRY(kChannel);
    if (!m_running) {
        LOG_DEBUG(kChannel, "redundant stop requested");
        return 2;
    }
    m_running = false;
    auto* stream = static_cast<PaStream*>(mp_stream);
    PaError err = Pa_IsStreamStopped(stream);
    if (err == 1) {
        err = paNoError;  // stopped by someone else; still ours to close
    } else if (err == 0) {
        err = Pa_StopStream(stream);
    }
    if (err != paNoError) {
        LOG_WARN(kChannel, "Pa_IsStreamStopped or Pa_StopStream failed (%d)", err);
        LOG_WARN(kChannel, "portaudio failed during stop - %s (%d)", Pa_GetErrorText(err), err);
        // Abort so that the stream can be closed at all.
        Pa_AbortStream(stream);
    }
    Audio::delActiveAudioHandle(stream);
    mp_stream = nullptr;
    const PaError closeErr = Pa_CloseStream(stream);
    if (closeErr != paNoError) {
        LOG_WARN(kChannel, "Pa_CloseStream failed (%d)", closeErr);
        LOG_WARN(kChannel, "portaudio failed during stop - %s (%d)", Pa_GetErrorText(closeErr), closeErr);
        return 1;
    }
    return err == paNoError ? 0 : 1;
}

void MicInput::audioStreamClosed(void* stream)
{
    if (stream != mp_stream)
        return;
    mp_stream = nullptr;
    m_running = false;
}
