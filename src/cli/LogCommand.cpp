#include "cli/LogCommand.h"

#include "cli/Commands.h"
#include "cli/LogOutput.h"
#include "cli/LogSink.h"
#include "cli/RackLogger.h"
#include "core/Text.h"
#include "racks/RackConfig.h"
#include "racks/YamlFile.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>

namespace {

// The racks of the log: the rack list's, those after -a, or the one discovery chooses.
std::vector<RackTarget> LogTargets(const Invocation& invocation) {
    if (!invocation.configFile.empty()) {
        if (!invocation.resources.empty() || !invocation.name.empty()) {
            throw CUsageError{"--config.file names the racks: no -a or --name with it"};
        }
        try {
            std::vector<RackTarget> targets;
            for (const RackConfig& rack : LoadRackConfig(invocation.configFile)) {
                targets.push_back({rack.resource, rack.name, rack.errorQueue});
            }
            return targets;
        } catch (const CConfigError& error) {
            throw CCommandFailure{{error.message}};
        }
    }
    if (invocation.resources.size() > 1 && !invocation.name.empty()) {
        throw CUsageError{"--name names one rack; for several, name them in --config.file"};
    }
    std::vector<RackTarget> targets;
    for (const std::string& resource : invocation.resources) {
        targets.push_back({resource, invocation.name, invocation.errorQueue});
    }
    if (targets.empty()) {
        targets.push_back({"", invocation.name, invocation.errorQueue});
    }
    return targets;
}

// Waits for SIGINT or SIGTERM, the end of --duration, or a SIGUSR1 that says a rack's log
// ended (then asks done whether all did, or the output failed).
template <class Done>
void WaitForEnd(const sigset_t& signals, std::optional<double> seconds, Done done) {
    using Clock = std::chrono::steady_clock;
    const auto end =
        seconds ? std::optional(Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                   std::chrono::duration<double>(*seconds)))
                : std::nullopt;
    while (!done()) {
        const auto left = end ? *end - Clock::now() : std::chrono::hours(1);
        if (left <= Clock::duration::zero()) {
            return;
        }
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec wait{static_cast<time_t>(ns / 1000000000),
                            static_cast<long>(ns % 1000000000)};
        const int signal = ::sigtimedwait(&signals, nullptr, &wait);
        if (signal == SIGINT || signal == SIGTERM) {
            return;
        }
    }
}

std::string OutputHeader(OutputFormat format) {
    return format == OutputFormat::Csv ? CsvLine(SnapshotColumns()) + '\n' : "";
}

} // namespace

int RunLog(const Request& request, const Invocation& given, CDiscovery& discovery) {
    Invocation invocation = given;
    if (!invocation.formatChosen) {
        invocation.format = OutputFormat::Csv;
    }
    if (invocation.format == OutputFormat::Json) {
        throw CUsageError{"log writes text, csv or jsonl (one JSON document a line)"};
    }
    const std::vector<RackTarget> targets = LogTargets(invocation);
    const std::string header = OutputHeader(invocation.format);
    CLogOutput output(invocation.output, header,
                      invocation.format == OutputFormat::JsonLines ? "{" : header,
                      invocation.syncSeconds);
    // A file size limit ends writes with EFBIG, said as a failure, not a killed process.
    ::signal(SIGXFSZ, SIG_IGN);
    if (const auto failure = output.Open()) {
        throw CCommandFailure{{*failure}};
    }
    // Blocked before the workers start, so they inherit it: only this thread takes them.
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : {SIGINT, SIGTERM, SIGUSR1}) {
        sigaddset(&signals, signal);
    }
    ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    const bool toFile = !invocation.output.empty() || ::isatty(STDOUT_FILENO) != 1;
    CLogSink sink(output, invocation.format, targets.size(),
                  toFile && ::isatty(STDERR_FILENO) == 1);
    const auto start = CRackLogger::Clock::now();
    const auto interval = std::chrono::duration_cast<CRackLogger::Clock::duration>(
        std::chrono::duration<double>(invocation.intervalSeconds));
    std::vector<std::unique_ptr<CRackLogger>> loggers;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        auto link = std::make_unique<CRackLink>(targets[i], invocation, discovery, request.kinds);
        loggers.push_back(std::make_unique<CRackLogger>(
            std::move(link), start, interval, invocation.count,
            [&sink, i](const Snapshot& snapshot, const RackId& rack) {
                return sink.Take(i, snapshot, rack);
            },
            [] { ::kill(::getpid(), SIGUSR1); }));
    }
    WaitForEnd(signals, invocation.durationSeconds, [&] {
        return sink.Failure() || std::all_of(loggers.begin(), loggers.end(),
                                             [](const auto& logger) { return logger->Done(); });
    });
    for (const auto& logger : loggers) {
        logger->Stop();
    }
    loggers.clear(); // each finishes the row it is reading
    sink.EndProgress();
    std::optional<std::string> failure = sink.Failure();
    if (!failure) {
        failure = output.Finish();
    }
    if (failure) {
        throw CCommandFailure{{*failure}};
    }
    return 0;
}
