#pragma once

// Receives each input sample of an input region, with the start time of its callback's input window.
// Called on the audio callback thread.
class AudioSequencerInputListener {
public:
    virtual void newSample(double time, short sample) = 0;

protected:
    ~AudioSequencerInputListener() = default;
};
