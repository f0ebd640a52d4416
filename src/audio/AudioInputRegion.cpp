#include "audio/AudioInputRegion.h"

#include "audio/AudioSequencerInputListener.h"

#include <cmath>

AudioInputRegion::AudioInputRegion(AudioSequencerInputListener* listener, double duration, double position)
    : AudioRegion(position), mp_listener(listener), m_duration(duration > 0.0 ? duration : 0.0),
      m_total(qint64(std::trunc(m_duration * 44100.0)))
{
}

qint64 AudioInputRegion::deliver(const short* in, qint64 frames, double time)
{
    const qint64 n = qMin(frames, remainingSamples());
    if (n <= 0)
        return 0;
    if (mp_listener) {
        for (qint64 i = 0; i < n; ++i)
            mp_listener->newSample(time, in[i]);
    }
    m_delivered += n;
    return n;
}
