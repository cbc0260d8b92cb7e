#!/usr/bin/env python3
"""The Python module against its floors, on the simulated bench (default bench, speed 1):

    bench/python_bench.py [--build-dir build-nogui] [--reads 5000] [--snapshots 500]

Each figure is the best of five rounds (compare it with core_read_bench's fastest
repetition: --benchmark_repetitions=5).

- ksm7720.Mainframe.read of one supply, per call;
- a plain-socket script doing the same SCPI exchange (the error queue looked at before and
  after the reading, as the module does), and one doing the bare reading only: the floor
  of any Python script over a socket (bench/pyvisa_bench.py times pyvisa-py itself);
- ksm7720.Mainframe.snapshot of every object, per call, and `ksm7720 snapshot` as a
  process when the command line has it.
The C++ floor of the first and the third is build/bench/core_read_bench.
"""

import argparse
import contextlib
import os
import re
import socket
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent


def start_simulator(build, folder):
    sim = subprocess.Popen(
        [str(build / "sim/ksm7720-sim"), "--bench", str(ROOT / "sim/default.bench"),
         "--resolved", str(folder / "resolved.bench"), "--state-dir", str(folder),
         "--speed", "1"], stdout=subprocess.PIPE, text=True)
    line = sim.stdout.readline()
    ports = {k: int(v) for k, v in re.findall(r"(\w+)=(\d+)", line)}
    os.environ.update(KSM7720_BENCH=str(folder / "resolved.bench"),
                      KSM7720_VISA_LIBRARY=str(build / "standin/libvisa.so"),
                      KSM7720_DRIVER_LIBRARY=str(build / "standin/libksm7720_32.so"))
    return sim, ports["mainframe"]


def per_call(count, call, rounds=5):
    """The best of several rounds: on a shared machine the slower rounds measure the load."""
    call()
    best, cpu = float("inf"), float("inf")
    for _ in range(rounds):
        start, start_cpu = time.perf_counter(), time.process_time()
        for _ in range(count):
            call()
        best = min(best, (time.perf_counter() - start) / count)
        cpu = min(cpu, (time.process_time() - start_cpu) / count)
    per_call.cpu = cpu
    return best


def raw_script(port, lines):
    link = socket.create_connection(("127.0.0.1", port))
    link.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    replies = link.makefile("rb")

    def exchange():
        for line in lines:
            link.sendall(line)
            replies.readline()
    return exchange


@contextlib.contextmanager
def bench_session(description, **counts):
    """The arguments (--build-dir and one integer option per count), the module of that build
    and a simulator of the default bench for the benchmark's run: (args, build, ksm7720,
    port)."""
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--build-dir", default=str(ROOT / "build-nogui"))
    for name, default in counts.items():
        parser.add_argument("--" + name, type=int, default=default)
    args = parser.parse_args()
    build = Path(args.build_dir).resolve()
    sys.path.insert(0, str(build / "python"))
    import ksm7720

    with tempfile.TemporaryDirectory() as folder:
        sim, port = start_simulator(build, Path(folder))
        try:
            yield args, build, ksm7720, port
        finally:
            sim.terminate()
            sim.wait()


def main():
    with bench_session("the Python module's benchmarks", reads=5000, snapshots=500) as (
            args, build, ksm7720, port):
        with ksm7720.Mainframe("VXI0::24::INSTR") as rack:
            read = per_call(args.reads, lambda: rack.read("VOLT", "P5"))
            read_cpu = per_call.cpu
            snap = per_call(args.snapshots, rack.snapshot)
            snap_cpu = per_call.cpu
        same = per_call(args.reads, raw_script(
            port, [b"SYST:ERR?\n", b"MEAS:LEV? 42,0\n", b"SYST:ERR?\n"]))
        bare = per_call(args.reads, raw_script(port, [b"MEAS:LEV? 42,0\n"]))
        print(f"ksm7720 read (Python)                 {read * 1e6:8.1f} us"
              f"   (CPU {read_cpu * 1e6:.1f} us)")
        print(f"socket script, the same 3 exchanges   {same * 1e6:8.1f} us"
              f"   (module / script {read / same:.2f})")
        print(f"socket script, the reading alone      {bare * 1e6:8.1f} us"
              f"   (module / script {read / bare:.2f})")
        print(f"ksm7720 snapshot (Python)             {snap * 1e6:8.1f} us"
              f"   (CPU {snap_cpu * 1e6:.1f} us)")
        cli = build / "src/cli/ksm7720"
        if "snapshot" in subprocess.run([str(cli), "--help"], capture_output=True,
                                        text=True).stdout:
            run = per_call(20, lambda: subprocess.run(
                [str(cli), "snapshot", "--format", "csv"], check=True,
                stdout=subprocess.DEVNULL))
            print(f"ksm7720 snapshot (process)            {run * 1e6:8.1f} us")


if __name__ == "__main__":
    main()
