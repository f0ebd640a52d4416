#pragma once

#include "audio/MicSampleListener.h"
#include "audio/formats/WavWriter.h"

#include <QString>

#include <atomic>

class MicInput;

// Records what a microphone captures into a mono 44100 Hz WAV file.
class MicFileCapture : public MicSampleListener {
public:
    explicit MicFileCapture(MicInput* mic);
    virtual ~MicFileCapture();

    // 0 recording; 1 the file could not be opened (the microphone still runs, nothing is recorded).
    int start(const QString& fileName);
    int stop();
    bool isRunning() const { return m_isRunning; }
    MicInput* micInput() const { return mp_mic; }

    void newSample(short sample) override;

private:
    MicInput* mp_mic;
    std::atomic<bool> m_isRunning{false};
    WavWriter m_writer;
};
