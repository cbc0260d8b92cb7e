#!/usr/bin/env python3
"""Soak of prometheus-ksm7720-exporter on the simulated bench, by hand and on 127.0.0.1 only:

    scripts/soak-exporter.py [--build-dir DIR] [--racks N] [--seconds S] [--interval S]
                             [--prometheus] [--nofile SOFT[:HARD]] [--max-requests N]

Starts one simulator whose bench has N mainframes (up to 1,020), each at a resource of its
own (VXI0::1::INSTR to VXI0::255::INSTR, then VXI1, VXI2 and VXI3), and the exporter on a free
loopback port under the descriptor limit of its systemd unit (LimitNOFILE= in
packaging/exporter/prometheus-ksm7720-exporter.service, else systemd's default 1024:524288;
--nofile overrides it, --max-requests sets its --web.max-requests). Then every rack is
probed once per interval: by the script itself from 32 kept-alive connections, or with
--prometheus by Debian's Prometheus (on 127.0.0.1, every rack a target of the exporter, as in
packaging/prometheus/prometheus.yml), whose API then gives the scrape durations and the
failed scrapes with their errors. Every 10 seconds it samples the exporter's CPU time,
resident memory, open descriptors and threads; at the end it prints one line of figures.
Everything it starts is stopped when it ends.
"""
import argparse
import collections
import http.client
import json
import os
import re
import resource as resource_module
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from concurrent.futures import ThreadPoolExecutor

sys.dont_write_bytecode = True  # the package beside this script stays as committed

from soaklib import common  # noqa: E402

MAX_SECONDS = 600
MAX_RACKS = 4 * 255  # VXI0 to VXI3, logical addresses 1 to 255
SYSTEMD_DEFAULT_NOFILE = "1024:524288"


def resource(rack):
    return f"VXI{rack // 255}::{rack % 255 + 1}::INSTR"


def bench_text(racks):
    lines = [f"instrument m{i} mainframe seed={i + 1} serial=SIM{i + 1:04d}" for i in range(racks)]
    lines += [f"resource {resource(r)} m{r} intf=VXI manf=3372 model=2861" for r in range(racks)]
    return "\n".join(lines) + "\n"


def unit_nofile(unit):
    """The unit's LimitNOFILE= as SOFT:HARD, or systemd's default when it sets none."""
    match = re.search(r"^LimitNOFILE=(\S+)\s*$", open(unit).read(), re.MULTILINE)
    if not match:
        return SYSTEMD_DEFAULT_NOFILE
    value = match.group(1)
    return value if ":" in value else f"{value}:{value}"


def within_our_limit(nofile):
    """SOFT:HARD with both cut to this process's hard limit, which a child cannot exceed."""
    _, ours = resource_module.getrlimit(resource_module.RLIMIT_NOFILE)
    cut = [ours if part == "infinity" or ours != resource_module.RLIM_INFINITY and int(part) > ours
           else int(part) for part in nofile.split(":")]
    return ":".join(str(part) for part in cut)


def wait_for(path, pattern, process, seconds=30):
    deadline = time.time() + seconds
    while time.time() < deadline and process.poll() is None:
        match = re.search(pattern, open(path).read())
        if match:
            return match
        time.sleep(0.05)
    return None


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
                                          headers={"X-Prometheus-Scrape-Timeout-Seconds": "10"})
            body = self.local.connection.getresponse().read().decode()
            up = "\nksm7720_up 1\n" in "\n" + body
        except (OSError, http.client.HTTPException):
            self.local.connection.close()
            del self.local.connection
            up = False
        return time.perf_counter() - start, up


