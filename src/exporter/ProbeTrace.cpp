#include "exporter/ProbeTrace.h"

#include "exporter/RackSession.h"

#include <array>
#include <cstdio>

void CProbeTrace::Step(const std::string& step) {
    std::array<char, 32> time{};
    std::snprintf(time.data(), time.size(), "%8.3fs ",
                  std::chrono::duration<double>(Clock::now() - m_start).count());
    m_text += time.data() + step + '\n';
}

std::string TracedProbe(CRackSession& session, const std::string& resource,
                        CProbeTrace::Clock::time_point start,
                        CProbeTrace::Clock::time_point deadline) {
    CProbeTrace trace(start);
    trace.Step(
        "probe of " + resource + ", " +
        std::to_string(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - start).count()) +
        " ms to answer");
    const ScrapeResult result = session.Probe(deadline, &trace);
    trace.Step(result.up ? "ksm7720_up 1: " + std::to_string(result.readings.size()) +
                               " readings, " + std::to_string(result.dropped) + " dropped, " +
                               std::to_string(result.entryTexts.size()) + " queue entries"
                         : std::string("ksm7720_up 0"));
    return trace.Text();
}
