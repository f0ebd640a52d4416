#pragma once

#include <QEvent>

// Posted to a marker's target when playback reaches the marker.
class AudioSequencerMarkerEvent : public QEvent {
public:
    AudioSequencerMarkerEvent(int id, double time);

    int id() const { return m_id; }
    double time() const { return m_time; }

    // Registered on first use and kept for the run.
    static QEvent::Type customType();

private:
    int m_id;
    double m_time;
};
