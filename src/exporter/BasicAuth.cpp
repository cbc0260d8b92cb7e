#include "exporter/BasicAuth.h"

#include "exporter/YamlFile.h"

#include <crypt.h>

#include <memory>

namespace {

// password hashed with the setting in hash; empty when crypt refuses it.
std::string Hashed(const std::string& password, const std::string& hash) {
    const auto data = std::make_unique<crypt_data>(); // zeroed, as crypt_rn wants it
    const char* result = crypt_rn(password.c_str(), hash.c_str(), data.get(), sizeof *data);
    return result != nullptr && result[0] != '*' ? result : "";
}

bool SameInConstantTime(const std::string& a, const std::string& b) {
    unsigned char difference = a.size() == b.size() ? 0 : 1;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    }
    return difference == 0;
}

} // namespace

CBasicAuth::CBasicAuth(std::map<std::string, std::string> users) : m_users(std::move(users)) {
    for (const auto& [user, hash] : m_users) {
        if (hash.rfind("$2", 0) != 0 || Hashed("", hash).empty()) {
            throw CConfigError{"basic_auth_users: the hash of '" + user + "' is not bcrypt"};
        }
    }
    if (!m_users.empty()) {
        m_decoy = m_users.begin()->second;
    }
}

bool CBasicAuth::Check(const std::string& user, const std::string& password) const {
    const auto found = m_users.find(user);
    const std::string& hash = found != m_users.end() ? found->second : m_decoy;
    const bool same = SameInConstantTime(Hashed(password, hash), hash);
    return found != m_users.end() && same;
}
