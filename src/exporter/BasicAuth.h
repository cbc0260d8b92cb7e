#pragma once
// HTTP basic authentication against bcrypt hashes as "htpasswd -B" writes them, checked by
// the system's crypt library. A user that does not exist costs the same bcrypt work as the
// costliest one that does, so the time of an answer does not tell which users exist. A
// pair that passed is remembered until a minute passes without it, and one that failed
// for ten seconds (as keyed digests, never in clear), so a scraper that sends its pair
// with every request costs one bcrypt check, and a client that repeats a wrong one one
// per period, not one per request. A reload makes a new object, which remembers nothing. Without a digest (the digest call failed) nothing is remembered or recalled.
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>

class CBasicAuth {
public:
    enum class Verdict { Passed, Refused, Unknown };

    // Throws CConfigError for a hash that is not bcrypt or that crypt cannot use.
    explicit CBasicAuth(std::map<std::string, std::string> users);
    ~CBasicAuth();
    CBasicAuth(const CBasicAuth&) = delete;
    CBasicAuth& operator=(const CBasicAuth&) = delete;

    bool Enabled() const { return !m_users.empty(); }
    // What is remembered of the pair, without bcrypt: Unknown when only bcrypt can tell.
    Verdict Recall(const std::string& user, const std::string& password) const;
    // The bcrypt check, whose outcome is remembered.
    bool Check(const std::string& user, const std::string& password) const;

private:
    using Clock = std::chrono::steady_clock;

    std::optional<std::string> Digest(const std::string& user, const std::string& password) const;
    void Remember(const std::string& digest, bool passed) const;

    std::map<std::string, std::string> m_users;
    std::string m_decoy; // the costliest hash: an unknown user's password is checked against it
    std::string m_key;   // this process's own key for the digests
    mutable std::mutex m_mutex;
    mutable std::map<std::string, Clock::time_point> m_passed; // digest -> remembered until
    mutable std::map<std::string, Clock::time_point> m_failed;
};
