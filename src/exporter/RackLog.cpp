#include "exporter/RackLog.h"

#include "core/StatusNames.h"

void CRackLog::Write(LogLevel level, std::string_view message, const LogFields& fields) const {
    if (!m_log.Enabled(level)) {
        return;
    }
    LogFields named{{"target", m_resource}};
    named.insert(named.end(), fields.begin(), fields.end());
    m_log.Write(level, message, named);
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
