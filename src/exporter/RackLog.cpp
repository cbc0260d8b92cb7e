#include "exporter/RackLog.h"

#include "core/StatusNames.h"

void CRackLog::Write(LogLevel level, std::string_view message, const LogFields& fields) const {
    if (!m_log.Enabled(level)) {
        return;
    }
    std::string text = "target=" + CLog::Value(m_resource);
    for (const auto& [key, value] : fields) {
        text += ' ';
        text += key;
        text += '=' + CLog::Value(value);
    }
    m_log.Write(level, message, text);
}

LogFields CRackLog::StatusFields(InstrumentStatus status, std::string reason) {
    const char* name = StatusName(status);
    const std::string prefix = std::string(name != nullptr ? name : "") + ": ";
    if (name != nullptr && reason.compare(0, prefix.size(), prefix) == 0) {
        reason.erase(0, prefix.size());
    }
    return {{"status", name != nullptr ? name : "unknown"},
            {"code", StatusHex(status)},
            {"reason", std::move(reason)}};
}
