#include "audio/AudioOutputRegion.h"

#include "audio/Audio.h"
#include "audio/AudioBuffer.h"
#include "audio/SampleScaling.h"
#include "debug/Debugging.h"

AudioOutputRegion::AudioOutputRegion(AudioBuffer* buffer, double position, bool takeOwnership)
    : AudioRegion(position), mp_audioBuffer(buffer), m_ownsBuffer(takeOwnership)
{
}

AudioOutputRegion::~AudioOutputRegion()
{
    if (m_ownsBuffer)
        delete mp_audioBuffer;
}

double AudioOutputRegion::duration() const
{
    return mp_audioBuffer ? mp_audioBuffer->duration() : 0.0;
}

qint64 AudioOutputRegion::totalSamples() const
{
    return mp_audioBuffer ? mp_audioBuffer->getSampleCount() : 0;
}

short* AudioOutputRegion::writeNextFrame(short* out, bool mono)
{
    const qint64 total = totalSamples();
    BRISOLA_ASSERT_MSG(m_currentIndex < total, "overruning sample buffer");
    if (m_currentIndex >= total) {
        *out = 0;
        return out + (mono ? 1 : 2);
    }
    const short* samples = mp_audioBuffer->getSamples().constData();
    const double volume = Audio::outputVolume();
    const bool stereo = mp_audioBuffer->getChannelCount() == 2;
    out[0] = scaledSample(samples[m_currentIndex], volume);
    const short played = samples[m_currentIndex];
    ++m_currentIndex;
    if (!stereo)
        return out + 1;
    if (mono) {
        if (m_currentIndex < total)
            ++m_currentIndex;
        return out + 1;
    }
    if (m_currentIndex < total)
        out[1] = scaledSample(samples[m_currentIndex++], volume);
    else
        out[1] = scaledSample(played, volume);
    return out + 2;
}

qint64 AudioOutputRegion::writeMonoFrames(short* out, qint64 frames, double volume)
{
    if (!mp_audioBuffer || frames <= 0)
        return 0;
    const int channels = qMax(1, mp_audioBuffer->getChannelCount());
    const short* samples = mp_audioBuffer->getSamples().constData();
    const qint64 total = totalSamples();
    qint64 written = 0;
    if (volume == 1.0) {
        while (written < frames && m_currentIndex < total) {
            out[written++] = samples[m_currentIndex];
            m_currentIndex = qMin(total, m_currentIndex + channels);
        }
    } else {
        while (written < frames && m_currentIndex < total) {
            out[written++] = scaledSample(samples[m_currentIndex], volume);
            m_currentIndex = qMin(total, m_currentIndex + channels);
        }
    }
    return written;
}
