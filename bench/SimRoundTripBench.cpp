// Round trips to ksm7720-sim on loopback: a reading and its error-queue look through the
// driver and VISA stand-ins, one query through VISA alone, and one over a raw socket for
// comparison. Queries per second are the items_per_second counter.

#include "SimProcess.h"
#include "StandIns.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

std::unique_ptr<CSimProcess> g_sim;

ViSession OpenMainframe(StandIns& lib) {
    ViSession vi = VI_NULL;
    lib.init(const_cast<ViRsrc>("VXI0::24::INSTR"), VI_FALSE, VI_FALSE, &vi);
    return vi;
}

void BM_ReadingWithErrorQuery(benchmark::State& state) {
    StandIns& lib = StandIns::Get();
    ViSession vi = OpenMainframe(lib);
    ViReal64 levels[3];
    ViInt32 code = 0;
    char text[256];
    for (auto _ : state) {
        if (lib.getLevel_Q(vi, 3, 0, levels) < 0 || lib.error_query(vi, &code, text) < 0) {
            state.SkipWithError("driver call failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadingWithErrorQuery)->UseRealTime();

void BM_HistogramThreeParts(benchmark::State& state) {
    StandIns& lib = StandIns::Get();
    ViSession vi = OpenMainframe(lib);
    ViInt32 values[10];
    for (auto _ : state) {
        for (ViInt16 part = 0; part < 3; ++part)
            lib.getHistogram_Q(vi, 42, part, values);
    }
    state.SetItemsProcessed(state.iterations() * 3);
}
BENCHMARK(BM_HistogramThreeParts)->UseRealTime();

void BM_VisaQuery(benchmark::State& state) {
    StandIns& lib = StandIns::Get();
    ViSession rm = VI_NULL, vi = VI_NULL;
    lib.OpenDefaultRM(&rm);
    lib.Open(rm, "VXI0::24::INSTR", VI_NULL, VI_NULL, &vi);
    ViByte reply[64];
    ViUInt32 count = 0;
    for (auto _ : state) {
        lib.Write(vi, reinterpret_cast<ViConstBuf>("*OPC?\n"), 6, &count);
        if (lib.Read(vi, reply, sizeof reply, &count) != VI_SUCCESS_TERM_CHAR) {
            state.SkipWithError("read failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    lib.Close(rm);
}
BENCHMARK(BM_VisaQuery)->UseRealTime();

// The argument is how many connections the simulator holds in all, the others idle: a
// round trip should not grow with them.
void BM_RawSocketQuery(benchmark::State& state) {
    std::vector<std::unique_ptr<CRawClient>> idle;
    for (int64_t i = 1; i < state.range(0); ++i)
        idle.push_back(std::make_unique<CRawClient>(g_sim->Port("dmm")));
    CRawClient client(g_sim->Port("mainframe"));
    if (client.Query("*OPC?") != "1" || (!idle.empty() && idle.back()->Query("*OPC?") != "1")) {
        state.SkipWithError("the simulator did not take every connection");
        return;
    }
    for (auto _ : state) {
        client.Send("*OPC?\n");
        benchmark::DoNotOptimize(client.ReadLine());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RawSocketQuery)->UseRealTime()->Arg(1)->Arg(200)->Arg(1000);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    g_sim = std::make_unique<CSimProcess>(CSimProcess::DefaultBench(), 1.0);
    if (!g_sim->Start() || !StandIns::Get().Loaded()) {
        std::fprintf(stderr, "cannot start the simulator or load the stand-ins\n");
        return 1;
    }
    ::setenv("KSM7720_BENCH", g_sim->ResolvedBench().c_str(), 1);
    benchmark::RunSpecifiedBenchmarks();
    g_sim.reset();
    benchmark::Shutdown();
    return 0;
}
