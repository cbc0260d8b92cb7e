#pragma once
// HTTP basic authentication against bcrypt hashes as "htpasswd -B" writes them, checked by
// the system's crypt library. A user that does not exist costs the same bcrypt work as one
// that does, so the time of an answer does not tell which users exist.
#include <map>
#include <string>

class CBasicAuth {
public:
    // Throws CConfigError for a hash that is not bcrypt or that crypt cannot use.
    explicit CBasicAuth(std::map<std::string, std::string> users);
    bool Enabled() const { return !m_users.empty(); }
    bool Check(const std::string& user, const std::string& password) const;

private:
    std::map<std::string, std::string> m_users;
    std::string m_decoy; // the hash an unknown user's password is checked against
};
