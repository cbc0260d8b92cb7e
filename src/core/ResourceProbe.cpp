#include "core/ResourceProbe.h"

#include "core/ResourceSearch.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr visa::ViByte kIdnQuery[] = {'*', 'I', 'D', 'N', '?'};
constexpr visa::ViUInt32 kIdnReplyMax = 100;
constexpr visa::ViUInt16 kManufacturerId = 3372;
constexpr visa::ViUInt16 kModelCode = 2861;

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

// Opens the resource, looks at its interface and, with identify, its identity, and closes
// it again.
ResourceProbe ProbeResource(const visa::VisaEntryPoints& vi, visa::ViSession rm,
                            const std::string& descriptor, bool identify) {
    ResourceProbe probe{descriptor, std::nullopt, false};
    visa::ViSession session = 0;
    const visa::ViStatus opened = vi.open(rm, descriptor.c_str(), 0, 0, &session);
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

} // namespace

bool IdentificationMatches(const unsigned char* reply, std::size_t received,
                           std::string_view prefix) {
    return received >= prefix.size() && std::memcmp(reply, prefix.data(), prefix.size()) == 0;
}

std::optional<std::vector<ResourceProbe>> ProbeResources(const visa::VisaEntryPoints& vi,
                                                         visa::ViSession rm, bool identify) {
    // Each is probed while the find list is open, as the search returns it.
    std::vector<ResourceProbe> probes;
    if (!SearchResources(vi, rm, [&](const std::string& descriptor) {
            probes.push_back(ProbeResource(vi, rm, descriptor, identify));
        })) {
        return std::nullopt;
    }
    return probes;
}

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
