#pragma once

#include "audio/AudioRegion.h"

#include <QObject>
#include <QPointer>

// A timed marker; notify() posts its event to the target unless the target is gone.
class AudioMarkerRegion : public AudioRegion {
public:
    AudioMarkerRegion(QObject* target, int id, double position);

    void reset() override {}
    double duration() const override { return 0.0; }
    qint64 totalSamples() const override { return 0; }
    qint64 remainingSamples() const override { return 0; }

    QObject* target() const { return mp_target; }
    int id() const { return m_id; }
    // Control thread only (QPointer is not safe across threads). False when the target was deleted.
    bool notify() const;

private:
    QPointer<QObject> mp_target;
    bool m_hadTarget;
    int m_id;
};
