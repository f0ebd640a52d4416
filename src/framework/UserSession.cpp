#include "framework/UserSession.h"

#include "debug/Debugging.h"

namespace edufrmwk {

UserSession::UserSession(UserInfo* userInfo)
    : mp_userInfo(userInfo)
{
    BRISOLA_ASSERT(userInfo);
}

UserSession::~UserSession()
{
    delete mp_userInfo;
}

}  // namespace edufrmwk
