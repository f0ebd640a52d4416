#pragma once

#include "framework/UserInfo.h"

namespace edufrmwk {

// The session of the logged-in account; every record carries its account id.
class UserSession {
public:
    // Takes ownership of userInfo.
    explicit UserSession(UserInfo* userInfo);
    ~UserSession();
    UserSession(const UserSession&) = delete;
    UserSession& operator=(const UserSession&) = delete;

    UserInfo* getUserInfo() const { return mp_userInfo; }
    // 0 when the session has no account (only after an ignored assertion).
    int getUserId() const { return mp_userInfo ? mp_userInfo->getId() : 0; }

private:
    UserInfo* mp_userInfo;
};

}  // namespace edufrmwk
