#pragma once

// Receives each captured microphone frame, on the capture callback's thread.
class MicSampleListener {
public:
    virtual void newSample(short sample) = 0;

protected:
    ~MicSampleListener() = default;
};
