#include "core/Discovery.h"

#include "core/StatusNames.h"
#include "core/Text.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace {

constexpr const char* kSearchExpression = "?*INSTR";
constexpr visa::ViByte kIdnQuery[] = {'*', 'I', 'D', 'N', '?'};
constexpr visa::ViUInt32 kIdnReplyMax = 100;
constexpr visa::ViUInt16 kManufacturerId = 3372;
constexpr visa::ViUInt16 kModelCode = 2861;
constexpr std::size_t kInstrSuffixLimit = 99; // "::INSTR" is cut only at positions 1..99

// A 16-bit attribute, read through a buffer wide enough for any attribute; nothing when
// the call does not answer with exactly 0.
std::optional<visa::ViUInt16> Attribute16(const visa::VisaEntryPoints& vi, visa::ViSession session,
                                          visa::ViAttr attribute) {
    std::array<unsigned char, visa::kAttrValueSize> value{};
    if (vi.getAttribute(session, attribute, value.data()) != visa::VI_SUCCESS) {
        return std::nullopt;
    }
    visa::ViUInt16 result = 0;
    std::memcpy(&result, value.data(), sizeof result); // the low 16 bits on this platform
    return result;
}

bool IdentifiesAsMainframe(const visa::VisaEntryPoints& vi, visa::ViSession session) {
    visa::ViUInt32 count = 0;
    if (vi.write(session, kIdnQuery, sizeof kIdnQuery, &count) < 0) {
        return false;
    }
    std::array<visa::ViByte, kIdnReplyMax> reply{};
    count = 0;
    if (vi.read(session, reply.data(), kIdnReplyMax, &count) < 0) {
        return false;
    }
    return IdentificationMatches(reply.data(), std::min<std::size_t>(count, reply.size()),
                                 kIdnPrefix);
}

bool IsMainframeCard(const visa::VisaEntryPoints& vi, visa::ViSession session) {
    const auto manufacturer = Attribute16(vi, session, visa::VI_ATTR_MANF_ID);
    if (!manufacturer) {
        return false;
    }
    const auto model = Attribute16(vi, session, visa::VI_ATTR_MODEL_CODE);
    return model && *model == kModelCode && *manufacturer == kManufacturerId;
}

// Opens the resource and asks "*IDN?" under the time-out; the first failing status, or
// VI_SUCCESS when it answered whatever it answered (the driver judges the answer).
visa::ViStatus AnswersWithin(const visa::VisaEntryPoints& vi, visa::SetAttributeFn setAttribute,
                             visa::ViSession rm, const std::string& resource,
                             visa::ViInt32 timeOutMs) {
    visa::ViSession session = 0;
    visa::ViStatus status = vi.open(rm, resource.c_str(), 0, 0, &session);
    if (status < 0) {
        return status;
    }
    status = setAttribute(session, visa::VI_ATTR_TMO_VALUE, static_cast<visa::ViUInt32>(timeOutMs));
    visa::ViUInt32 count = 0;
    if (status >= 0) {
        status = vi.write(session, kIdnQuery, sizeof kIdnQuery, &count);
    }
    std::array<visa::ViByte, kIdnReplyMax> reply{};
    if (status >= 0) {
        status = vi.read(session, reply.data(), kIdnReplyMax, &count);
    }
    vi.close(session);
    return std::min(status, visa::VI_SUCCESS);
}

// Opens the resource, looks at its interface and, with identify, its identity, and closes
// it again.
ResourceProbe ProbeResource(const visa::VisaEntryPoints& vi, visa::ViSession rm,
                            const char* descriptor, bool identify) {
    ResourceProbe probe{descriptor, std::nullopt, false};
    visa::ViSession session = 0;
    const visa::ViStatus opened = vi.open(rm, descriptor, 0, 0, &session);
    if (opened < 0) {
        return probe;
    }
    if (opened == visa::VI_SUCCESS) {
        probe.interfaceType = Attribute16(vi, session, visa::VI_ATTR_INTF_TYPE);
        if (probe.interfaceType && identify) {
            const visa::ViUInt16 type = *probe.interfaceType;
            if (type == visa::VI_INTF_GPIB) {
                probe.mainframe = IdentifiesAsMainframe(vi, session);
            } else if (type == visa::VI_INTF_VXI || type == visa::VI_INTF_GPIB_VXI) {
                probe.mainframe = IsMainframeCard(vi, session);
            }
        }
    }
    vi.close(session);
    return probe;
}

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

bool IdentificationMatches(const unsigned char* reply, std::size_t received,
                           std::string_view prefix) {
    return received >= prefix.size() && std::memcmp(reply, prefix.data(), prefix.size()) == 0;
}

int AutomaticChoice(const std::vector<std::string>& candidates, bool noIdentification) {
    if (noIdentification) {
        return -1;
    }
    if (candidates.size() == 1) {
        return 0;
    }
    int vxiCount = 0;
    int vxi = -1;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (candidates[i].find("VXI") != std::string::npos) {
            ++vxiCount;
            vxi = static_cast<int>(i);
        }
    }
    return vxiCount == 1 ? vxi : -1;
}

std::string InstrumentName(std::string_view resourceName) {
    std::string name = AsciiUpper(resourceName);
    const std::size_t at = name.find("::INSTR");
    if (at >= 1 && at <= kInstrSuffixLimit) {
        name.resize(at);
    }
    return name;
}

std::optional<std::vector<std::string>> FindResources(const visa::VisaEntryPoints& vi,
                                                      visa::ViSession rm) {
    std::array<char, visa::kFindBufLen> descriptor{};
    visa::ViFindList list = 0;
    visa::ViUInt32 matches = 0;
    if (vi.findRsrc(rm, kSearchExpression, &list, &matches, descriptor.data()) < 0) {
        return std::nullopt;
    }
    std::vector<std::string> found;
    for (visa::ViUInt32 i = 0; i < matches; ++i) {
        // A list that ends before its count says has nothing more; a sound library never
        // gets here, a broken one must not keep the search spinning.
        if (i > 0 && vi.findNext(list, descriptor.data()) < 0) {
            break;
        }
        descriptor.back() = '\0';
        found.emplace_back(descriptor.data());
    }
    vi.close(list);
    return found;
}

std::optional<std::vector<ResourceProbe>> ProbeResources(const visa::VisaEntryPoints& vi,
                                                         visa::ViSession rm, bool identify) {
    const auto found = FindResources(vi, rm);
    if (!found) {
        return std::nullopt;
    }
    std::vector<ResourceProbe> probes;
    for (const std::string& descriptor : *found) {
        probes.push_back(ProbeResource(vi, rm, descriptor.c_str(), identify));
    }
    return probes;
}

std::optional<std::vector<std::string>> FindCandidates(const visa::VisaEntryPoints& vi,
                                                       visa::ViSession rm, bool acceptAny) {
    const auto probes = ProbeResources(vi, rm, !acceptAny);
    if (!probes) {
        return std::nullopt;
    }
    return AcceptedCandidates(*probes, acceptAny);
}

std::vector<std::string> AcceptedCandidates(const std::vector<ResourceProbe>& probes,
                                            bool acceptAny) {
    std::vector<std::string> candidates;
    for (const ResourceProbe& probe : probes) {
        if (acceptAny ? probe.interfaceType.has_value() : probe.mainframe) {
            candidates.push_back(probe.descriptor);
        }
    }
    return candidates;
}

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
