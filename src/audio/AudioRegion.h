#pragma once

#include <QtGlobal>

// Something placed on a sequencer timeline at a position in seconds.
class AudioRegion {
public:
    explicit AudioRegion(double position) : m_position(position) {}
    virtual ~AudioRegion() = default;

    virtual void reset() = 0;
    virtual double duration() const = 0;
    virtual qint64 totalSamples() const = 0;
    virtual qint64 remainingSamples() const = 0;

    double position() const { return m_position; }
    void setPosition(double position) { m_position = position; }

private:
    double m_position;
};
