#include "exporter/BasicAuth.h"

#include <crypt.h>
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace {

constexpr auto kPassedRemembered = std::chrono::minutes(1);
constexpr auto kFailedRemembered = std::chrono::seconds(10);
constexpr std::size_t kMaxRemembered = 256; // of each kind; then all are forgotten at once
constexpr std::size_t kBcryptLength = 60;   // "$2b$" cost '$' salt and checksum
constexpr const char* kBcryptAlphabet =
    "./ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

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

// The cost of "$2b$12$...": 12.
int BcryptCost(const std::string& hash) {
    return (hash[4] - '0') * 10 + (hash[5] - '0');
}

// "$2a$", "$2b$" or "$2y$", a cost of 04 to 31, then 53 characters of bcrypt's base64.
bool WellFormedBcrypt(const std::string& hash) {
    if (hash.size() != kBcryptLength || hash.compare(0, 2, "$2") != 0 ||
        std::strchr("aby", hash[2]) == nullptr || hash[3] != '$' || hash[6] != '$' ||
        !std::isdigit(static_cast<unsigned char>(hash[4])) ||
        !std::isdigit(static_cast<unsigned char>(hash[5]))) {
        return false;
    }
    const int cost = BcryptCost(hash);
    return cost >= 4 && cost <= 31 &&
           hash.find_first_not_of(kBcryptAlphabet, 7) == std::string::npos &&
           crypt_checksalt(hash.c_str()) == CRYPT_SALT_OK;
}

template <typename Memories> bool Recalled(const Memories& remembered, const std::string& digest) {
    const auto found = remembered.find(digest);
    return found != remembered.end() && std::chrono::steady_clock::now() < found->second.until;
}

} // namespace

CBasicAuth::CBasicAuth(std::map<std::string, std::string> users) : m_users(std::move(users)) {
    for (const auto& [user, hash] : m_users) {
        if (!WellFormedBcrypt(hash)) {
            throw CConfigError{"basic_auth_users: the hash of '" + user + "' is not bcrypt"};
        }
        m_pads.emplace(BcryptCost(hash), hash);
    }
    m_key.resize(32);
    if (gnutls_rnd(GNUTLS_RND_KEY, m_key.data(), m_key.size()) != 0) {
        throw CConfigError{"no random key for the password cache"};
    }
}

CBasicAuth::CBasicAuth(std::map<std::string, std::string> users, const CBasicAuth& previous)
    : CBasicAuth(std::move(users)) {
    const std::lock_guard lock(previous.m_mutex);
    m_key = previous.m_key; // the digests it remembers stay valid
    for (const auto& [from, to] :
         {std::pair{&previous.m_passed, &m_passed}, std::pair{&previous.m_failed, &m_failed}}) {
        for (const auto& [digest, memory] : *from) {
            if (HashOf(memory.user) == previous.HashOf(memory.user)) {
                to->emplace(digest, memory);
            }
        }
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
        m_passed[*digest].until = Clock::now() + kPassedRemembered;
        return Verdict::Passed;
    }
    return Recalled(m_failed, *digest) ? Verdict::Refused : Verdict::Unknown;
}

bool CBasicAuth::Check(const std::string& user, const std::string& password) const {
    const auto own = m_users.find(user);
    bool passed = false;
    for (const std::string& hash : HashesChecked(user)) {
        const bool same = SameInConstantTime(Hashed(password, hash), hash);
        passed = passed || (same && own != m_users.end() && &hash == &own->second);
    }
    if (const auto digest = Digest(user, password)) {
        Remember(user, *digest, passed);
    }
    return passed;
}

std::vector<std::reference_wrapper<const std::string>>
CBasicAuth::HashesChecked(const std::string& user) const {
    const auto own = m_users.find(user);
    std::vector<std::reference_wrapper<const std::string>> hashes;
    for (const auto& [cost, pad] : m_pads) {
        const bool mine = own != m_users.end() && BcryptCost(own->second) == cost;
        hashes.emplace_back(mine ? own->second : pad);
    }
    return hashes;
}

std::optional<std::string> CBasicAuth::Digest(const std::string& user,
                                              const std::string& password) const {
    std::string text = user + '\0' + password;
    std::array<char, 32> digest{};
    const int status = gnutls_hmac_fast(GNUTLS_MAC_SHA256, m_key.data(), m_key.size(), text.data(),
                                        text.size(), digest.data());
    Wipe(text);
    if (status != 0) {
        return std::nullopt;
    }
    return std::string{digest.begin(), digest.end()};
}

void CBasicAuth::Remember(const std::string& user, const std::string& digest, bool passed) const {
    const std::lock_guard lock(m_mutex);
    auto& remembered = passed ? m_passed : m_failed;
    if (remembered.size() >= kMaxRemembered) {
        remembered.clear();
    }
    remembered[digest] = {user, Clock::now() + (passed ? Clock::duration(kPassedRemembered)
                                                       : Clock::duration(kFailedRemembered))};
    if (passed) {
        m_failed.erase(digest);
    }
}

std::optional<std::string> CBasicAuth::HashOf(const std::string& user) const {
    const auto found = m_users.find(user);
    return found != m_users.end() ? std::optional(found->second) : std::nullopt;
}

std::vector<std::string> CheapHashUsers(const std::map<std::string, std::string>& users) {
    constexpr int kLeastCost = 10;
    std::vector<std::string> cheap;
    for (const auto& [user, hash] : users) {
        if (hash.size() > 6 && BcryptCost(hash) < kLeastCost) {
            cheap.push_back(user);
        }
    }
    return cheap;
}
