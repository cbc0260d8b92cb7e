#!/usr/bin/env python3
"""Soak of prometheus-ksm7720-exporter on the simulated bench, by hand and on 127.0.0.1 only:

    scripts/soak-exporter.py [--build-dir DIR] [--racks N] [--seconds S] [--interval S]

Starts a simulator whose bench has N mainframe resources (over at most 64 simulated
mainframes, the bench's limit), the exporter on a free loopback port, and probes every rack
once per interval from kept-alive connections, as Prometheus would. Every 10 seconds it
samples the exporter's CPU time, resident memory, open descriptors and threads; at the end
it prints one line of figures. Everything it starts is stopped when it ends.
"""
import argparse
import http.client
import os
import re
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from concurrent.futures import ThreadPoolExecutor

MAX_SECONDS = 600
TICKS = os.sysconf("SC_CLK_TCK")
PAGE = os.sysconf("SC_PAGE_SIZE")


def bench_text(racks):
    mainframes = min(racks, 64)
    lines = [f"instrument m{i} mainframe seed={i + 1}" for i in range(mainframes)]
    lines += [f"resource VXI0::{r + 1}::INSTR m{r % mainframes} intf=VXI manf=3372 model=2861"
              for r in range(racks)]
    return "\n".join(lines) + "\n"


def wait_for(path, pattern, process, seconds=10):
    deadline = time.time() + seconds
    while time.time() < deadline and process.poll() is None:
        match = re.search(pattern, open(path).read())
        if match:
            return match
        time.sleep(0.05)
    return None


def sample(pid):
    stat = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return {
        "cpu": (int(stat[11]) + int(stat[12])) / TICKS,
        "rss": int(stat[21]) * PAGE,
        "threads": int(stat[17]),
        "fds": len(os.listdir(f"/proc/{pid}/fd")),
    }


class Prober:
    """One kept-alive connection per worker thread."""

    def __init__(self, port):
        self.port = port
        self.local = threading.local()

    def probe(self, target):
        if not hasattr(self.local, "connection"):
            self.local.connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        start = time.perf_counter()
        try:
            self.local.connection.request("GET", f"/probe?target={target}",
                                          headers={"X-Prometheus-Scrape-Timeout-Seconds": "1"})
            body = self.local.connection.getresponse().read().decode()
            up = "\nksm7720_up 1\n" in "\n" + body
        except (OSError, http.client.HTTPException):
            self.local.connection.close()
            del self.local.connection
            up = False
        return time.perf_counter() - start, up


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", default=os.path.join(root, "build"))
    parser.add_argument("--racks", type=int, default=10)
    parser.add_argument("--seconds", type=int, default=120)
    parser.add_argument("--interval", type=float, default=1.0)
    args = parser.parse_args()
    if not 1 <= args.racks <= 255 or not 1 <= args.seconds <= MAX_SECONDS:
        sys.exit("soak-exporter.py: 1..255 racks, 1..600 seconds")
    build = os.path.abspath(args.build_dir)
    with tempfile.TemporaryDirectory(prefix="ksm7720-soak-") as work:
        bench = os.path.join(work, "soak.bench")
        open(bench, "w").write(bench_text(args.racks))
        resolved = os.path.join(work, "resolved.bench")
        sim_log, exporter_log = os.path.join(work, "sim.log"), os.path.join(work, "exporter.log")
        sim = subprocess.Popen([os.path.join(build, "sim/ksm7720-sim"), "--bench", bench,
                                "--resolved", resolved, "--state-dir", work, "--speed", "1"],
                               stdout=open(sim_log, "w"), stderr=subprocess.STDOUT)
        exporter = None
        try:
            if not wait_for(sim_log, r"listening", sim):
                sys.exit("soak-exporter.py: the simulator did not start")
            environment = dict(os.environ, KSM7720_BENCH=resolved,
                               LD_LIBRARY_PATH=os.path.join(build, "standin"))
            exporter = subprocess.Popen(
                [os.path.join(build, "src/exporter/prometheus-ksm7720-exporter"),
                 "--web.listen-address=127.0.0.1:0", "--web.max-requests=256"],
                env=environment, stderr=open(exporter_log, "w"))
            match = wait_for(exporter_log, r"address=127\.0\.0\.1:(\d+)", exporter)
            if not match:
                sys.exit("soak-exporter.py: the exporter did not start")
            run(exporter.pid, int(match.group(1)), args)
        finally:
            for process in (exporter, sim):
                if process is not None:
                    process.terminate()
                    process.wait(timeout=30)


def run(pid, port, args):
    targets = [f"VXI0::{r + 1}::INSTR" for r in range(args.racks)]
    prober = Prober(port)
    latencies, failures, samples = [], 0, []
    with ThreadPoolExecutor(max_workers=min(args.racks, 32)) as pool:
        list(pool.map(prober.probe, targets))  # sessions opened before measuring
        first = sample(pid)
        samples.append(first)
        start = time.time()
        next_sample = start + 10
        while time.time() - start < args.seconds:
            round_start = time.time()
            for seconds, up in pool.map(prober.probe, targets):
                latencies.append(seconds)
                failures += 0 if up else 1
            if time.time() >= next_sample:
                samples.append(sample(pid))
                next_sample += 10
            time.sleep(max(0.0, args.interval - (time.time() - round_start)))
        last = sample(pid)
    probes = len(latencies)
    latencies.sort()
    rss = [s["rss"] for s in samples + [last]]
    print(f"racks={args.racks} seconds={args.seconds} probes={probes} failed={failures} "
          f"p50_ms={1000 * statistics.median(latencies):.2f} "
          f"p99_ms={1000 * latencies[int(0.99 * (probes - 1))]:.2f} "
          f"cpu_ms_per_probe={1000 * (last['cpu'] - first['cpu']) / probes:.3f} "
          f"rss_mib_start={first['rss'] / 2**20:.1f} rss_mib_end={last['rss'] / 2**20:.1f} "
          f"rss_mib_max={max(rss) / 2**20:.1f} fds_start={first['fds']} fds_end={last['fds']} "
          f"threads={last['threads']}")
    print("rss_mib every 10 s: " + " ".join(f"{r / 2**20:.1f}" for r in rss))


if __name__ == "__main__":
    main()
