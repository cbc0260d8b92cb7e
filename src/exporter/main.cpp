// prometheus-ksm7720-exporter: KS M7720 mainframes for Prometheus over HTTP, one probe per
// scrape of a rack, through the same core, libraries and catalogue as ksm7720. It only
// reads: no reset, limit, save, message or history reset ever goes out. Exit status 0
// after SIGTERM or SIGINT, 1 when it cannot start, 2 on a usage error.
#include "core/Discovery.h"
#include "core/LibrarySearch.h"
#include "exporter/BasicAuth.h"
#include "exporter/ExporterFlags.h"
#include "exporter/ExporterMetrics.h"
#include "exporter/HttpRules.h"
#include "exporter/HttpServer.h"
#include "exporter/RackSessions.h"
#include "exporter/TargetPolicy.h"
#include "exporter/YamlFile.h"

#include <malloc.h>

#include <csignal>
#include <iostream>
#include <memory>

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

const char* DiscoveryFailureText(DiscoveryFailure failure) {
    switch (failure) {
    case DiscoveryFailure::NoVisaLibrary:
        return "no usable VISA library";
    case DiscoveryFailure::NoDriverLibrary:
        return "no instrument driver library";
    default:
        return "the VISA default resource manager did not open";
    }
}

// Waits for SIGTERM or SIGINT, which every thread has blocked since the start.
void WaitForStop(const sigset_t& stop) {
    int signal = 0;
    sigwait(&stop, &signal);
}

int Serve(const ExporterFlags& flags, CLog& log) {
    const WebConfig web = flags.webConfigFile.empty() ? WebConfig{} : LoadWebConfig(flags.webConfigFile);
    const CBasicAuth auth(web.users);
    const LibraryNames libraries{core::VisaLibraryCandidates(core::ProcessEnvironment),
                                 core::DriverLibraryCandidates(core::ProcessEnvironment)};
    // Loads both libraries once to fail early, and searches with its resource manager.
    CDiscovery discovery(libraries.visa, libraries.driver);
    if (const auto failure = discovery.Open()) {
        log.Write(LogLevel::Error, DiscoveryFailureText(*failure));
        return kExitFailure;
    }
    std::unique_ptr<CTargetPolicy> policy;
    if (flags.configFile.empty()) {
        policy = std::make_unique<CTargetPolicy>(
            [&discovery] { return SearchInstruments(discovery.Visa(), discovery.ResourceManager()); },
            kSearchRefresh);
    } else {
        policy = std::make_unique<CTargetPolicy>(LoadRackConfig(flags.configFile));
    }
    CRackSessions sessions(libraries, kSessionIoTimeOutMs, log);
    CExporterMetrics metrics(KSM7720_VERSION);
    CHttpServer server({flags.listenAddress, flags.maxRequests, flags.timeOffsetSeconds, web.tls, {}},
                       *policy, sessions, metrics, auth, log);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    const std::string address = server.Start();
    log.Write(LogLevel::Info, "listening", "address=" + CLog::Value(address) +
                                               " tls=" + (web.tls ? "true" : "false"));
    WaitForStop(stop);
    log.Write(LogLevel::Info, "stopping");
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    mallopt(M_ARENA_MAX, kMallocArenas);
    // Blocked before any thread starts, so only WaitForStop ever takes them.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
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
    CLog log(flags.logLevel);
    try {
        return Serve(flags, log);
    } catch (const CConfigError& error) {
        log.Write(LogLevel::Error, error.message);
    } catch (const CServerError& error) {
        log.Write(LogLevel::Error, error.message);
    }
    return kExitFailure;
}
