// prometheus-ksm7720-exporter: KS M7720 mainframes for Prometheus over HTTP, one probe per
// scrape of a rack, through the same core, libraries and catalogue as ksm7720. It only
// reads: no reset, limit, save, message or history reset ever goes out. SIGHUP (and
// POST /-/reload with --web.enable-lifecycle) reads both configuration files again.
// Exit status 0 after SIGTERM or SIGINT or a clean --config.check, 1 when it cannot start
// or a file is wrong, 2 on a usage error.
#include "core/Discovery.h"
#include "core/LibrarySearch.h"
#include "exporter/BasicAuth.h"
#include "exporter/ExporterFlags.h"
#include "exporter/ExporterMetrics.h"
#include "exporter/HttpRules.h"
#include "exporter/HttpServer.h"
#include "exporter/RackSessions.h"
#include "exporter/TargetPolicy.h"
#include "exporter/WorkerPool.h"
#include "exporter/WorkerThread.h"
#include "racks/YamlFile.h"

#include <malloc.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <iostream>
#include <memory>
#include <mutex>

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// The driver's I/O time-out in each rack's session: one stalled call ends within it.
constexpr int kSessionIoTimeOutMs = 3000;
// The VISA search that decides which targets exist runs at most this often.
constexpr auto kSearchRefresh = std::chrono::seconds(5);
// glibc gives busy threads heaps of their own, each keeping what it once held: with a
// worker per rack and a pool of request workers the resident memory would creep up for
// minutes. Two heaps keep it flat at no cost in latency (the soak in docs/BENCH.md).
constexpr int kMallocArenas = 2;
// After SIGTERM the requests in flight have this long to be answered, and the server
// this much more to stop, so the process is gone well within systemd's time-out.
constexpr auto kStopGrace = std::chrono::seconds(4);
constexpr auto kStopMargin = std::chrono::milliseconds(500);

// Taken by the main thread alone with sigwait: blocked in every thread from the start.
sigset_t HandledSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGUSR2}) {
        sigaddset(&set, signal);
    }
    return set;
}

// The soft limit of open descriptors raised to the hard one, as Go programs do: every
// rack's session and every connection holds descriptors, and the soft 1,024 systemd gives
// would run out near a thousand racks. No select() anywhere, so a high number is safe.
void RaiseDescriptorLimit(CLog& log) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) {
        return;
    }
    const rlim_t given = limit.rlim_cur;
    limit.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
        log.Write(LogLevel::Warn, "the open file limit could not be raised",
                  {{"limit", std::to_string(given)}});
    }
}

// What the two files say, read and checked together (the TLS files as the server takes
// them, by LoadWebConfig; the password hashes are AuthFor's).
struct Configuration {
    WebConfig web;
    std::optional<std::vector<RackConfig>> racks; // nothing without --config.file
};

// A file that is wrong: which one, and the message (which names it, and its line).
struct FileError : CError {
    FileError(std::string path, std::string text)
        : CError(text), file(std::move(path)), message(std::move(text)) {}

    std::string file;
    std::string message;
};

// The message without the file's name in front: "line 3: ..." where it gives a line.
std::string Reason(const FileError& error) {
    const std::string& file = error.file;
    std::string reason = error.message.rfind(file + ":", 0) == 0
                             ? error.message.substr(file.size() + 1)
                             : error.message;
    const std::size_t digits = reason.find_first_not_of("0123456789");
    if (digits > 0 && digits != std::string::npos && reason[digits] == ':') {
        reason = "line " + reason.substr(0, digits) + reason.substr(digits);
    }
    const std::size_t text = reason.find_first_not_of(' ');
    return text == std::string::npos ? reason : reason.substr(text);
}

// The web configuration's users as requests are checked against them; a hash that cannot
// be used is a CConfigError naming the file.
std::unique_ptr<CBasicAuth> AuthFor(const ExporterFlags& flags, const WebConfig& web) {
    try {
        return std::make_unique<CBasicAuth>(web.users);
    } catch (const CConfigError& error) {
        throw CConfigError{flags.webConfigFile + ": " + error.message};
    }
}

