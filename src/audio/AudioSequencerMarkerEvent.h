#pragma once

#include <QEvent>

#include <atomic>

// Posted to a marker's target when playback reaches the marker.
class AudioSequencerMarkerEvent : public QEvent {
public:
    AudioSequencerMarkerEvent(int id, double time);

    int id() const { return m_id; }
    double time() const { return m_time; }

    // Registered by its first user and kept for the run.
    static QEvent::Type customType();
    // 0 until registered.
    static std::atomic<int> m_customType;

private:
    int m_id;
    double m_time;
};
