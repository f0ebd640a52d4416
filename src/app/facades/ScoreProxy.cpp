#include "app/facades/ScoreProxy.h"

#include "app/facades/QmlGlobals.h"
#include "debug/Debugging.h"

static const char* const kChannel = "zq-sproxy";

ScoreProxy::ScoreProxy(QQuickItem* parent) : Score(parent) {}

ScoreProxy::~ScoreProxy()
{
    if (!playing())
        return;
    // the score's own destructor would stop without onStopped(); listeners may be gone already
    blockSignals(true);
    Score::stop();
}

bool ScoreProxy::play()
{
    if (playing())
        return false;
    LOG_DEBUG(kChannel, "attempting to begin playback");
    QmlGlobals::getInstance()->pushLock();
    const bool ok = Score::play();
    if (!ok) {
        LOG_DEBUG(kChannel, "failed to play score");
        QmlGlobals::getInstance()->popLock();
    }
    return ok;
}

void ScoreProxy::stop()
{
    if (!playing())
        return;
    LOG_DEBUG(kChannel, "attempting to stop playback");
    Score::stop();
}

int ScoreProxy::noteIndexAtTime(double seconds) const
{
    const QList<NoteInfo>& notes = noteList();
    for (int i = 0; i < notes.size(); ++i) {
        if (notes.at(i).start() <= seconds && seconds < notes.at(i).end())
            return i;
    }
    return -1;
}

void ScoreProxy::onStopped()
{
    LOG_DEBUG(kChannel, "playback stopped");
    QmlGlobals::getInstance()->popLock();
}
