#pragma once

#include <map>
#include <string>

namespace edufrmwk {

// A learner account as stored in the users table, with its optional properties.
class UserInfo {
public:
    enum Type { User = 0, Administrator = 1 };
    using Properties = std::map<std::string, std::string>;

    UserInfo(int id, const char* name, const char* password, Type type);
    ~UserInfo();
    UserInfo(const UserInfo&) = delete;
    UserInfo& operator=(const UserInfo&) = delete;

    void setProperty(const char* name, const char* value);

    int getId() const { return m_id; }
    const char* getName() const { return mp_name; }
    const char* getPassword() const { return mp_password; }
    Type getType() const { return m_type; }
    const Properties& getProperties() const { return m_properties; }

private:
    int m_id;
    char* mp_name;
    char* mp_password;
    Type m_type;
    Properties m_properties;
};

}  // namespace edufrmwk
