#include "app/settings/PitchCalibrationListener.h"

#include "audio/MicInput.h"
#include "debug/Debugging.h"

static const char* const kChannel = "zq-calibrator";

PitchCalibrationListener::PitchCalibrationListener(QObject* parent) : QObject(parent) {}

bool PitchCalibrationListener::start(qint64 samples)
{
    LOG_ENTRY(kChannel);
    m_maximum.store(0, std::memory_order_release);
    m_taken.store(0, std::memory_order_release);
    m_limit.store(samples, std::memory_order_release);
    if (!mp_mic) {
        LOG_WARN(kChannel, "no microphone to calibrate");
        return false;
    }
    mp_mic->setSampleListener(this);
    return mp_mic->start() == 0;
}

void PitchCalibrationListener::stop()
{
    LOG_ENTRY(kChannel);
    if (mp_mic)
        mp_mic->stop();
}

void PitchCalibrationListener::newSample(short sample)
{
    if (MicSampleListener* level = mp_level.load(std::memory_order_acquire))
        level->newSample(sample);
    // one writer (this callback): the count needs no read-modify-write
    const qint64 taken = m_taken.load(std::memory_order_relaxed);
    if (taken >= m_limit.load(std::memory_order_relaxed))
        return;
    // |-32768| is 32768, which an int holds
    const int magnitude = sample < 0 ? -int(sample) : int(sample);
    int seen = m_maximum.load(std::memory_order_relaxed);
    while (magnitude > seen && !m_maximum.compare_exchange_weak(seen, magnitude, std::memory_order_release,
                                                                std::memory_order_relaxed)) {
    }
    m_taken.store(taken + 1, std::memory_order_release);
}
