#pragma once

// Whoever opened a stream registered with Audio. Audio::terminate closes every registered stream
// and then tells its owner, on the thread that terminates, with the device layer's mutex held:
// the owner forgets the handle and must not call back into the registry.
class AudioStreamOwner {
public:
    virtual void audioStreamClosed(void* stream) = 0;

protected:
    ~AudioStreamOwner() = default;
};
