#!/usr/bin/env python3
"""Chaos soak of prometheus-ksm7720-exporter: it must never report a wrong verdict.

    scripts/chaos-exporter.py EXPORTER SIMULATOR STANDIN-DIR [--duration S] [--racks N]
                              [--seed N] [--settle S] [--no-auth] [--hostile SHAPES] [--keep]

On 127.0.0.1 only: N simulated mainframes, one simulator process each, time standing still
(--speed 0, so each reading is what the simulator answers to its own query over the raw
socket, before and after the soak); one exporter with a rack list and basic auth (bcrypt);
two Prometheus servers (Debian's) scraping it every second as an HA pair. For --duration
seconds, seeded faults (hangs, dropped connections, injected error entries, limits set below
a reading, a simulator killed and restarted, on a new port) on a third of the racks, and hostile
clients (wrong passwords, alias spellings of listed racks, bursts of probes).
--hostile adds shapes, each in a phase of its own (the chaos split evenly between them), from
loopback addresses of their own: `body` (request bodies that never end), `idle` (kept-alive
connections from many addresses), `share` (probes of a slow rack kept in flight from two
addresses), `crowd` (the same from 40 addresses, one probe each), `burst` (60 probes at
once from one address every 5 s, each to be answered 200 and true), `flood` (wrong-password
floods around reloads); in each phase the healthy racks must stay up in 99 % of scrapes. Then --settle quiet seconds, and it asks both Prometheus
servers for every sample they stored.

Exit status 0 when every assertion holds, 1 when one fails (each is printed), 2 on a usage
error, 77 when Debian's prometheus is not installed. Everything it starts is stopped when it
ends, also on failure, Ctrl+C or SIGTERM.
"""
import argparse
import os
import random
import re
import resource
import shutil
import signal
import sys
import tempfile
import time
from collections import defaultdict

sys.dont_write_bytecode = True  # the package beside this script stays as committed

from soaklib import common  # noqa: E402
from soaklib.chaos.clients import HOSTILE, Clients, DelayingProxy  # noqa: E402
from soaklib.chaos.faults import CLIENT_ACTIONS, Faults, plan  # noqa: E402
from soaklib.chaos.harness import (PASSWORD, PASSWORD_HASH, USER, Bench, Interrupted,  # noqa: E402
                                   auth, exporter_sample, tail)
from soaklib.chaos.judge import judge, scrapes_of, summary  # noqa: E402
from soaklib.chaos.record import SCRAPE_TIMEOUT, Record  # noqa: E402
from soaklib.chaos.truth import read_truth  # noqa: E402


def arguments():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("exporter")
    parser.add_argument("simulator")
    parser.add_argument("standin", help="folder of the stand-in libvisa.so and libksm7720_32.so")
    parser.add_argument("--duration", type=int, default=60, help="seconds of chaos (60)")
    parser.add_argument("--racks", type=int, default=20)
    parser.add_argument("--seed", type=int, help="replays a run's faults (printed at the start)")
    parser.add_argument("--settle", type=int, default=35,
                        help="quiet seconds after the chaos (35: past the exporter's 30 s idle "
                             "time-out, so connections Prometheus opened in the chaos are closed)")
    parser.add_argument("--no-auth", action="store_true",
                        help="no basic auth and no wrong-password floods (to tell the cost of "
                             "password checks from the rest)")
    parser.add_argument("--hostile", default="", metavar="SHAPES",
                        help="comma-separated hostile shapes to add: " + ",".join(HOSTILE))
    parser.add_argument("--keep", action="store_true", help="keep the work folder and its logs")
    args = parser.parse_args()
    if not 3 <= args.racks <= 60 or not 10 <= args.duration <= 7200 or not 5 <= args.settle <= 600:
        parser.error("3..60 racks, 10..7200 seconds of chaos, 5..600 seconds to settle")
    args.hostile = [s for s in args.hostile.split(",") if s]
    unknown = set(args.hostile) - set(HOSTILE)
    if unknown:
        parser.error(f"unknown hostile shape: {', '.join(sorted(unknown))} (known: {', '.join(HOSTILE)})")
    if "flood" in args.hostile and args.no_auth:
        parser.error("the flood shape needs basic auth (leave out --no-auth)")
    if args.hostile and args.duration < 10 * len(args.hostile):
        parser.error("at least 10 seconds of chaos for each hostile shape")
    for path in (args.exporter, args.simulator):
        if not os.access(path, os.X_OK):
            parser.error(f"not a program: {path}")
    return args


