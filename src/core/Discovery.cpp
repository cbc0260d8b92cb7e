#include "core/Discovery.h"

#include "core/ResourceProbe.h"
#include "core/StatusNames.h"

#include <array>
#include <utility>

namespace {

void FreeLibrary(platform::LibraryHandle& library) {
    platform::FreeLibrary(library);
    library = nullptr;
}

// The first of names that loads, or nullptr; the loader's reason for each that does not.
platform::LibraryHandle LoadFirst(const std::vector<std::string>& names,
                                  std::vector<std::string>& reasons,
                                  platform::LoadMode mode = platform::LoadMode::Unmappable) {
    for (const std::string& name : names) {
        if (platform::LibraryHandle library = platform::LoadLibrary(name.c_str(), mode)) {
            return library;
        }
        reasons.emplace_back(platform::LoadLibraryError());
    }
    return nullptr;
}

} // namespace

CDiscovery::CDiscovery(std::vector<std::string> visaNames, std::vector<std::string> driverNames)
    : m_visaNames(std::move(visaNames)), m_driverNames(std::move(driverNames)) {}

CDiscovery::~CDiscovery() {
    if (m_rmOpen) {
        m_vi.close(m_rm);
    }
    FreeLibrary(m_driverLibrary);
    FreeLibrary(m_visaLibrary);
}

std::optional<DiscoveryFailure> CDiscovery::Open() {
    m_visaLibrary = LoadFirst(m_visaNames, m_loadErrors);
    if (m_visaLibrary == nullptr) {
        return DiscoveryFailure::NoVisaLibrary;
    }
    m_driverLibrary = LoadFirst(m_driverNames, m_loadErrors, platform::LoadMode::KeepMapped);
    if (m_driverLibrary == nullptr && !m_driverNames.empty()) {
        return DiscoveryFailure::NoDriverLibrary;
    }
    if (!visa::LookUpVisaEntryPoints(m_visaLibrary, m_vi)) {
        return DiscoveryFailure::NoVisaLibrary;
    }
    if (m_vi.openDefaultRM(&m_rm) < 0) {
        return DiscoveryFailure::ResourceManager;
    }
    m_rmOpen = true;
    return std::nullopt;
}

CDiscovery::Connection CDiscovery::Connect(const std::string& resourceName,
                                           const ConnectOptions& options) {
    Connection connection;
    const auto init = platform::GetProc<ksm7720::InitFn>(m_driverLibrary, "ksm7720_init");
    const auto timeOut = platform::GetProc<ksm7720::TimeOutFn>(m_driverLibrary, "ksm7720_timeOut");
    // A driver without the two entry points it is opened with is as bad as one missing any
    // other, rather than a call through a null pointer.
    if (init == nullptr || timeOut == nullptr) {
        connection.failure = DiscoveryFailure::BadDriver;
        return connection;
    }
    const auto setAttribute =
        platform::GetProc<visa::SetAttributeFn>(m_visaLibrary, "viSetAttribute");
    connection.identificationUnbounded =
        options.identify && options.openTimeOutMs && setAttribute == nullptr;
    if (options.identify && options.openTimeOutMs && setAttribute != nullptr) {
        connection.status =
            AnswersWithin(m_vi, setAttribute, m_rm, resourceName, *options.openTimeOutMs);
        if (connection.status < 0) {
            return connection;
        }
    }
    std::string name = resourceName; // the driver takes a writable text
    ksm7720::ViSession handle = 0;
    connection.status = init(name.data(), options.identify ? visa::VI_TRUE : visa::VI_FALSE,
                             options.reset ? visa::VI_TRUE : visa::VI_FALSE, &handle);
    if (connection.status < 0) {
        connection.failure = DiscoveryFailure::InitFailed;
        return connection;
    }
    connection.timeOutStatus = timeOut(handle, options.timeOutMs);
    try {
        connection.instrument = std::make_unique<CDriverInstrument>(handle, m_driverLibrary);
        m_driverLibrary = nullptr; // the instrument owns it now
    } catch (const CInstrumentException&) {
        connection.failure = DiscoveryFailure::BadDriver;
        if (const auto close =
                platform::GetProc<ksm7720::CloseFn>(m_driverLibrary, "ksm7720_close")) {
            close(handle);
        }
    }
    return connection;
}

std::vector<std::string> OpenFailureLines(const CDiscovery& discovery, DiscoveryFailure failure) {
    const auto joined = [](const std::vector<std::string>& names) {
        std::string text;
        for (const std::string& name : names) {
            text += (text.empty() ? "" : ", ") + name;
        }
        return text;
    };
    std::vector<std::string> lines;
    switch (failure) {
    case DiscoveryFailure::NoVisaLibrary:
        lines.push_back("no usable VISA library; tried: " + joined(discovery.VisaNames()));
        break;
    case DiscoveryFailure::NoDriverLibrary:
        lines.push_back("no instrument driver library; tried: " + joined(discovery.DriverNames()));
        break;
    default:
        return {"the VISA default resource manager did not open"};
    }
    for (const std::string& reason : discovery.LoadErrors()) {
        if (reason.find("No such file or directory") == std::string::npos) {
            lines.push_back(reason);
        }
    }
    return lines;
}

std::string CDiscovery::StatusText(visa::ViStatus status) const {
    if (const char* text = DriverStatusText(status)) {
        return std::string(StatusName(status)) + ": " + text;
    }
    const auto describe = platform::GetProc<visa::StatusDescFn>(m_visaLibrary, "viStatusDesc");
    std::array<char, visa::kFindBufLen> text{};
    if (!m_rmOpen || describe == nullptr || describe(m_rm, status, text.data()) < 0) {
        return {};
    }
    text.back() = '\0';
    return text.data();
}
