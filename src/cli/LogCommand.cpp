#include "cli/LogCommand.h"

#include "cli/Commands.h"
#include "cli/LogOutput.h"
#include "cli/LogSink.h"
#include "cli/RackLogger.h"
#include "cli/WideFormat.h"
#include "core/Text.h"
#include "racks/RackConfig.h"
#include "racks/YamlFile.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>

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
                if (!PrintableUtf8(rack.name)) {
                    throw CCommandFailure{{invocation.configFile + ": the name of " +
                                           rack.resource +
                                           " is not UTF-8 text without control characters"}};
                }
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
    const Clock::time_point forever = Clock::time_point::max();
    const Clock::time_point end = seconds
                                      ? Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                           std::chrono::duration<double>(*seconds))
                                      : forever;
    while (!done()) {
        const Clock::duration left =
            end == forever ? Clock::duration(std::chrono::hours(1)) : end - Clock::now();
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

std::string OutputHeader(OutputFormat format, const KindSet& kinds) {
    switch (format) {
    case OutputFormat::Csv:
        return CsvLine(SnapshotColumns()) + '\n';
    case OutputFormat::Wide:
        return CsvLine(WideColumns(kinds)) + '\n';
    default:
        return "";
    }
}

// How a file this log wrote begins: its CSV header, the first key of a JSON Lines record,
// the first column of a text table.
std::string OutputStart(OutputFormat format, const KindSet& kinds) {
    switch (format) {
    case OutputFormat::JsonLines:
        return "{\"resource\": ";
    case OutputFormat::Text:
        return SnapshotColumns().front() + ' ';
    default:
        return OutputHeader(format, kinds);
    }
}

// Unless --timeout says otherwise, a rack that stops answering is said so within about
// half an interval: at least 1 s, at most the driver's usual time-out.
int LogTimeOutMs(double intervalSeconds) {
    return static_cast<int>(
        std::clamp(intervalSeconds * 500.0, 1000.0, static_cast<double>(ksm7720::kDriverTimeOut)));
}

// Stops the racks' logs: each finishes the row it is reading, for at most half a second,
// and the rows queued are written and synced. A worker still inside a driver call then is
// never waited for: the process ends without it.
int EndLog(std::vector<std::unique_ptr<CRackLogger>>& loggers, CLogSink& sink, CLogOutput& output) {
    for (const auto& logger : loggers) {
        logger->Stop();
    }
    const auto deadline = CRackLogger::Clock::now() + std::chrono::milliseconds(500);
    bool ended = true;
    std::optional<std::string> failure;
    for (const auto& logger : loggers) {
        ended = logger->WaitEnded(deadline) && ended;
        if (logger->Failure()) {
            failure = "a rack's log ended on an unexpected failure";
        }
    }
    sink.Close();
    sink.EndProgress();
    if (const auto written = sink.Failure() ? sink.Failure() : output.Finish()) {
        failure = written;
    }
    if (!ended) {
        if (failure) {
            std::cerr << "ksm7720: " << *failure << '\n';
        }
        std::cout.flush();
        std::_Exit(failure ? kExitFailure : (std::cout ? 0 : kExitFailure));
    }
    loggers.clear();
    if (failure) {
        throw CCommandFailure{{*failure}};
    }
    return 0;
}

} // namespace

int RunLog(const Request& request, const Invocation& given, CDiscovery& discovery) {
    Invocation invocation = given;
    if (!invocation.formatChosen) {
        invocation.format = OutputFormat::Csv;
    }
    if (invocation.format == OutputFormat::Json) {
        throw CUsageError{"log writes text, csv, jsonl (one JSON document a line) or wide"};
    }
    if (!invocation.timeOutChosen) {
        invocation.timeOutMs = LogTimeOutMs(invocation.intervalSeconds);
    }
    const std::vector<RackTarget> targets = LogTargets(invocation);
    if (const auto unfit = UnfitOutput(invocation.output)) {
        throw CUsageError{*unfit};
    }
    CheckLibraries(discovery);
    CLogOutput output(invocation.output, OutputHeader(invocation.format, request.kinds),
                      OutputStart(invocation.format, request.kinds), invocation.syncSeconds);
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

    const auto wake = [] { ::kill(::getpid(), SIGUSR1); };
    const bool toFile = !invocation.output.empty() || ::isatty(STDOUT_FILENO) != 1;
    CLogSink sink(output, invocation.format, request.kinds, targets.size(),
                  toFile && ::isatty(STDERR_FILENO) == 1, wake);
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
            wake));
    }
    WaitForEnd(signals, invocation.durationSeconds, [&] {
        return sink.Failure() || std::all_of(loggers.begin(), loggers.end(),
                                             [](const auto& logger) { return logger->Done(); });
    });
    return EndLog(loggers, sink, output);
}
