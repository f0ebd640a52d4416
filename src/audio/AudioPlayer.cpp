#include "audio/AudioPlayer.h"

#include "audio/AudioBuffer.h"
#include "audio/formats/AudioFormats.h"
#include "debug/Debugging.h"

static const char* const kChannel = "audio-ap";

AudioPlayer* AudioPlayer::mp_instance = nullptr;

AudioPlayer* AudioPlayer::getInstance()
{
    if (!mp_instance)
        mp_instance = new AudioPlayer();
    return mp_instance;
}

AudioPlayer::AudioPlayer() : m_sequencer(44100, 2)
{
    connect(&m_sequencer, &AudioSequencer::finished, this, &AudioPlayer::finished);
}

AudioPlayer::~AudioPlayer() = default;

int AudioPlayer::prepare(const QString& path, double offset, double duration)
{
    LOG_ENTRY(kChannel);
    AudioBuffer* buffer = nullptr;
    const int status = AudioFormats::read(&buffer, path, AudioFormats::TypeByName, offset, duration);
    if (status != AudioFormats::StatusSuccess) {
        LOG_ERROR(kChannel, "failed to play %s (afStatus=%d)", qPrintable(path), status);
        return 4;
    }
    LOG_DEBUG(kChannel, "playing %s", qPrintable(path));
    m_sequencer.reset();
    m_sequencer.addOutput(buffer, 0.0, true, true);
    m_sequencer.prepare();
    return 0;
}

int AudioPlayer::playFile(const QString& path, double offset, double duration)
{
    LOG_ENTRY(kChannel);
    if (m_sequencer.duration() == 0.0) {
        const int rc = prepare(path, offset, duration);
        if (rc != 0)
            return rc;
    }
    const int rc = m_sequencer.play();
    if (rc != 0) {
        LOG_ERROR(kChannel, "could not start playing %s (%d)", qPrintable(path), rc);
        return rc;
    }
    return 0;
}

int AudioPlayer::stop()
{
    LOG_ENTRY(kChannel);
    if (m_sequencer.isPlaying())
        return m_sequencer.stop(false);
    return 0;
}

void AudioPlayer::finished()
{
    LOG_ENTRY(kChannel);
    emit playFinished();
}
