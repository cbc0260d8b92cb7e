// ksm7720: the mainframe from a shell, a script or a monitoring system, through the same
// discovery, libraries and catalogue as the panel. Exit status 0 on success, 1 when the
// instrument or a library fails, 2 on a usage error.
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Connection.h"
#include "cli/Metrics.h"
#include "cli/Request.h"
#include "core/LibrarySearch.h"

#include <iostream>

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int Fail(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        std::cerr << "ksm7720: " << line << '\n';
    }
    return kExitFailure;
}

int RunOnMainframe(const Request& request, const Invocation& invocation, CDiscovery& discovery) {
    Mainframe mainframe = ConnectMainframe(discovery, invocation);
    CDriverInstrument& instrument = *mainframe.instrument;
    try {
        const CommandResult result = RunCommand(request, instrument);
        if (result.table) {
            WriteTable(*result.table, invocation.format, std::cout);
        }
        return result.passed ? 0 : kExitFailure;
    } catch (const CInstrumentException&) {
        return Fail(FailureLines(instrument));
    }
}

int Run(const Invocation& invocation) {
    const Request request = CheckRequest(invocation);
    const auto visaNames = core::VisaLibraryCandidates(core::ProcessEnvironment);
    const bool list = request.command == Command::List; // needs no driver
    const auto driverNames =
        list ? std::vector<std::string>{} : core::DriverLibraryCandidates(core::ProcessEnvironment);
    if (request.command == Command::Metrics) {
        return RunMetrics(invocation, visaNames, driverNames, std::cout, std::cerr);
    }
    CDiscovery discovery(visaNames, driverNames);
    OpenDiscovery(discovery, visaNames, driverNames);
    if (list) {
        WriteTable(ListResources(discovery), invocation.format, std::cout);
        return 0;
    }
    return RunOnMainframe(request, invocation, discovery);
}

} // namespace

int main(int argc, char* argv[]) {
    try {
        const Invocation invocation =
            ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        int status = 0;
        if (invocation.help) {
            std::cout << UsageText() << '\n' << HelpText();
        } else if (invocation.version) {
            std::cout << "ksm7720 " << KSM7720_VERSION << '\n';
        } else {
            status = Run(invocation);
        }
        // Output a script cannot read is a failure, said as one.
        if (!std::cout.flush()) {
            return Fail({"could not write the output"});
        }
        return status;
    } catch (const CUsageError& error) {
        std::cerr << "ksm7720: " << error.message << '\n' << UsageText();
        return kExitUsage;
    } catch (const CCommandFailure& failure) {
        return Fail(failure.lines);
    }
}