// Both files read and checked; throws FileError.
Configuration LoadConfiguration(const ExporterFlags& flags, const Credentials& credentials = {}) {
    Configuration config;
    try {
        if (!flags.webConfigFile.empty()) {
            config.web = LoadWebConfig(flags.webConfigFile, credentials);
            AuthFor(flags, config.web);
        }
    } catch (const CConfigError& error) {
        throw FileError{flags.webConfigFile, error.message};
    }
    try {
        if (!flags.configFile.empty()) {
            config.racks = LoadRackConfig(flags.configFile);
        }
    } catch (const CConfigError& error) {
        throw FileError{flags.configFile, error.message};
    }
    return config;
}

// A warning for each user whose hash is cheap to break.
std::vector<std::string> CheapHashWarnings(const ExporterFlags& flags, const WebConfig& web) {
    std::vector<std::string> warnings;
    for (const std::string& user : CheapHashUsers(web.users)) {
        warnings.push_back(flags.webConfigFile + ": the bcrypt hash of '" + user +
                           "' has a cost under 10; make it with htpasswd -nbBC 10");
    }
    return warnings;
}

// Both files read again and applied together; a file that cannot be read or is wrong, or
// a change that needs a restart, changes nothing, and the log and /metrics say why.
ReloadOutcome Reload(const ExporterFlags& flags, CHttpServer& server, CTargetPolicy& policy,
                     CExporterMetrics& metrics, CLog& log) {
    try {
        Configuration config = LoadConfiguration(flags);
        try {
            server.SetWebConfig(config.web);
        } catch (const CConfigError& error) {
            throw FileError{flags.webConfigFile, flags.webConfigFile + ": " + error.message};
        }
        if (config.racks) {
            policy.Replace(std::move(*config.racks));
        }
        for (const std::string& warning : CheapHashWarnings(flags, config.web)) {
            log.Write(LogLevel::Warn, warning);
        }
    } catch (const FileError& error) {
        metrics.CountReload(false, error.file, Reason(error));
        log.Write(LogLevel::Error, "configuration not reloaded; the last one stays",
                  {{"reason", error.message}});
        return ReloadOutcome::Failed;
    }
    metrics.CountReload(true);
    log.Write(LogLevel::Info, "configuration reloaded");
    return ReloadOutcome::Reloaded;
}

// No new connections; probes waiting on a rack answer at once; requests in flight are
// answered. Then the process leaves without waiting for a rack's worker that is inside a
// driver call (a session's destructor would join it), and without waiting longer for a
// server that does not stop in time.
[[noreturn]] void StopAndExit(CHttpServer& server, CRackSessions& sessions, CLog& log) {
    const auto deadline = std::chrono::steady_clock::now() + kStopGrace;
    log.Write(LogLevel::Info, "stopping");
    sessions.Stop();
    std::promise<void> stopped;
    std::future<void> done = stopped.get_future();
    // Never joined: the process ends by _Exit whether the server stopped or not.
    const CWorkerThread stopper([&server, &stopped, deadline] {
        server.Stop(deadline);
        stopped.set_value();
    });
    if (done.wait_until(deadline + kStopMargin) == std::future_status::ready) {
        log.Write(LogLevel::Info, "stopped");
    } else {
        log.Write(LogLevel::Warn, "the server did not stop in time; leaving");
    }
    std::fflush(nullptr);
    std::_Exit(0);
}

