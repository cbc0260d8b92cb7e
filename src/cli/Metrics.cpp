#include "cli/Metrics.h"

#include "cli/Connection.h"
#include "cli/FileReplacement.h"
#include "core/StatusNames.h"
#include "core/Text.h"
#include "metrics/RackExposition.h"

#include <chrono>
#include <sstream>

int RunMetrics(const Invocation& invocation, CDiscovery& discovery, std::ostream& out,
               std::ostream& err) {
    const auto start = std::chrono::steady_clock::now();
    RackLabels labels;
    labels.blowers = invocation.blowers;
    // The rack named after -a even when it cannot be reached; empty when discovery found none.
    labels.resource = AsciiUpper(invocation.resource);
    labels.rack = invocation.resource.empty() ? "" : InstrumentName(invocation.resource);
    // The unit ksm7720-metrics@RESOURCE passes its instance, the resource itself, as the
    // name: that names nothing the resource does not.
    if (AsciiUpper(invocation.name) != labels.resource) {
        labels.name = invocation.name;
    }
    ScrapeResult scrape;
    std::vector<std::string> failure;
    CMainframeSession session(discovery.VisaNames(), discovery.DriverNames(),
                              RackOptions(invocation, invocation.resource));
    try {
        OpenRack(session, err);
        labels.resource = session.Resource();
        labels.rack = InstrumentName(session.Resource());
        scrape = ScrapeFrom(session.Read(CSnapshotReader(ErrorQueueUse::Drain)));
        if (!scrape.up) {
            failure = {scrape.reason + " (status " + StatusHex(scrape.status) + ")"};
        }
    } catch (const CCommandFailure& reason) {
        failure = reason.lines;
    }
    scrape.durationSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // The whole exposition first, so a file is replaced by a complete one or not at all.
    std::ostringstream exposition;
    WriteRackExposition(scrape, labels, exposition);
    if (invocation.output.empty()) {
        out << exposition.view();
    } else if (const auto reason = ReplaceFile(invocation.output, exposition.view())) {
        failure.push_back("could not write " + invocation.output + ": " + *reason);
    }
    for (const std::string& entry : scrape.entryTexts) {
        err << "ksm7720: instrument reports error: " << entry << '\n';
    }
    for (const std::string& line : failure) {
        err << "ksm7720: " << line << '\n';
    }
    return failure.empty() ? 0 : kExitFailure;
}
