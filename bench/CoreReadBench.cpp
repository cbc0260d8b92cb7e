// The C++ floor of the Python module: one object read and a whole snapshot through the
// core's snapshot reader on an open session, as ksm7720.Mainframe.read and .snapshot do
// them, without Python. bench/python_bench.py compares the module with these.
#include "SimBenchMain.h"
#include "core/Discovery.h"
#include "core/SnapshotReader.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

std::unique_ptr<CSimProcess> g_sim;

template <class Read> void OnOpenRack(benchmark::State& state, Read read) {
    CDiscovery discovery({VISA_LIBRARY}, {DRIVER_LIBRARY});
    auto connection = discovery.Open() ? CDiscovery::Connection{}
                                       : discovery.Connect("VXI0::24::INSTR",
                                                           {.timeOutMs = 12000, .identify = true});
    if (!connection.instrument) {
        state.SkipWithError("discovery failed");
        return;
    }
    for (auto _ : state) {
        const Snapshot snapshot = read(*connection.instrument);
        if (!snapshot.up) {
            state.SkipWithError("the read failed");
            break;
        }
        benchmark::DoNotOptimize(snapshot);
    }
    connection.instrument->Close();
}

void BM_CoreReadOne(benchmark::State& state) {
    OnOpenRack(state, [](CInstrument& instrument) {
        return CSnapshotReader(ErrorQueueUse::Drain).Only(VOLT, 0).Read(instrument);
    });
}
BENCHMARK(BM_CoreReadOne)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_CoreSnapshot(benchmark::State& state) {
    OnOpenRack(state, [](CInstrument& instrument) {
        return CSnapshotReader(ErrorQueueUse::Drain).Read(instrument);
    });
}
BENCHMARK(BM_CoreSnapshot)->UseRealTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    return RunOnSimulatedBench(argc, argv, g_sim);
}