class Sampler:
    """The exporter's figures every 10 s from `start()` on."""

    def __init__(self, pid, sim_pid):
        self.pid, self.sim_pid = pid, sim_pid
        self.samples = []
        self.next = 0.0

    def start(self):
        self.samples = [common.proc_sample(self.pid)]
        self.next = time.time() + 10
        self.sim_start = common.proc_sample(self.sim_pid)["cpu"]

    def tick(self):
        if time.time() >= self.next:
            self.samples.append(common.proc_sample(self.pid))
            self.next += 10

    def summary(self, seconds, probes):
        last = common.proc_sample(self.pid)
        sim_cpu = common.proc_sample(self.sim_pid)["cpu"] - self.sim_start
        first, every = self.samples[0], self.samples + [last]
        cpu = last["cpu"] - first["cpu"]
        per_probe = f"{1000 * cpu / probes:.3f}" if probes else "-"
        return (f"cpu_percent={100 * cpu / seconds:.1f} cpu_ms_per_probe={per_probe} "
                f"rss_mib_start={first['rss_mib']:.1f} rss_mib_end={last['rss_mib']:.1f} "
                f"rss_mib_max={max(s['rss_mib'] for s in every):.1f} "
                f"fds_start={first['fds']} fds_max={max(s['fds'] for s in every)} "
                f"threads_max={max(s['threads'] for s in every)} "
                f"simulator_cpu_percent={100 * sim_cpu / seconds:.1f}")


def own_probes(pid, sim_pid, port, args):
    targets = [resource(r) for r in range(args.racks)]
    prober, sampler = Prober(port), Sampler(pid, sim_pid)
    latencies, failures = [], 0
    with ThreadPoolExecutor(max_workers=min(args.racks, 32)) as pool:
        list(pool.map(prober.probe, targets))  # sessions opened before measuring
        sampler.start()
        start = time.time()
        while time.time() - start < args.seconds:
            round_start = time.time()
            for seconds, up in pool.map(prober.probe, targets):
                latencies.append(seconds)
                failures += 0 if up else 1
            sampler.tick()
            time.sleep(max(0.0, args.interval - (time.time() - round_start)))
        elapsed = time.time() - start
    probes = len(latencies)
    latencies.sort()
    print(f"racks={args.racks} nofile={args.nofile} seconds={args.seconds} probes={probes} "
          f"failed={failures} p50_ms={1000 * statistics.median(latencies):.2f} "
          f"p99_ms={1000 * latencies[int(0.99 * (probes - 1))]:.2f} "
          + sampler.summary(elapsed, probes))


def query(port, expression, at=None):
    """The first value of an instant query's result, NaN when it has none."""
    result = common.query(port, expression, at)
    return float(result[0]["value"][1]) if result else float("nan")


def note_target_errors(port, failed):
    """Adds the targets' failed last scrapes to `failed` ((target, time) -> error); called
    more often than the interval, it sees every failed scrape."""
    _, body = common.http_get(port, "/api/v1/targets?state=active", timeout=30)
    targets = json.loads(body)["data"]["activeTargets"]
    for t in targets:
        if t["lastError"]:
            failed[(t["scrapeUrl"], t["lastScrape"])] = t["lastError"]


