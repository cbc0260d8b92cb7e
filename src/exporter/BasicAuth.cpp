#include "exporter/BasicAuth.h"

#include "exporter/YamlFile.h"

#include <crypt.h>
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>

#include <array>
#include <cstring>
#include <memory>

namespace {

constexpr auto kPassedRemembered = std::chrono::minutes(1);
constexpr auto kFailedRemembered = std::chrono::seconds(10);
constexpr std::size_t kMaxRemembered = 256; // of each kind; then all are forgotten at once

void Wipe(std::string& text) {
    explicit_bzero(text.data(), text.size());
}

// password hashed with the setting in hash; empty when crypt refuses it.
std::string Hashed(const std::string& password, const std::string& hash) {
    const auto data = std::make_unique<crypt_data>(); // zeroed, as crypt_rn wants it
    const char* result = crypt_rn(password.c_str(), hash.c_str(), data.get(), sizeof *data);
    std::string hashed = result != nullptr && result[0] != '*' ? result : "";
    explicit_bzero(data.get(), sizeof *data); // crypt's work area holds the password
    return hashed;
}

bool SameInConstantTime(const std::string& a, const std::string& b) {
    unsigned char difference = a.size() == b.size() ? 0 : 1;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    }
    return difference == 0;
}

// The cost of "$2b$12$...": 12; 0 when it cannot be read.
int BcryptCost(const std::string& hash) {
    return hash.size() > 7 && hash[6] == '$' ? std::atoi(hash.substr(4, 2).c_str()) : 0;
}

bool Recalled(std::map<std::string, std::chrono::steady_clock::time_point>& remembered,
              const std::string& digest) {
    const auto found = remembered.find(digest);
    return found != remembered.end() && std::chrono::steady_clock::now() < found->second;
}

} // namespace

CBasicAuth::CBasicAuth(std::map<std::string, std::string> users) : m_users(std::move(users)) {
    for (const auto& [user, hash] : m_users) {
        if (hash.rfind("$2", 0) != 0 || Hashed("", hash).empty()) {
            throw CConfigError{"basic_auth_users: the hash of '" + user + "' is not bcrypt"};
        }
        if (m_decoy.empty() || BcryptCost(hash) > BcryptCost(m_decoy)) {
            m_decoy = hash;
        }
    }
    m_key.resize(32);
    if (gnutls_rnd(GNUTLS_RND_KEY, m_key.data(), m_key.size()) != 0) {
        throw CConfigError{"no random key for the password cache"};
    }
}

CBasicAuth::~CBasicAuth() {
    Wipe(m_key);
}

CBasicAuth::Verdict CBasicAuth::Recall(const std::string& user, const std::string& password) const {
    const auto digest = Digest(user, password);
    if (!digest) {
        return Verdict::Unknown;
    }
    const std::lock_guard lock(m_mutex);
    if (Recalled(m_passed, *digest)) {
        // Kept while it is in use: a scraper's pair never expires under its scrapes, which
        // would send every request in flight to bcrypt at once.
        m_passed[*digest] = Clock::now() + kPassedRemembered;
        return Verdict::Passed;
    }
    return Recalled(m_failed, *digest) ? Verdict::Refused : Verdict::Unknown;
}

bool CBasicAuth::Check(const std::string& user, const std::string& password) const {
    const auto found = m_users.find(user);
    const std::string& hash = found != m_users.end() ? found->second : m_decoy;
    const bool passed = SameInConstantTime(Hashed(password, hash), hash) && found != m_users.end();
    if (const auto digest = Digest(user, password)) {
        Remember(*digest, passed);
    }
    return passed;
}

std::optional<std::string> CBasicAuth::Digest(const std::string& user,
                                              const std::string& password) const {
    std::string text = user + '\0' + password;
    std::array<char, 32> digest{};
    const int status = gnutls_hmac_fast(GNUTLS_MAC_SHA256, m_key.data(), m_key.size(),
                                        text.data(), text.size(), digest.data());
    Wipe(text);
    if (status != 0) {
        return std::nullopt;
    }
    return std::string{digest.begin(), digest.end()};
}

void CBasicAuth::Remember(const std::string& digest, bool passed) const {
    const std::lock_guard lock(m_mutex);
    auto& remembered = passed ? m_passed : m_failed;
    if (remembered.size() >= kMaxRemembered) {
        remembered.clear();
    }
    remembered[digest] = Clock::now() + (passed ? Clock::duration(kPassedRemembered)
                                                : Clock::duration(kFailedRemembered));
    if (passed) {
        m_failed.erase(digest);
    }
}
