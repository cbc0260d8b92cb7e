#pragma once
// HTTP basic authentication against bcrypt hashes ("htpasswd -B"). Every check does the same
// bcrypt work, known user or not, so a refusal's time does not tell which users exist; a
// pair is remembered as a keyed digest, so a scraper costs one check a minute.
#include "exporter/ExporterError.h"

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The users whose bcrypt hash has a cost under 10, which a stolen file gives up quickly
// (htpasswd -B makes cost 5 unless given -C).
std::vector<std::string> CheapHashUsers(const std::map<std::string, std::string>& users);

class CBasicAuth {
public:
    enum class Verdict { Passed, Refused, Unknown };

    // Throws CConfigError for a hash that is not bcrypt. Checks no password, so a reload of
    // many users is quick.
    explicit CBasicAuth(std::map<std::string, std::string> users);
    // After a reload: what previous remembers of a user whose hash is unchanged is kept.
    CBasicAuth(std::map<std::string, std::string> users, const CBasicAuth& previous);
    ~CBasicAuth();
    CBasicAuth(const CBasicAuth&) = delete;
    CBasicAuth& operator=(const CBasicAuth&) = delete;

    bool Enabled() const { return !m_users.empty(); }
    // What is remembered of the pair, without bcrypt: Unknown when only bcrypt can tell.
    Verdict Recall(const std::string& user, const std::string& password) const;
    // The bcrypt check, whose outcome is remembered.
    bool Check(const std::string& user, const std::string& password) const;
    // The hashes Check runs bcrypt on for user: one per configured cost, known user or not.
    std::vector<std::reference_wrapper<const std::string>>
    HashesChecked(const std::string& user) const;

private:
    using Clock = std::chrono::steady_clock;
    struct Memory {
        std::string user;
        Clock::time_point until;
    };
    using Memories = std::map<std::string, Memory>; // by digest

    std::optional<std::string> Digest(const std::string& user, const std::string& password) const;
    void Remember(const std::string& user, const std::string& digest, bool passed) const;
    std::optional<std::string> HashOf(const std::string& user) const;

    std::map<std::string, std::string> m_users;
    std::map<int, std::string> m_pads; // cost -> a configured hash of that cost
    std::string m_key;                 // this process's own key for the digests
    mutable std::mutex m_mutex;
    mutable Memories m_passed;
    mutable Memories m_failed;
};
