#include "app/facades/ProgramRestart.h"

#include "debug/Debugging.h"

namespace {

ProgramRestart::Handler& handler()
{
    static ProgramRestart::Handler installed;
    return installed;
}

}  // namespace

void ProgramRestart::setHandler(Handler newHandler)
{
    handler() = std::move(newHandler);
}

bool ProgramRestart::hasHandler()
{
    return static_cast<bool>(handler());
}

bool ProgramRestart::request()
{
    if (!handler()) {
        LOG_ERROR("qml-course", "no restart handler installed; the program was not restarted");
        return false;
    }
    handler()();
    return true;
}