int Serve(const ExporterFlags& flags, CLog& log) {
    const Configuration config = LoadConfiguration(flags);
    const std::unique_ptr<CBasicAuth> auth = AuthFor(flags, config.web);
    for (const std::string& warning : CheapHashWarnings(flags, config.web)) {
        log.Write(LogLevel::Warn, warning);
    }
    const LibraryNames libraries{core::VisaLibraryCandidates(core::ProcessEnvironment),
                                 core::DriverLibraryCandidates(core::ProcessEnvironment)};
    // Loads both libraries once to fail early, and searches with its resource manager.
    CDiscovery discovery(libraries.visa, libraries.driver);
    if (const auto failure = discovery.Open()) {
        const std::vector<std::string> lines = OpenFailureLines(discovery, *failure);
        LogFields reasons;
        for (std::size_t i = 1; i < lines.size(); ++i) {
            reasons.emplace_back("reason", lines[i]);
        }
        log.Write(LogLevel::Error, lines.front(), reasons);
        return kExitFailure;
    }
    CRackSessions sessions(libraries, kSessionIoTimeOutMs, log); // outlives the policy's watch
    std::unique_ptr<CTargetPolicy> policy;
    if (config.racks) {
        if (config.racks->empty()) {
            log.Write(LogLevel::Warn, "the rack list names no rack: every probe is refused",
                      {{"file", flags.configFile}});
        }
        policy = std::make_unique<CTargetPolicy>(*config.racks);
    } else {
        policy = std::make_unique<CTargetPolicy>(
            [&discovery] { return FindResources(discovery.Visa(), discovery.ResourceManager()); },
            kSearchRefresh);
    }
    policy->Watch([&sessions](const std::vector<RackConfig>& racks) { sessions.Retain(racks); });
    CExporterMetrics metrics(KSM7720_VERSION);
    std::optional<CHttpServer> server;
    // One reload at a time, from a signal or a request; another meanwhile is told so.
    std::mutex reloading;
    const auto reload = [&] {
        const std::unique_lock lock(reloading, std::try_to_lock);
        if (!lock.owns_lock()) {
            log.Write(LogLevel::Info, "reload asked while one runs; not queued");
            return ReloadOutcome::InProgress;
        }
        return Reload(flags, *server, *policy, metrics, log);
    };
    ServerOptions options{flags.listenAddress, flags.maxRequests, flags.timeOffsetSeconds,
                          config.web.tls, nullptr};
    if (flags.enableLifecycle) {
        options.reload = reload;
    }
    server.emplace(std::move(options), *policy, sessions, metrics, *auth, log);
    const std::string address = server->Start();
    log.Write(LogLevel::Info, "listening",
              {{"address", address}, {"tls", config.web.tls ? "true" : "false"}});
    // SIGHUP's reload runs here, so a stop never waits for one (a file may be slow to read);
    // one more may wait its turn, and it reads the files after every SIGHUP before it.
    CWorkerPool reloads(1, 1);
    const sigset_t handled = HandledSignals();
    for (int signal = 0; signal != SIGTERM && signal != SIGINT;) {
        sigwait(&handled, &signal);
        if (signal == SIGHUP) {
            reloads.TrySubmit([&reload] { reload(); });
        } else if (signal == SIGUSR1 || signal == SIGUSR2) {
            log.Write(LogLevel::Info, "signal ignored", {{"signal", sigabbrev_np(signal)}});
        }
    }
    StopAndExit(*server, sessions, log);
}

// --config.check: both files read and checked as a start or reload would; with a
// LoadCredential= drop-in, the web configuration's files read where it takes them from.
int CheckConfiguration(const ExporterFlags& flags) {
    try {
        const Credentials credentials =
            flags.credentialsFile.empty() ? Credentials{} : LoadCredentials(flags.credentialsFile);
        const Configuration config = LoadConfiguration(flags, credentials);
        for (const std::string& warning : CheapHashWarnings(flags, config.web)) {
            std::cerr << "prometheus-ksm7720-exporter: warning: " << warning << '\n';
        }
    } catch (const CConfigError& error) {
        std::cerr << "prometheus-ksm7720-exporter: " << error.message << '\n';
        return kExitFailure;
    } catch (const FileError& error) {
        std::cerr << "prometheus-ksm7720-exporter: " << error.message << '\n';
        return kExitFailure;
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    mallopt(M_ARENA_MAX, kMallocArenas);
    // Blocked before any thread starts, so only the main thread's sigwait ever takes them.
    const sigset_t handled = HandledSignals();
    pthread_sigmask(SIG_BLOCK, &handled, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    ExporterFlags flags;
    try {
        flags = ParseExporterFlags(std::vector<std::string>(argv + 1, argv + argc));
        ParseListenAddress(flags.listenAddress);
    } catch (const CFlagError& error) {
        std::cerr << "prometheus-ksm7720-exporter: " << error.message << '\n' << ExporterUsage();
        return kExitUsage;
    }
    if (flags.help || flags.version) {
        std::cout << (flags.help ? ExporterUsage()
                                 : "prometheus-ksm7720-exporter " KSM7720_VERSION "\n");
        return std::cout.flush() ? 0 : kExitFailure;
    }
    if (flags.configCheck) {
        return CheckConfiguration(flags);
    }
    CLog log(flags.logLevel);
    RaiseDescriptorLimit(log);
    try {
        return Serve(flags, log);
    } catch (const CError& error) {
        log.Write(LogLevel::Error, error.what());
    }
    return kExitFailure;
}
