#pragma once

// ALSA's own error messages (a card it cannot find while probing, an underrun it recovered from)
// go to the log at DEBUG instead of standard error. Process-wide; installed once at audio start.
class AlsaMessages {
public:
    static void sendToLog();
};
