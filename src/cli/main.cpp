// ksm7720: the mainframe from a shell, a script or a monitoring system, through the same
// discovery, libraries and catalogue as the panel. Exit status 0 on success, 1 when the
// instrument or a library fails, 2 on a usage error, 3 when read finds its value over the
// limit.
#include "cli/CommandLine.h"
#include "cli/CommandTable.h"
#include "cli/Commands.h"
#include "core/LibrarySearch.h"

#include <exception>
#include <iostream>
#include <new>

namespace {

int Fail(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        std::cerr << "ksm7720: " << line << '\n';
    }
    return kExitFailure;
}

int Run(const Invocation& invocation) {
    const Request request = CheckRequest(invocation);
    CDiscovery discovery(core::VisaLibraryCandidates(core::ProcessEnvironment),
                         request.entry->needsDriver
                             ? core::DriverLibraryCandidates(core::ProcessEnvironment)
                             : std::vector<std::string>{});
    return request.entry->run(request, invocation, discovery);
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
    } catch (const std::bad_alloc&) {
        return Fail({"out of memory"});
    } catch (const std::exception& error) {
        return Fail({std::string("unexpected failure: ") + error.what()});
    } catch (...) {
        // Nothing leaves main as an exception: a script gets a status and a reason.
        return Fail({"unexpected failure"});
    }
}
