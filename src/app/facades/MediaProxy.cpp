#include "app/facades/MediaProxy.h"

#include "app/facades/QmlGlobals.h"
#include "audio/AudioPlayer.h"
#include "debug/Debugging.h"

static const char* const kChannel = "zq-mproxy";

MediaProxy::MediaProxy(QObject* parent) : QObject(parent) {}

MediaProxy::~MediaProxy()
{
    if (!m_playing)
        return;
    // nobody listens any more: stop quietly, but give the lock level back
    blockSignals(true);
    AudioPlayer::getInstance()->stop();
    finished();
}

void MediaProxy::playFile(const QString& path, double offset, double duration)
{
    LOG_DEBUG(kChannel, "playing %s (offset=%lf, duration=%lf)", qPrintable(path), offset, duration);
    AudioPlayer* player = AudioPlayer::getInstance();
    // the playback this ends reaches the proxy that started it, which lets its lock level go
    if (player->sequencer().isPlaying())
        player->stop();

    m_playing = true;
    emit playingChanged();
    connect(player, &AudioPlayer::playFinished, this, &MediaProxy::finished, Qt::UniqueConnection);
    if (player->prepare(path, offset, duration) != 0) {
        m_playing = false;
        emit playingChanged();
        disconnect(player, &AudioPlayer::playFinished, this, &MediaProxy::finished);
        return;
    }
    QmlGlobals::getInstance()->pushLock();
    if (player->playFile(path, offset, duration) != 0)
        finished();
}

void MediaProxy::stop()
{
    LOG_ENTRY(kChannel);
    AudioPlayer::getInstance()->stop();
}

void MediaProxy::finished()
{
    LOG_ENTRY(kChannel);
    if (!m_playing)
        return;
    m_playing = false;
    LOG_TRACE(kChannel, "emitting signal (playing=false)");
    emit playingChanged();
    QmlGlobals::getInstance()->popLock();
    disconnect(AudioPlayer::getInstance(), &AudioPlayer::playFinished, this, &MediaProxy::finished);
}
