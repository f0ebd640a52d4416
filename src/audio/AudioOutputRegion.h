#pragma once

#include "audio/AudioRegion.h"

class AudioBuffer;

// A buffer played from a timeline position; the read index survives playback (a timeline plays once).
class AudioOutputRegion : public AudioRegion {
public:
    AudioOutputRegion(AudioBuffer* buffer, double position, bool takeOwnership);
    ~AudioOutputRegion() override;
    AudioOutputRegion(const AudioOutputRegion&) = delete;
    AudioOutputRegion& operator=(const AudioOutputRegion&) = delete;

    void reset() override { m_currentIndex = 0; }
    double duration() const override;
    qint64 totalSamples() const override;
    qint64 remainingSamples() const override { return totalSamples() - m_currentIndex; }

    const AudioBuffer* buffer() const { return mp_audioBuffer; }
    bool ownsBuffer() const { return m_ownsBuffer; }
    qint64 currentIndex() const { return m_currentIndex; }

    // Plays the next frame scaled by Audio::outputVolume(); mono writes the left channel only.
    // Returns the advanced output pointer.
    short* writeNextFrame(short* out, bool mono);
    // Real-time path: writes up to frames mono frames (left channel x volume); returns frames written.
    qint64 writeMonoFrames(short* out, qint64 frames, double volume);

private:
    AudioBuffer* mp_audioBuffer;
    bool m_ownsBuffer;
    qint64 m_currentIndex = 0;
};
