#include "core/ResourceChoice.h"

#include <array>

ResourceChoice ChooseResource(const CDiscovery& discovery, bool acceptAny) {
    ResourceChoice choice;
    const auto probes = ProbeResources(discovery.Visa(), discovery.ResourceManager(), !acceptAny);
    if (!probes) {
        return choice;
    }
    for (const ResourceProbe& probe : *probes) {
        if (!probe.interfaceType) {
            choice.unopened.push_back(probe.descriptor);
        }
    }
    choice.candidates = AcceptedCandidates(*probes, acceptAny);
    const int chosen = AutomaticChoice(choice.candidates, acceptAny);
    if (chosen >= 0) {
        choice.resource = choice.candidates[static_cast<std::size_t>(chosen)];
    }
    return choice;
}

std::string InterfaceName(const std::optional<visa::ViUInt16>& type) {
    static constexpr std::array<const char*, 8> kNames{"",     "GPIB", "VXI",   "GPIB-VXI",
                                                       "ASRL", "PXI",  "TCPIP", "USB"};
    if (!type) {
        return "unknown";
    }
    return *type < kNames.size() && *type > 0 ? kNames[*type] : std::to_string(*type);
}
