#include "score/Score.h"

#include "debug/Debugging.h"

#include <QThread>

static const char* const kChannel = "score";

bool Score::prepare()
{
    LOG_TRACE(kChannel, "[%lu] %s entered...", m_instance, "prepare");
    if (m_noteList.isEmpty()) {
        LOG_TRACE(kChannel, "[%lu] score is empty; bailing out", m_instance);
        return false;
    }
    if (m_playing)
        return false;
    m_sequencer.reset();
    sequence(m_sequencer, 0.0);
    m_sequencer.prepare();
    return m_sequencer.duration() != 0.0;
}

bool Score::play()
{
    LOG_TRACE(kChannel, "[%lu] %s entered...", m_instance, "play");
    if (m_noteList.isEmpty()) {
        LOG_TRACE(kChannel, "[%lu] score is empty; bailing out", m_instance);
        return false;
    }
    if (m_playing)
        return false;
    // a score prepared earlier plays as prepared
    if (m_sequencer.duration() == 0.0 && !prepare())
        return false;

    LOG_TRACE(kChannel, "[%lu] beginning playback", m_instance);
    QThread::currentThread()->setPriority(QThread::TimeCriticalPriority);
    m_playing = true;
    emit playingChanged();
    const int rc = m_sequencer.play();
    if (rc != 0) {
        // nothing will ever finish this playback: undo it so the caller is not locked out
        LOG_ERROR(kChannel, "[%lu] playback could not start (rc=%d)", m_instance, rc);
        m_sequencer.reset();
        m_playing = false;
        emit playingChanged();
        return false;
    }
    return true;
}

void Score::stop()
{
    LOG_TRACE(kChannel, "[%lu] %s entered...", m_instance, "stop");
    if (!m_playing)
        return;
    LOG_TRACE(kChannel, "[%lu] stopping playback", m_instance);
    m_sequencer.stop(false);
    onPlaybackFinished();
}

void Score::onPlaybackFinished()
{
    LOG_TRACE(kChannel, "[%lu] %s entered...", m_instance, "onPlaybackFinished");
    if (!m_playing)
        return;
    LOG_TRACE(kChannel, "[%lu] cleaning up after playback completion", m_instance);
    m_currentNoteIndex = -1;
    emit currentNoteIndexChanged();
    onStopped();
    m_sequencer.reset();
    m_playing = false;
    emit playingChanged();
}

void Score::setCurrentNoteByTimeOffset(double time)
{
    if (!m_playing || m_noteList.isEmpty())
        return;
    const double r = time - m_playbackOffset;
    for (int i = 0; i < m_noteList.size(); ++i) {
        const NoteInfo& note = m_noteList.at(i);
        if (note.start() <= r && r < note.end()) {
            if (i != m_currentNoteIndex) {
                m_currentNoteIndex = i;
                emit currentNoteIndexChanged();
            }
            return;
        }
    }
}
