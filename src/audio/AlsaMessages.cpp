#include "audio/AlsaMessages.h"

#include "debug/Debugging.h"

#include <alsa/error.h>

#include <cstdarg>
#include <cstdio>

namespace {

// Runs on whichever thread ALSA complains on, the audio callback's included: only when something
// went wrong, and formatted on the stack.
void toLog(const char* file, int line, const char* function, int, const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    LOG_DEBUG("audio", "ALSA lib %s:%d:(%s) %s", file ? file : "?", line, function ? function : "?", text);
}

}  // namespace

void AlsaMessages::sendToLog()
{
    snd_lib_error_set_handler(toLog);
}