def prometheus_scrapes(pid, sim_pid, port, args, work):
    config = os.path.join(work, "prometheus.yml")
    open(config, "w").write(common.prometheus_config(
        [resource(r) for r in range(args.racks)], port, args.interval, min(args.interval, 10)))
    prom_port = common.free_port()
    log = os.path.join(work, "prometheus.log")
    prometheus = common.start_prometheus(config, f"{work}/data", prom_port, log)
    try:
        if not common.prometheus_ready(prom_port):
            sys.exit("soak-exporter.py: Prometheus did not start:\n" + open(log).read()[-2000:])
        sampler, failed = Sampler(pid, sim_pid), {}
        sampler.start()
        start = time.time()
        next_look = start + args.interval / 2
        while time.time() - start < args.seconds:
            time.sleep(min(1.0, args.seconds - (time.time() - start)))
            sampler.tick()
            if time.time() >= next_look:
                note_target_errors(prom_port, failed)
                next_look += args.interval / 2
        end = time.time()  # every figure over the same window, up to the same instant
        elapsed = end - start
        window = f'{{job="ksm7720"}}[{int(elapsed) + 1}s]'
        # A failed count in one expression, as scrapes still land while the queries run.
        scrapes = query(prom_port, f"sum(count_over_time(up{window}))", end)
        failures = query(prom_port, f"sum(count_over_time(up{window}))"
                                    f" - sum(sum_over_time(up{window}))", end)
        # A scrape that answered but could not read its rack says so in ksm7720_up.
        unread = query(prom_port, f"sum(count_over_time(ksm7720_up{window}))"
                                  f" - sum(sum_over_time(ksm7720_up{window}))", end)
        durations = f"scrape_duration_seconds{window}"
        figures = {
            "p50": query(prom_port, f"quantile(0.5, quantile_over_time(0.5, {durations}))", end),
            "p99": query(prom_port, f"quantile(0.99, quantile_over_time(0.99, {durations}))", end),
            "max": query(prom_port, f"max(max_over_time({durations}))", end),
        }
        up_now = query(prom_port, 'count(up{job="ksm7720"} == 1)', end)
        step = 30
        per_step = [query(prom_port, f'sum(count_over_time(up{{job="ksm7720"}}[{step}s]))'
                          f' - sum(sum_over_time(up{{job="ksm7720"}}[{step}s]))', start + t)
                    for t in range(step, int(elapsed) + 1, step)]
        note_target_errors(prom_port, failed)
        print(f"racks={args.racks} nofile={args.nofile} seconds={args.seconds} "
              f"interval={args.interval:g} scrapes={scrapes:.0f} failed={failures:.0f} "
              f"rack_unread={unread:.0f} "
              f"up_at_end={up_now:.0f} "
              + " ".join(f"scrape_{k}_ms={1000 * v:.1f}" for k, v in figures.items())
              + " " + sampler.summary(elapsed, scrapes))
        print(f"failed scrapes every {step} s: " + " ".join(f"{n:.0f}" for n in per_step))
        for error, count in collections.Counter(failed.values()).most_common(5):
            print(f"  {count} failed scrapes: {error}")
    finally:
        prometheus.terminate()
        prometheus.wait(timeout=30)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", default=os.path.join(root, "build"))
    parser.add_argument("--racks", type=int, default=10)
    parser.add_argument("--seconds", type=int, default=120)
    parser.add_argument("--interval", type=float)
    parser.add_argument("--prometheus", action="store_true")
    parser.add_argument("--nofile")
    parser.add_argument("--max-requests", type=int, help="the exporter's --web.max-requests")
    args = parser.parse_args()
    if not 1 <= args.racks <= MAX_RACKS or not 1 <= args.seconds <= MAX_SECONDS:
        sys.exit(f"soak-exporter.py: 1..{MAX_RACKS} racks, 1..{MAX_SECONDS} seconds")
    if args.interval is None:
        args.interval = 15.0 if args.prometheus else 1.0
    if args.nofile is None:
        args.nofile = unit_nofile(
            os.path.join(root, "packaging/exporter/prometheus-ksm7720-exporter.service"))
    args.nofile = within_our_limit(args.nofile)
    build = os.path.abspath(args.build_dir)
    with tempfile.TemporaryDirectory(prefix="ksm7720-soak-") as work:
        bench = os.path.join(work, "soak.bench")
        open(bench, "w").write(bench_text(args.racks))
        resolved = os.path.join(work, "resolved.bench")
        sim_log, exporter_log = os.path.join(work, "sim.log"), os.path.join(work, "exporter.log")
        sim = common.start_simulator(os.path.join(build, "sim/ksm7720-sim"), bench, resolved,
                                     sim_log, 1, seconds=30)
        exporter = None
        try:
            if sim is None:
                sys.exit("soak-exporter.py: the simulator did not start")
            environment = dict(os.environ, KSM7720_BENCH=resolved,
                               LD_LIBRARY_PATH=os.path.join(build, "standin"))
            exporter = subprocess.Popen(
                ["prlimit", f"--nofile={args.nofile}", "--",
                 os.path.join(build, "src/exporter/prometheus-ksm7720-exporter"),
                 "--web.listen-address=127.0.0.1:0"]
                + ([f"--web.max-requests={args.max_requests}"] if args.max_requests else []),
                env=environment, stderr=open(exporter_log, "w"))
            match = wait_for(exporter_log, r"address=127\.0\.0\.1:(\d+)", exporter)
            if not match:
                sys.exit("soak-exporter.py: the exporter did not start")
            if args.prometheus:
                prometheus_scrapes(exporter.pid, sim.pid, int(match.group(1)), args, work)
            else:
                own_probes(exporter.pid, sim.pid, int(match.group(1)), args)
        finally:
            for process in (exporter, sim):
                if process is not None:
                    process.terminate()
                    process.wait(timeout=30)


if __name__ == "__main__":
    main()
