#pragma once

#include "audio/AudioRegion.h"

class AudioSequencerInputListener;

// A span of the timeline whose microphone samples go to a listener.
class AudioInputRegion : public AudioRegion {
public:
    AudioInputRegion(AudioSequencerInputListener* listener, double duration, double position);

    void reset() override { m_delivered = 0; }
    double duration() const override { return m_duration; }
    qint64 totalSamples() const override { return m_total; }
    qint64 remainingSamples() const override { return m_total - m_delivered; }

    AudioSequencerInputListener* listener() const { return mp_listener; }
    qint64 delivered() const { return m_delivered; }
    // Real-time path: hands up to frames samples to the listener; returns how many it took.
    qint64 deliver(const short* in, qint64 frames, double time);

private:
    AudioSequencerInputListener* mp_listener;
    double m_duration;
    qint64 m_total;
    qint64 m_delivered = 0;
};
