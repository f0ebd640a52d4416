#include "framework/FrameworkModelObserver.h"

#include "debug/Debugging.h"

#include <cstring>

namespace edufrmwk {

FrameworkModelObserver::FrameworkModelObserver(const char* name, unsigned int flags)
    : mp_name(nullptr)
    , m_flags(flags)
{
    BRISOLA_ASSERT(name);
    BRISOLA_ASSERT(flags);
    const char* text = name ? name : "";
    mp_name = new char[std::strlen(text) + 1];
    std::strcpy(mp_name, text);
}

FrameworkModelObserver::~FrameworkModelObserver()
{
    delete[] mp_name;
}

}  // namespace edufrmwk
