#include "audio/AudioSequencerMarkerEvent.h"

std::atomic<int> AudioSequencerMarkerEvent::m_customType{0};

AudioSequencerMarkerEvent::AudioSequencerMarkerEvent(int id, double time)
    : QEvent(customType()), m_id(id), m_time(time)
{
}

QEvent::Type AudioSequencerMarkerEvent::customType()
{
    int type = m_customType.load();
    if (type == 0) {
        const int registered = QEvent::registerEventType(-1);
        // Two first users at once: keep the one that got in first.
        if (!m_customType.compare_exchange_strong(type, registered))
            return QEvent::Type(type);
        type = registered;
    }
    return QEvent::Type(type);
}
