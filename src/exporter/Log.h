#pragma once
// The exporter's log on standard error, one logfmt line per event, from any thread.
#include <array>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

enum class LogLevel { Debug, Info, Warn, Error };

// Each level's name, in the order of the levels.
constexpr std::array<std::pair<const char*, LogLevel>, 4> kLogLevels{{
    {"debug", LogLevel::Debug},
    {"info", LogLevel::Info},
    {"warn", LogLevel::Warn},
    {"error", LogLevel::Error},
}};

class CLog {
public:
    explicit CLog(LogLevel level = LogLevel::Info) : m_level(level) {}
    // fields: further logfmt pairs, already written (key=value ...).
    void Write(LogLevel level, std::string_view message, std::string_view fields = {});
    bool Enabled(LogLevel level) const { return level >= m_level; }
    // value as a logfmt value: quoted when it holds a space, a quote or an equals sign.
    static std::string Value(std::string_view value);

private:
    LogLevel m_level;
    std::mutex m_mutex; // last in the exporter's lock order: nothing is called under it
};
