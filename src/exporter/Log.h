#pragma once
// The exporter's log on standard error, one logfmt line per event, from any thread: every
// line is written by Write from a message and its key-value pairs, never built by hand.
#include <array>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class LogLevel { Debug, Info, Warn, Error };

// Each level's name, in the order of the levels.
constexpr std::array<std::pair<const char*, LogLevel>, 4> kLogLevels{{
    {"debug", LogLevel::Debug},
    {"info", LogLevel::Info},
    {"warn", LogLevel::Warn},
    {"error", LogLevel::Error},
}};

// key=value pairs after a line's message, in their order; values are quoted as needed.
using LogFields = std::vector<std::pair<std::string_view, std::string>>;

class CLog {
public:
    explicit CLog(LogLevel level = LogLevel::Info) : m_level(level) {}
    void Write(LogLevel level, std::string_view message, const LogFields& fields = {});
    bool Enabled(LogLevel level) const { return level >= m_level; }
    // value as a logfmt value: quoted when it holds a space, a quote or an equals sign.
    static std::string Value(std::string_view value);

private:
    LogLevel m_level;
    static inline std::mutex s_mutex; // one standard error for every log; last in the exporter's
                                      // lock order: nothing is called under it
};
