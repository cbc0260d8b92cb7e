#include "core/Candidates.h"

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

std::optional<std::vector<std::string>> FindCandidates(const visa::VisaEntryPoints& vi,
                                                       visa::ViSession rm, bool acceptAny) {
    const auto probes = ProbeResources(vi, rm, !acceptAny);
    if (!probes) {
        return std::nullopt;
    }
    return AcceptedCandidates(*probes, acceptAny);
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
