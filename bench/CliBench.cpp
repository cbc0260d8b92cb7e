// ksm7720 metrics on the simulated bench: the whole process as a monitoring job runs it,
// the same command's discovery and readings in-process, and the readings alone (the
// instrument round trips: 51 readings, each with its error-queue look). The readings'
// share of the whole is the ratio of the first and the last.
#include "SimBenchMain.h"
#include "core/Discovery.h"
#include "metrics/RackExposition.h"
#include "metrics/RackReader.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>

namespace {

std::unique_ptr<CSimProcess> g_sim;

bool RunMetricsProcess() {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execl(CLI_EXE, CLI_EXE, "metrics", nullptr);
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_MetricsWholeProcess(benchmark::State& state) {
    for (auto _ : state) {
        if (!RunMetricsProcess()) {
            state.SkipWithError("ksm7720 metrics failed");
            break;
        }
    }
}
BENCHMARK(BM_MetricsWholeProcess)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_MetricsReadingsOnly(benchmark::State& state) {
    CDiscovery discovery({VISA_LIBRARY}, {DRIVER_LIBRARY});
    auto connection =
        discovery.Open() ? CDiscovery::Connection{} : discovery.Connect("VXI0::24::INSTR", false);
    if (!connection.instrument) {
        state.SkipWithError("discovery failed");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(CRackReader(ErrorQueueUse::Drain).Read(*connection.instrument));
    }
}
BENCHMARK(BM_MetricsReadingsOnly)->UseRealTime()->Unit(benchmark::kMillisecond);

// Libraries loaded, resource manager opened, mainframe found and opened, all read, written.
void BM_MetricsInProcess(benchmark::State& state) {
    for (auto _ : state) {
        CDiscovery discovery({VISA_LIBRARY}, {DRIVER_LIBRARY});
        auto connection = discovery.Open() ? CDiscovery::Connection{}
                                           : discovery.Connect("VXI0::24::INSTR", false);
        if (!connection.instrument) {
            state.SkipWithError("discovery failed");
            break;
        }
        std::ostringstream out;
        WriteRackExposition(CRackReader(ErrorQueueUse::Drain).Read(*connection.instrument),
                            {"VXI0::24", "VXI0::24::INSTR", "", std::nullopt}, out);
        benchmark::DoNotOptimize(out.str());
        connection.instrument->Close(); // as ksm7720 does when it ends
    }
}
BENCHMARK(BM_MetricsInProcess)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return RunOnSimulatedBench(argc, argv, g_sim);
}
