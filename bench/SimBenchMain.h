#pragma once
// The main() of a benchmark on the simulated bench: the simulator at speed 1 with the
// stand-in libraries pointed at it, then what else the benchmarks need, the benchmarks,
// and everything stopped again. VISA_LIBRARY and DRIVER_LIBRARY name the stand-ins.
#include "SimProcess.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <memory>

// start: runs once the simulator does; false (after saying why) skips the benchmarks and
// makes the exit status 1. stop: undoes it.
inline int RunOnSimulatedBench(
    int argc, char** argv, std::unique_ptr<CSimProcess>& sim,
    const std::function<bool()>& start = [] { return true; },
    const std::function<void()>& stop = [] {}) {
    benchmark::Initialize(&argc, argv);
    sim = std::make_unique<CSimProcess>(CSimProcess::DefaultBench(), 1.0);
    if (!sim->Start()) {
        std::fprintf(stderr, "cannot start the simulator\n");
        return 1;
    }
    sim->ExportEnvironment(VISA_LIBRARY, DRIVER_LIBRARY);
    const bool started = start();
    if (started) {
        benchmark::RunSpecifiedBenchmarks();
    }
    stop();
    sim.reset();
    benchmark::Shutdown();
    return started ? 0 : 1;
}
