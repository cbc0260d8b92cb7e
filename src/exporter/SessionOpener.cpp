#include "exporter/SessionOpener.h"

#include "core/StatusNames.h"

#include <array>
#include <cstring>

namespace {

// What a failed opening means, told apart for the log, by the status's name.
const char* OpeningFailure(InstrumentStatus status) {
    static constexpr std::array<std::pair<const char*, const char*>, 7> kMeanings{{
        {"VI_ERROR_TMO", "rack did not answer in time while it was opened"},
        {"VI_ERROR_RSRC_NFOUND", "rack not found"},
        {"VI_ERROR_INV_RSRC_NAME", "rack not found"},
        {"VI_ERROR_RSRC_LOCKED", "rack refused the connection"},
        {"VI_ERROR_RSRC_BUSY", "rack refused the connection"},
        {"VI_ERROR_CONN_LOST", "rack refused the connection"},
        {"VI_ERROR_FAIL_ID_QUERY",
         "resource is not a mainframe: it identified as another instrument"},
    }};
    const char* name = StatusName(status);
    for (const auto& [known, meaning] : kMeanings) {
        if (name != nullptr && std::strcmp(name, known) == 0) {
            return meaning;
        }
    }
    return "rack did not open";
}

} // namespace

CMainframeSession* CSessionOpener::Session(std::optional<std::uint64_t> listed) {
    if (m_session.IsOpen()) {
        return &m_session;
    }
    if (listed && m_foreignIn == listed) {
        m_log.Write(LogLevel::Debug, "resource is not a mainframe (identified before)");
        m_step("not opened: identified before as another instrument");
        return nullptr;
    }
    try {
        m_session.Open();
    } catch (const COpenFailure& failure) {
        Failed(failure);
        if (failure.kind == OpenFailureKind::NotAMainframe) {
            m_foreignIn = listed; // asked once per search list, not on every probe
        }
        return nullptr;
    }
    if (!m_session.Warning().empty()) {
        m_log.Write(LogLevel::Warn, m_session.Warning());
    }
    return &m_session;
}

void CSessionOpener::Failed(const COpenFailure& failure) {
    const bool rack = failure.kind == OpenFailureKind::NotAMainframe ||
                      failure.kind == OpenFailureKind::NotOpened;
    if (!rack && failure.status == 0) {
        // The libraries or the driver: the same for every rack, and the operator's to mend.
        LogFields reasons;
        for (std::size_t i = 1; i < failure.lines.size(); ++i) {
            reasons.emplace_back("reason", failure.lines[i]);
        }
        m_log.Write(LogLevel::Error, failure.lines.front(), reasons);
        m_step(failure.lines.front());
        return;
    }
    const std::string message =
        rack ? OpeningFailure(failure.status) : "the driver refused the I/O time-out";
    const LogFields fields = CRackLog::StatusFields(failure.status, failure.reason);
    m_log.Write(rack ? LogLevel::Info : LogLevel::Error, message, fields);
    m_step(message + ": " + fields[0].second + " " + CLog::Value(fields[2].second));
}