def main():
    args = arguments()
    if not shutil.which("prometheus"):
        print("SKIPPED: prometheus is not installed (Debian package prometheus)")
        return 77
    args.seed = args.seed if args.seed is not None else random.SystemRandom().randrange(10**9)
    print(f"chaos-exporter: seed {args.seed} (--seed {args.seed} replays these faults)", flush=True)
    # The hostile shapes hold a thousand connections and more.
    _, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))

    def interrupt(signum, _frame):
        for other in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            signal.signal(other, signal.SIG_IGN)  # the clean-up is not cut short
        raise Interrupted(signal.Signals(signum).name)

    for signum in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, interrupt)
    work = tempfile.mkdtemp(prefix="ksm7720-chaos-")
    bench = Bench(work, args.simulator)
    try:
        return soak(bench, args, work)
    except Interrupted as why:
        print(f"chaos-exporter: interrupted ({why}); stopping what it started", flush=True)
        return 1
    except (OSError, RuntimeError) as error:
        print(f"chaos-exporter: the bench failed: {error}", flush=True)
        return 1
    finally:
        bench.stop_all()
        if args.keep:
            print(f"chaos-exporter: logs kept in {work}")
        else:
            shutil.rmtree(work, ignore_errors=True)


def start_exporter(bench, args, work, name, racks, bench_file):
    """An exporter of `racks` on bench_file, with basic auth unless --no-auth, on a port the
    kernel picks (read from its log): (process, port)."""
    with open(os.path.join(work, f"{name}.yml"), "w") as f:
        f.write("racks:\n" + "".join(
            f"  - resource: {r['resource']}\n    name: {r['lab']}\n    blowers: {r['blowers']}\n"
            for r in racks))
    with open(os.path.join(work, "web.yml"), "w") as f:
        f.write(f"basic_auth_users:\n  {USER}: {PASSWORD_HASH}\n")
    standin = os.path.abspath(args.standin)
    env = dict(os.environ, KSM7720_BENCH=bench_file,
               LD_LIBRARY_PATH=standin + ":" + os.environ.get("LD_LIBRARY_PATH", ""),
               KSM7720_VISA_LIBRARY=os.path.join(standin, "libvisa.so"),
               KSM7720_DRIVER_LIBRARY=os.path.join(standin, "libksm7720_32.so"))
    log = os.path.join(work, f"{name}.log")
    exporter = bench.start([args.exporter, "--web.listen-address=127.0.0.1:0",
                            f"--config.file={work}/{name}.yml"] +
                           ([] if args.no_auth else [f"--web.config.file={work}/web.yml"]),
                           log, env)
    found = []

    def listening():
        found[:] = re.findall(r"address=127\.0\.0\.1:(\d+)", open(log).read())
        return bool(found)

    if not common.wait_until(listening, 30, 0.1):
        raise SystemExit(f"chaos-exporter: the {name} did not start\n{tail(log)}")
    return exporter, int(found[0])


def answers(port, timeout=2):
    try:
        return common.http_get(port, "/metrics", {"Authorization": auth()}, timeout)[0] == 200
    except OSError:
        return False


def start_prometheus_pair(bench, racks, eport, control, cport, work):
    """Two Prometheus servers scraping every rack each second, and the control rack through
    its own exporter: {replica: port}."""
    prom_ports = {}
    for replica in ("a", "b"):
        pport = common.free_port(bench.ports)
        config = os.path.join(work, f"prometheus-{replica}.yml")
        job = common.prometheus_config([control["resource"]], cport, 1, SCRAPE_TIMEOUT,
                                       basic_auth=(USER, PASSWORD))
        job = job[job.index("  - job_name:"):].replace("job_name: ksm7720", "job_name: control")
        with open(config, "w") as f:
            f.write(common.prometheus_config([r["resource"] for r in racks], eport, 1,
                                             SCRAPE_TIMEOUT, {"replica": replica},
                                             (USER, PASSWORD)) + job)
        common.start_prometheus(config, f"{work}/data-{replica}", pport,
                                os.path.join(work, f"prometheus-{replica}.log"), debug=True,
                                start=bench.start)
        prom_ports[replica] = pport
    return prom_ports


def run(events, duration, faults, clients, hostile, record):
    """Carries out the plan on this thread, each hostile shape in its own slice of the chaos on
    threads of its own."""
    start = time.time()
    slice_length = duration / max(1, len(hostile))
    phases = [(start + i * slice_length, shape) for i, shape in enumerate(hostile)]
    events = sorted(events + [(at - start, "hostile " + shape, None, at + slice_length)
                              for at, shape in phases], key=lambda e: e[0])
    for offset, action, r, argument in events:
        time.sleep(max(0.0, start + offset - time.time()))
        record.timeline[action].append(f"+{time.time() - start:.1f}" + (f"({r})" if r is not None else ""))
        try:
            if action.startswith("hostile "):
                clients.spawn(clients.hostile, action.split()[1], argument)
            elif action in CLIENT_ACTIONS:
                clients.act(action, r)
            else:
                faults.fault(action, r, argument)
        except (OSError, RuntimeError) as error:
            record.problem("the bench carried out its faults", f"{action} on rack {r}: {error}")
    time.sleep(max(0.0, start + duration - time.time()))
    clients.join()


