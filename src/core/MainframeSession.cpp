#include "core/MainframeSession.h"

#include "core/ResourceChoice.h"
#include "core/StatusNames.h"
#include "core/Text.h"

#include <algorithm>
#include <chrono>

namespace {

std::string Words(const std::string& text) {
    return text.empty() ? std::string() : ": " + text;
}

// A rack that could not be opened: one snapshot that is not up, with why.
Snapshot NotOpened(const COpenFailure& failure, WallTime began, ErrorQueueUse queue) {
    Snapshot snapshot;
    snapshot.time = began; // a slow opening still belongs to the interval it began in
    snapshot.queue = queue;
    snapshot.status = failure.status;
    snapshot.statusName = failure.status != 0 ? StatusWord(failure.status) : "OPEN_FAILED";
    snapshot.reason = JoinedLines(failure.lines);
    return snapshot;
}

} // namespace

COpenFailure LibraryFailure(const CDiscovery& discovery, DiscoveryFailure failure) {
    if (failure == DiscoveryFailure::ResourceManager) {
        return {OpenFailureKind::ResourceManager, OpenFailureLines(discovery, failure)};
    }
    COpenFailure library(OpenFailureKind::NoLibrary, OpenFailureLines(discovery, failure));
    library.names = failure == DiscoveryFailure::NoVisaLibrary ? discovery.VisaNames()
                                                               : discovery.DriverNames();
    return library;
}

std::string JoinedLines(const std::vector<std::string>& lines) {
    std::string joined;
    bool listing = false; // the lines after one that ends in ':' are its list
    for (const std::string& line : lines) {
        const bool listed = !joined.empty() && joined.back() == ':';
        joined += joined.empty() ? "" : listed ? " " : listing ? ", " : "; ";
        joined += line.substr(std::min(line.find_first_not_of(' '), line.size()));
        listing = listing || listed;
    }
    return joined;
}

CMainframeSession::CMainframeSession(std::vector<std::string> visaNames,
                                     std::vector<std::string> driverNames, SessionOptions options,
                                     StepHook step)
    : m_visaNames(std::move(visaNames)), m_driverNames(std::move(driverNames)),
      m_options(std::move(options)), m_step(std::move(step)),
      m_resource(AsciiUpper(m_options.resource)) {}

CMainframeSession::~CMainframeSession() {
    Close();
}

void CMainframeSession::Step(const std::string& step) const {
    if (m_step) {
        m_step(step);
    }
}

std::string CMainframeSession::ChosenResource(const CDiscovery& discovery) const {
    if (!m_options.resource.empty()) {
        return AsciiUpper(m_options.resource); // as the panel takes it after -a
    }
    const ResourceChoice choice = ChooseResource(discovery, m_options.acceptAny);
    if (choice.candidates.empty()) {
        std::vector<std::string> lines{"no KS M7720 mainframe found"};
        for (const std::string& descriptor : choice.unopened) {
            lines.push_back(descriptor + " did not open");
        }
        throw COpenFailure(OpenFailureKind::NoMainframe, lines);
    }
    if (choice.resource.empty()) {
        std::vector<std::string> lines{"the choice is not clear; name one of these:"};
        lines.insert(lines.end(), choice.candidates.begin(), choice.candidates.end());
        COpenFailure unclear(OpenFailureKind::UnclearChoice, lines);
        unclear.names = choice.candidates;
        throw unclear;
    }
    return choice.resource;
}

void CMainframeSession::ConnectFailed(const CDiscovery& discovery,
                                      const CDiscovery::Connection& connection) const {
    if (connection.failure == DiscoveryFailure::BadDriver) {
        throw COpenFailure(OpenFailureKind::BadDriver,
                           {"the instrument driver library lacks an entry point"});
    }
    const InstrumentStatus status = connection.status;
    const std::string text = discovery.StatusText(status);
    const std::string code = " (status " + StatusHex(status) + ")";
    if (status == VI_ERROR_FAIL_ID_QUERY) {
        throw COpenFailure(OpenFailureKind::NotAMainframe,
                           {m_resource + " is not a KS M7720 mainframe" + code}, status, text);
    }
    throw COpenFailure(OpenFailureKind::NotOpened,
                       {"could not open " + m_resource + Words(text) + code}, status, text);
}

CDriverInstrument& CMainframeSession::Open() {
    if (m_instrument) {
        return *m_instrument;
    }
    Step("loading the VISA and driver libraries");
    // A discovery connects once: every opening has its own.
    auto discovery = std::make_unique<CDiscovery>(m_visaNames, m_driverNames);
    if (const auto failure = discovery->Open()) {
        throw LibraryFailure(*discovery, *failure);
    }
    m_resource = ChosenResource(*discovery);
    Step("opening " + m_resource + " with identification");
    // The driver asks the resource who it is before anything else goes out: nothing is
    // ever sent to an instrument that is not a mainframe.
    auto connection = discovery->Connect(
        m_resource,
        {.timeOutMs = m_options.timeOutMs, .identify = true, .openTimeOutMs = m_options.timeOutMs});
    m_warning = connection.identificationUnbounded
                    ? "the VISA library lacks viSetAttribute: identification waited for the "
                      "driver's own time-out, not " +
                          std::to_string(m_options.timeOutMs) + " ms"
                    : "";
    if (!connection.instrument) {
        ConnectFailed(*discovery, connection);
    }
    m_discovery = std::move(discovery);
    m_instrument = std::move(connection.instrument);
    Step("opened and identified as a mainframe: " + StatusWord(connection.status));
    // Without its I/O time-out a stalled call could hold the caller without end.
    if (const InstrumentStatus status = connection.timeOutStatus; status < 0) {
        const char* text = m_instrument->GetStatusText(status);
        const std::string reason = text != nullptr ? text : "";
        Close();
        throw COpenFailure(OpenFailureKind::TimeOutRefused,
                           {"the driver refused the time-out of " +
                            std::to_string(m_options.timeOutMs) + " ms" + Words(reason) +
                            " (status " + StatusHex(status) + ")"},
                           status, reason);
    }
    return *m_instrument;
}

Snapshot CMainframeSession::Read(const CSnapshotReader& reader) {
    const WallTime began = std::chrono::system_clock::now();
    try {
        Open();
    } catch (const COpenFailure& failure) {
        return NotOpened(failure, began, reader.Use());
    }
    Snapshot snapshot = reader.Read(*m_instrument);
    if (!snapshot.up && !snapshot.cancelled) {
        Failed(snapshot.status);
    }
    return snapshot;
}

void CMainframeSession::Failed(InstrumentStatus status) {
    // The mainframe's own report says the link works; anything else may leave the driver's
    // session in any state (a reply still on its way, a dropped link).
    if (status != INSTRUMENT_ERROR_DETECTED) {
        Close();
    }
}

void CMainframeSession::Close() {
    if (m_instrument) {
        m_instrument->Close();
        m_instrument.reset();
        Step("session closed");
    }
    m_discovery.reset();
}
