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

CDriverInstrument* CSessionOpener::Session(std::optional<std::uint64_t> listed) {
    if (!m_instrument && !Open(listed)) {
        return nullptr;
    }
    return m_instrument.get();
}

bool CSessionOpener::Open(std::optional<std::uint64_t> listed) {
    if (listed && m_foreignIn == listed) {
        m_log.Write(LogLevel::Debug, "resource is not a mainframe (identified before)");
        m_step("not opened: identified before as another instrument");
        return false;
    }
    m_step("loading the VISA and driver libraries");
    m_discovery = std::make_unique<CDiscovery>(m_libraries.visa, m_libraries.driver);
    if (const auto failure = m_discovery->Open()) {
        const std::vector<std::string> lines = OpenFailureLines(*m_discovery, *failure);
        LogFields reasons;
        for (std::size_t i = 1; i < lines.size(); ++i) {
            reasons.emplace_back("reason", lines[i]);
        }
        m_log.Write(LogLevel::Error, lines.front(), reasons);
        m_step(lines.front());
        m_discovery.reset();
        return false;
    }
    m_step("opening " + m_resource + " with identification");
    auto connection = m_discovery->Connect(
        m_resource, {.timeOutMs = m_ioTimeOutMs, .identify = true, .openTimeOutMs = m_ioTimeOutMs});
    if (!connection.instrument) {
        const bool badDriver = connection.failure == DiscoveryFailure::BadDriver;
        Failed(badDriver ? LogLevel::Error : LogLevel::Info,
               badDriver ? "the driver library lacks an entry point"
                         : OpeningFailure(connection.status),
               connection.status, m_discovery->StatusText(connection.status));
        if (connection.status == VI_ERROR_FAIL_ID_QUERY) {
            m_foreignIn = listed; // asked once per search list, not on every probe
        }
        m_discovery.reset();
        return false;
    }
    m_instrument = std::move(connection.instrument);
    m_step("opened and identified as a mainframe: " + StatusWord(connection.status));
    // Without its I/O time-out a stalled call could hold the worker without end.
    if (connection.timeOutStatus < 0) {
        const char* text = m_instrument->GetStatusText(connection.timeOutStatus);
        Failed(LogLevel::Error, "the driver refused the I/O time-out", connection.timeOutStatus,
               text != nullptr ? text : "");
        Drop();
        return false;
    }
    return true;
}

void CSessionOpener::Failed(LogLevel level, std::string_view message, InstrumentStatus status,
                            const std::string& reason) {
    const LogFields fields = CRackLog::StatusFields(status, reason);
    m_log.Write(level, message, fields);
    m_step(std::string(message) + ": " + fields[0].second + " " + CLog::Value(fields[2].second));
}

void CSessionOpener::Drop() {
    if (m_instrument) {
        m_instrument->Close();
        m_instrument.reset();
        m_step("session closed");
    }
    m_discovery.reset();
}