def soak(bench, args, work):
    bench.start_racks(args.racks)
    racks = bench.racks
    truth = [read_truth(r["port"]) for r in racks]
    spare = None
    if "share" in args.hostile or "crowd" in args.hostile:
        # The slow rack is reached through a proxy that delays its replies in its phase.
        spare = len(racks) - 1
        proxy = DelayingProxy(racks[spare]["port"])
        racks[spare]["via"] = proxy.port
        bench.write_bench()
    exporter, eport = start_exporter(bench, args, work, "exporter", racks,
                                     os.path.join(work, "bench"))
    exporter_log = os.path.join(work, "exporter.log")
    if not common.wait_until(lambda: answers(eport), 10):
        raise SystemExit(f"chaos-exporter: the exporter did not start\n{tail(exporter_log)}")
    control = bench.start_control()
    _, cport = start_exporter(bench, args, work, "control", [control], control["bench_file"])
    prom_ports = start_prometheus_pair(bench, racks, eport, control, cport, work)
    start = time.time()

    def all_up():
        try:
            return all([r["value"][1] for r in common.query(p, "count(ksm7720_up == 1)", time.time())]
                       == [str(len(racks) + 1)] for p in prom_ports.values())
        except (OSError, RuntimeError, ValueError):
            return False

    if not common.wait_until(all_up, 60, 0.5):
        raise SystemExit("chaos-exporter: the Prometheus servers did not see every rack up\n"
                         + tail(exporter_log) + tail(os.path.join(work, "prometheus-a.log")))
    time.sleep(3)
    before = exporter_sample(exporter.pid, racks, eport)
    record = Record()
    events, chaos = plan(random.Random(args.seed), racks, truth, args.duration, spare)
    print(f"chaos-exporter: {len(racks)} racks, chaos on {sorted(racks[r]['resource'] for r in chaos)}"
          f", {len(events)} events over {args.duration} s"
          + (f", hostile shapes {', '.join(args.hostile)}" if args.hostile else ""), flush=True)
    record.chaos_start = time.time()
    clients = Clients(bench, record, truth, eport, exporter, floods=not args.no_auth)
    if spare is not None:
        clients.slow_rack = (spare, proxy)
    run(events, args.duration, Faults(bench, record, clients), clients, args.hostile, record)
    record.faulted |= chaos
    time.sleep(args.settle - 10)
    # The level it came back to: the least of ten readings a second apart, so requests that
    # happen to be in flight are not taken for a leak. A closed connection's descriptor is
    # freed when the next connection comes: a request before each reading.
    after = None
    for _ in range(10):
        answers(eport, 1)
        time.sleep(1)
        if exporter.poll() is None:
            now = exporter_sample(exporter.pid, racks, eport)
            after = now if after is None or now["threads"] < after["threads"] else after
    end = time.time()
    alive = exporter.poll() is None and common.wait_until(lambda: answers(eport), 15, 1)
    if not alive:
        record.problem("the exporter never died", f"exporter gone or silent (status "
                       f"{exporter.poll()})\n{tail(exporter_log)}")
    for r, rack in enumerate(racks):
        if read_truth(rack["port"]) != truth[r]:
            record.problem("the bench stood still", f"{rack['resource']} reads otherwise now")
    ups = judge(record, racks, truth, prom_ports, start, end)
    control_ups = [s for port in prom_ports.values() for s in
                   scrapes_of(port, control["resource"], start, end, record.chaos_start)]
    for replica in prom_ports:
        print(f"failed scrapes of Prometheus {replica} by reason: "
              + failed_scrapes(os.path.join(work, f"prometheus-{replica}.log")))
    return summary(record, racks, ups, control_ups, before, after)


def failed_scrapes(log):
    reasons = defaultdict(int)
    for line in open(log):
        if 'msg="Scrape failed"' in line:
            reason = re.search(r'err="((?:[^"\\]|\\.)*)"', line)
            reasons[re.sub(r"127\.0\.0\.1:\d+->127\.0\.0\.1:\d+|\?target=\S+", "",
                           reason.group(1) if reason else "?")] += 1
    return ", ".join(f"{n}x {why}" for why, n in sorted(reasons.items(), key=lambda i: -i[1])) \
        or "none"


if __name__ == "__main__":
    sys.exit(main())
