#include "audio/AudioMarkerRegion.h"

#include "audio/AudioSequencerMarkerEvent.h"
#include "debug/Debugging.h"

#include <QCoreApplication>

static const char* const kChannel = "audio-seq";

AudioMarkerRegion::AudioMarkerRegion(QObject* target, int id, double position)
    : AudioRegion(position), mp_target(target), m_hadTarget(target != nullptr), m_id(id)
{
}

bool AudioMarkerRegion::notify() const
{
    QObject* target = mp_target.data();
    if (!target) {
        if (m_hadTarget)
            LOG_DEBUG(kChannel, "marker %d skipped: its target was deleted", m_id);
        return false;
    }
    LOG_TRACE(kChannel, "notifying marker %d to %p", m_id, static_cast<void*>(target));
    QCoreApplication::postEvent(target, new AudioSequencerMarkerEvent(m_id, position()), Qt::NormalEventPriority);
    return true;
}
