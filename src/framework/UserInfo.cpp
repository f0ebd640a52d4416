#include "framework/UserInfo.h"

#include "debug/Debugging.h"

#include <cstring>

namespace edufrmwk {

namespace {
char* copyText(const char* text)
{
    const char* source = text ? text : "";
    const size_t length = std::strlen(source);
    char* copy = new char[length + 1];
    std::memcpy(copy, source, length + 1);
    return copy;
}
}  // namespace

UserInfo::UserInfo(int id, const char* name, const char* password, Type type)
    : m_id(id)
    , mp_name(nullptr)
    , mp_password(nullptr)
    , m_type(type)
{
    BRISOLA_ASSERT(name);
    BRISOLA_ASSERT(password);
    mp_name = copyText(name);
    mp_password = copyText(password);
}

UserInfo::~UserInfo()
{
    delete[] mp_name;
    delete[] mp_password;
}

void UserInfo::setProperty(const char* name, const char* value)
{
    if (!name)
        return;
    m_properties[name] = value ? value : "";
}

}  // namespace edufrmwk
