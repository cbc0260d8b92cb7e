// ksm7720 metrics on the simulated bench: the whole process as a monitoring job runs it,
// the same command's discovery and readings in-process, and the readings alone (the
// instrument round trips: 51 readings, each with its error-queue look). The readings'
// share of the whole is the ratio of the first and the last. Then a snapshot of every
// object, as a process and its readings alone, against 51 read processes.
#include "SimBenchMain.h"
#include "core/Discovery.h"
#include "core/QuantityNames.h"
#include "core/SnapshotReader.h"
#include "metrics/RackExposition.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::unique_ptr<CSimProcess> g_sim;

// ksm7720 with args, its output thrown away; true when it succeeded.
bool RunCli(std::vector<const char*> args) {
    args.insert(args.begin(), CLI_EXE);
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execv(CLI_EXE, const_cast<char* const*>(args.data()));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_MetricsWholeProcess(benchmark::State& state) {
    for (auto _ : state) {
        if (!RunCli({"metrics"})) {
            state.SkipWithError("ksm7720 metrics failed");
            break;
        }
    }
}
BENCHMARK(BM_MetricsWholeProcess)->UseRealTime()->Unit(benchmark::kMillisecond);

// Read(instrument) again and again on one open session: the round trips alone.
template <class Reader> void ReadingsOnly(benchmark::State& state, const Reader& reader) {
    CDiscovery discovery({VISA_LIBRARY}, {DRIVER_LIBRARY});
    auto connection =
        discovery.Open() ? CDiscovery::Connection{} : discovery.Connect("VXI0::24::INSTR", {});
    if (!connection.instrument) {
        state.SkipWithError("discovery failed");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(reader.Read(*connection.instrument));
    }
}

void BM_MetricsReadingsOnly(benchmark::State& state) {
    ReadingsOnly(state, CSnapshotReader(ErrorQueueUse::Drain));
}
BENCHMARK(BM_MetricsReadingsOnly)->UseRealTime()->Unit(benchmark::kMillisecond);

// Libraries loaded, resource manager opened, mainframe found and opened, all read, written.
void BM_MetricsInProcess(benchmark::State& state) {
    for (auto _ : state) {
        CDiscovery discovery({VISA_LIBRARY}, {DRIVER_LIBRARY});
        auto connection =
            discovery.Open() ? CDiscovery::Connection{} : discovery.Connect("VXI0::24::INSTR", {});
        if (!connection.instrument) {
            state.SkipWithError("discovery failed");
            break;
        }
        std::ostringstream out;
        WriteRackExposition(
            ScrapeFrom(CSnapshotReader(ErrorQueueUse::Drain).Read(*connection.instrument)),
            {"VXI0::24", "VXI0::24::INSTR", "", std::nullopt}, out);
        benchmark::DoNotOptimize(out.str());
        connection.instrument->Close(); // as ksm7720 does when it ends
    }
}
BENCHMARK(BM_MetricsInProcess)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_SnapshotWholeProcess(benchmark::State& state) {
    for (auto _ : state) {
        if (!RunCli({"snapshot", "--format", "csv"})) {
            state.SkipWithError("ksm7720 snapshot failed");
            break;
        }
    }
}
BENCHMARK(BM_SnapshotWholeProcess)->UseRealTime()->Unit(benchmark::kMillisecond);

// What a script did before snapshot: one read process per object.
void BM_Read51Processes(benchmark::State& state) {
    std::vector<std::pair<std::string, std::string>> objects;
    for (int k = 0; k < kQuantityKindCount; ++k) {
        const auto kind = static_cast<QuantityKind>(k);
        const int first = kind == BLOWER ? 1 : 0;
        for (int position = first; position < first + ObjectCount(kind); ++position) {
            objects.emplace_back(KindInfo(kind).listKeyword, ObjectName(kind, position));
        }
    }
    for (auto _ : state) {
        for (const auto& [kind, object] : objects) {
            if (!RunCli({"read", kind.c_str(), object.c_str(), "--format", "csv"})) {
                state.SkipWithError("ksm7720 read failed");
                return;
            }
        }
    }
}
BENCHMARK(BM_Read51Processes)->UseRealTime()->Unit(benchmark::kMillisecond);

// The snapshot's readings alone on an open session: what a log pays per row.
void BM_SnapshotReadingsOnly(benchmark::State& state) {
    ReadingsOnly(state, CSnapshotReader(ErrorQueueUse::Drain));
}
BENCHMARK(BM_SnapshotReadingsOnly)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return RunOnSimulatedBench(argc, argv, g_sim);
}
