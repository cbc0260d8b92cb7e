#pragma once
// HTTP basic authentication against bcrypt hashes as "htpasswd -B" writes them, checked by
// the system's crypt library. A user that does not exist costs the same bcrypt work as one
// that does, so the time of an answer does not tell which users exist. A pair that passed
// is remembered for a minute (as a keyed digest, never in clear), so a scraper that sends
// it with every request costs one bcrypt check a minute, not one per scrape.
#include <chrono>
#include <map>
#include <mutex>
#include <string>

class CBasicAuth {
public:
    // Throws CConfigError for a hash that is not bcrypt or that crypt cannot use.
    explicit CBasicAuth(std::map<std::string, std::string> users);
    bool Enabled() const { return !m_users.empty(); }
    bool Check(const std::string& user, const std::string& password) const;

private:
    std::string Digest(const std::string& user, const std::string& password) const;
    bool Remembered(const std::string& digest) const;
    void Remember(const std::string& digest) const;

    std::map<std::string, std::string> m_users;
    std::string m_decoy; // the hash an unknown user's password is checked against
    std::string m_key;   // this process's own key for the digests
    mutable std::mutex m_mutex;
    mutable std::map<std::string, std::chrono::steady_clock::time_point> m_passed;
};
