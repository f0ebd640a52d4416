#include "audio/AudioSequencerMarkerEventListener.h"

#include "audio/AudioSequencerMarkerEvent.h"

bool AudioSequencerMarkerEventListener::event(QEvent* e)
{
    if (e->type() == AudioSequencerMarkerEvent::customType()) {
        const auto* marker = static_cast<AudioSequencerMarkerEvent*>(e);
        newMarker(marker->id(), marker->time());
        return true;
    }
    return QObject::event(e);
}
