#!/usr/bin/env python3
"""One read from the module against a pyvisa-py script doing the same, on the simulated bench:

    bench/pyvisa_bench.py [--build-dir build-nogui] [--reads 500] [--rounds 21]

Needs pyvisa with its pure-Python backend (Debian: python3-pyvisa python3-pyvisa-py); run it
with the interpreter the module was built for. Three programs, in one process, against one
simulator (default bench, speed 1):

- ksm7720.Mainframe.read("VOLT", "P5") on an open session;
- pyvisa-py (`@py`) on the simulator's raw socket, `TCPIP0::127.0.0.1::PORT::SOCKET` with
  read termination "\\n", doing the module's three exchanges (the error queue asked before
  and after the reading);
- the same pyvisa-py session sending the bare reading only, as a four-line script does.

The rounds are interleaved (module, same, bare, then again), so a change of the machine's
load falls on all three alike; the ranges of the rounds (and medians) are printed, the
ratios taken round by round.
"""

import statistics
import time

from python_bench import bench_session


def timed(count, call):
    """Wall and CPU seconds per call over count calls."""
    start, start_cpu = time.perf_counter(), time.process_time()
    for _ in range(count):
        call()
    return ((time.perf_counter() - start) / count,
            (time.process_time() - start_cpu) / count)


def span(values, scale=1.0, digits=1):
    """The range of the rounds and their median."""
    low, mid, high = (v * scale for v in (min(values), statistics.median(values), max(values)))
    return f"{low:.{digits}f} to {high:.{digits}f} (median {mid:.{digits}f})"


def main():
    import pyvisa

    with bench_session("the module's read against pyvisa-py", reads=500, rounds=21) as (
            args, _, ksm7720, port):
        manager = pyvisa.ResourceManager("@py")
        script = manager.open_resource(f"TCPIP0::127.0.0.1::{port}::SOCKET",
                                       read_termination="\n", write_termination="\n")

        def same():
            script.query("SYST:ERR?")
            script.query("MEAS:LEV? 42,0")
            script.query("SYST:ERR?")

        def bare():
            script.query("MEAS:LEV? 42,0")

        with ksm7720.Mainframe("VXI0::24::INSTR") as rack:
            programs = {"module": lambda: rack.read("VOLT", "P5"), "same": same,
                        "bare": bare}
            for call in programs.values():
                timed(50, call)  # warm up: connections, caches, imports
            rows = {name: [] for name in programs}
            for _ in range(args.rounds):
                for name, call in programs.items():
                    rows[name].append(timed(args.reads, call))
        script.close()
        manager.close()

    print(f"\n{args.rounds} interleaved rounds of {args.reads} calls each, pyvisa "
          f"{pyvisa.__version__} with the @py backend:")
    for name, label in (("module", "ksm7720 read"), ("same", "pyvisa-py, same 3 exchanges"),
                        ("bare", "pyvisa-py, the bare reading")):
        print(f"{label:30} wall {span([w for w, _ in rows[name]], 1e6)} us,"
              f" CPU {span([c for _, c in rows[name]], 1e6)} us")
    for name in ("same", "bare"):
        wall = [m[0] / o[0] for m, o in zip(rows["module"], rows[name])]
        cpu = [m[1] / o[1] for m, o in zip(rows["module"], rows[name])]
        print(f"module / pyvisa-py {name:4}      wall {span(wall, digits=2)},"
              f" CPU {span(cpu, digits=2)}")


if __name__ == "__main__":
    main()
