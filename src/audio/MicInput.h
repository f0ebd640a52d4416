#pragma once

#include "audio/AudioStreamOwner.h"

#include <QObject>

#include <atomic>

class MicSampleListener;

// Captures the selected input device (mono, 16-bit, 44100 Hz, 512 frames per buffer) into one listener.
class MicInput : public QObject, public AudioStreamOwner {
    Q_OBJECT
public:
    MicInput();
    ~MicInput() override;

    void setSampleListener(MicSampleListener* listener) { mp_listener = listener; }
    MicSampleListener* sampleListener() const { return mp_listener; }

    // 0 running (also when it already was); 1 device-layer failure; 2 no listener.
    int start();
    // 0 stopped and closed; 1 device-layer failure; 2 not started.
    int stop();
    bool isRunning() const { return m_running; }

private:
    void audioStreamClosed(void* stream) override;

    MicSampleListener* mp_listener = nullptr;
    void* mp_stream = nullptr;
    std::atomic<bool> m_running{false};
};
