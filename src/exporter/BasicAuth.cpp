#include "exporter/BasicAuth.h"

#include "exporter/YamlFile.h"

#include <crypt.h>
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>

#include <array>
#include <memory>

namespace {

constexpr auto kRemembered = std::chrono::minutes(1);
constexpr std::size_t kMaxRemembered = 256; // then all are forgotten at once

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
    m_key.resize(32);
    if (gnutls_rnd(GNUTLS_RND_KEY, m_key.data(), m_key.size()) != 0) {
        throw CConfigError{"no random key for the password cache"};
    }
}

bool CBasicAuth::Check(const std::string& user, const std::string& password) const {
    const auto found = m_users.find(user);
    const std::string digest = Digest(user, password);
    if (found != m_users.end() && Remembered(digest)) {
        return true;
    }
    const std::string& hash = found != m_users.end() ? found->second : m_decoy;
    const bool same = SameInConstantTime(Hashed(password, hash), hash);
    if (found != m_users.end() && same) {
        Remember(digest);
        return true;
    }
    return false;
}

std::string CBasicAuth::Digest(const std::string& user, const std::string& password) const {
    const std::string text = user + '\0' + password;
    std::array<char, 32> digest{};
    gnutls_hmac_fast(GNUTLS_MAC_SHA256, m_key.data(), m_key.size(), text.data(), text.size(),
                     digest.data());
    return {digest.begin(), digest.end()};
}

bool CBasicAuth::Remembered(const std::string& digest) const {
    const std::lock_guard lock(m_mutex);
    const auto found = m_passed.find(digest);
    return found != m_passed.end() && std::chrono::steady_clock::now() < found->second;
}

void CBasicAuth::Remember(const std::string& digest) const {
    const std::lock_guard lock(m_mutex);
    if (m_passed.size() >= kMaxRemembered) {
        m_passed.clear();
    }
    m_passed[digest] = std::chrono::steady_clock::now() + kRemembered;
}
