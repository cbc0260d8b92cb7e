// ksm7720-sim: serves the instruments of a bench file on the loopback interface.
//
//   ksm7720-sim --bench FILE [--resolved FILE] [--state-dir DIR] [--speed FACTOR] [--factory]
//
// --factory starts every mainframe from its factory settings, replacing what was saved.
// Once every port is bound it writes the resolved bench (the bench with the ports it got;
// by default in a folder of its own made for this run) and prints one line that starts
// with "ksm7720-sim: listening".

#include "common/BenchFile.h"
#include "server/AtomicFile.h"
#include "server/Device.h"
#include "server/Mainframe.h"
#include "server/SimServer.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) {
    g_stop = 1;
}

struct Options {
    std::string bench;
    std::string resolved;
    std::string stateDir;
    double speed = 1.0;
    bool factory = false;
};

int Usage() {
    std::fprintf(stderr, "usage: ksm7720-sim --bench FILE [--resolved FILE] [--state-dir DIR] "
                         "[--speed FACTOR] [--factory]\n");
    return 2;
}

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string key = argv[i];
        if (key == "--factory") {
            o.factory = true;
            continue;
        }
        if (i + 1 == argc)
            return false;
        std::string value = argv[++i];
        if (key == "--bench")
            o.bench = value;
        else if (key == "--resolved")
            o.resolved = value;
        else if (key == "--state-dir")
            o.stateDir = value;
        else if (key == "--speed")
            o.speed = std::strtod(value.c_str(), nullptr);
        else
            return false;
    }
    return !o.bench.empty() && o.speed >= 0 && o.speed <= 1e7;
}

std::unique_ptr<CSimInstrument> MakeInstrument(CSimClock& clock, const BenchInstrument& config,
                                               const Options& o) {
    if (config.kind != BenchInstrument::Kind::Mainframe)
        return std::make_unique<CDevice>(clock, config);
    std::string state = o.stateDir.empty() ? "" : o.stateDir + "/" + config.name + ".state";
    return std::make_unique<CMainframe>(clock, config, state);
}

// A folder of our own for the resolved bench, under $TMPDIR or /tmp; empty on failure.
std::string MakePrivateFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/ksm7720-sim.XXXXXX";
    return ::mkdtemp(pattern.data()) ? pattern : "";
}

// Removes the resolved bench only while it is still the one we wrote: a simulator given
// the same path later has replaced it with its own ports, and its file stays.
void RemoveIfOurs(const std::string& path, const std::string& text) {
    std::ifstream in(path);
    std::ostringstream held;
    if (in && held << in.rdbuf() && held.str() == text)
        std::remove(path.c_str());
}

// Each instrument holds a listening port (and a mainframe with a state folder a lock), and
// each connection a descriptor: a site of 1,000 racks needs more than the usual soft limit
// of 1,024, so take what the hard limit allows.
void RaiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, o))
        return Usage();
    std::string error;
    std::optional<CBenchFile> bench = CBenchFile::Load(o.bench, error);
    if (!bench) {
        std::fprintf(stderr, "ksm7720-sim: %s: %s\n", o.bench.c_str(), error.c_str());
        return 1;
    }
    // From here on a stop request ends the run in order, so the files it wrote go too.
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);
    RaiseDescriptorLimit();
    CSimClock clock(o.speed);
    CSimServer server;
    std::string ports;
    for (BenchInstrument& inst : bench->instruments) {
        std::unique_ptr<CSimInstrument> instrument = MakeInstrument(clock, inst, o);
        if (o.factory)
            instrument->RestoreFactory();
        inst.port = server.Listen(std::move(instrument), inst.port, error);
        if (inst.port == 0) {
            std::fprintf(stderr, "ksm7720-sim: %s: %s\n", inst.name.c_str(), error.c_str());
            return 1;
        }
        ports += " " + inst.name + "=" + std::to_string(inst.port);
    }
    std::string folder;
    if (o.resolved.empty()) {
        folder = MakePrivateFolder();
        if (folder.empty()) {
            std::fprintf(stderr, "ksm7720-sim: cannot make a folder for the resolved bench\n");
            return 1;
        }
        o.resolved = folder + "/bench.resolved";
    }
    const std::string resolved = bench->Write();
    if (!WriteFileAtomically(o.resolved, resolved, error)) {
        std::fprintf(stderr, "ksm7720-sim: %s\n", error.c_str());
        if (!folder.empty())
            ::rmdir(folder.c_str());
        return 1;
    }
    std::printf("ksm7720-sim: listening on 127.0.0.1%s KSM7720_BENCH=%s\n", ports.c_str(),
                o.resolved.c_str());
    std::fflush(stdout);
    const bool served = server.Run(g_stop);
    if (!served)
        std::fprintf(stderr, "ksm7720-sim: event loop: %s\n", std::strerror(errno));
    RemoveIfOurs(o.resolved, resolved);
    if (!folder.empty())
        ::rmdir(folder.c_str());
    return served ? 0 : 1;
}
