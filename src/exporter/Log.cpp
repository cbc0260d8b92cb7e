#include "exporter/Log.h"

#include <array>
#include <cstdio>
#include <ctime>

namespace {

std::string Now() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::array<char, 32> text{};
    std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text.data();
}

} // namespace

void CLog::Write(LogLevel level, std::string_view message, const LogFields& fields) {
    if (!Enabled(level)) {
        return;
    }
    std::string line = "ts=" + Now() +
                       " level=" + kLogLevels[static_cast<std::size_t>(level)].first +
                       " msg=" + Value(message);
    for (const auto& [key, value] : fields) {
        line.append(" ").append(key).append("=").append(Value(value));
    }
    line += '\n';
    const std::lock_guard lock(s_mutex);
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

std::string CLog::Value(std::string_view value) {
    if (!value.empty() && value.find_first_of(" \"=\\\n") == std::string_view::npos) {
        return std::string(value);
    }
    std::string quoted = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        }
        quoted += c == '\n' ? ' ' : c;
    }
    return quoted + '"';
}
