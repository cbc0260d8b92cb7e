#!/usr/bin/env python3
"""Chaos soak of prometheus-ksm7720-exporter: it must never report a wrong verdict.

    scripts/chaos-exporter.py EXPORTER SIMULATOR STANDIN-DIR [--duration S] [--racks N]
                              [--seed N] [--settle S] [--no-auth] [--keep]

On 127.0.0.1 only: N simulated mainframes, one simulator process each, time standing still
(--speed 0, so each reading is what the simulator answers to its own query over the raw
socket, before and after the soak); one exporter with a rack list and basic auth (bcrypt);
two Prometheus servers (Debian's) scraping it every second as an HA pair. For --duration
seconds, seeded faults (hangs, dropped connections, injected error entries, limits set below
a reading, a simulator killed and restarted on its port) on a third of the racks, and hostile
clients (slow headers, wrong passwords, alias spellings of listed racks, bursts of probes).
Then --settle quiet seconds, and it asks both Prometheus servers for every sample they stored.

Exit status 0 when every assertion holds, 1 when one fails (each is printed), 2 on a usage
error, 77 when Debian's prometheus is not installed. Everything it starts is stopped when it
ends, also on failure, Ctrl+C or SIGTERM.
"""
import argparse
import base64
import http.client
import json
import math
import os
import random
import re
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
from collections import defaultdict
from dataclasses import dataclass

USER, PASSWORD = "scraper", "chaos-scraper-password"
# bcrypt (cost 10) of PASSWORD: a wrong password costs the exporter one real check.
PASSWORD_HASH = "$2b$10$wCbdiULmOCPQ4B68WDsst.DhgDfgk8gmmk/58v8.j3Wvp2E7i.br."
SCRAPE_TIMEOUT = 1.0
# A sample is stamped when its scrape starts; the scrape reads within one time-out after.
MARGIN = SCRAPE_TIMEOUT + 0.5
SUPPLIES = ["P5", "P12", "N12", "P24", "N24", "N5PT2", "N2"]
POSITIONS = ["front", "middle", "rear"]
SENSORS = [f"OUT{i}" for i in range(13)] + [f"DELT{i}" for i in range(13)] + ["AMBIENT"]
CODES = [c for c in range(53) if c not in (34, 49)]
READING_FAMILIES = {"ksm7720_blower_speed_rpm", "ksm7720_supply_voltage_volts",
                    "ksm7720_supply_current_amperes", "ksm7720_supply_power_watts",
                    "ksm7720_slot_air_temperature_celsius",
                    "ksm7720_slot_temperature_rise_celsius", "ksm7720_ambient_temperature_celsius"}
PORTS = (20000, 32767)  # below the ephemeral range: no outgoing socket takes a killed rack's port


class Interrupted(Exception):
    pass


@dataclass
class Excursion:
    """A limit the bench held below a rack's readings: the objects, and when (time.time())."""
    rack: int
    objects: set  # {(quantity, object)} as the over-limit series label them
    sent: float  # the low limit went out
    taken: float = None  # the mainframe answered that it took it
    restoring: float = None  # the old limit went out
    restored: float = math.inf  # the mainframe answered that it took it back


def code_series(code):
    """The series of an object code's values (name, labels) in order, its divisor and the
    over-limit series' (quantity, object)."""
    if code < 26:
        name = "ksm7720_slot_air_temperature_celsius" if code < 13 else \
            "ksm7720_slot_temperature_rise_celsius"
        quantity = "slot_air_temperature" if code < 13 else "slot_temperature_rise"
        series = [(name, {"slot": str(code % 13), "position": p}) for p in POSITIONS]
        return series, 10.0, (quantity, SENSORS[code])
    if code == 26:
        return [("ksm7720_ambient_temperature_celsius", {})], 10.0, ("ambient_temperature", "AMBIENT")
    if code >= 50:
        return [("ksm7720_blower_speed_rpm", {"blower": str(code - 49)})], 1.0, \
            ("blower_speed", f"BLOW{code - 49}")
    for base, name, quantity in ((27, "power_watts", "supply_power"),
                                 (35, "current_amperes", "supply_current"),
                                 (42, "voltage_volts", "supply_voltage")):
        if base <= code < base + 7:
            supply = SUPPLIES[code - base]
            return [(f"ksm7720_supply_{name}", {"supply": supply})], 1000.0, (quantity, supply)
    raise ValueError(code)


def key(name, labels):
    return name, tuple(sorted(labels.items()))


def expected_series(truth):
    """The exporter's series and values for one rack's raw readings."""
    expected = {}
    for code, values in truth.items():
        series, divisor, _ = code_series(code)
        for (name, labels), value in zip(series, values):
            expected[key(name, labels)] = value / divisor
    return expected


def parse_exposition(text):
    samples = []
    for line in text.splitlines():
        match = re.match(r"^([a-zA-Z_:][a-zA-Z0-9_:]*)(?:\{(.*)\})? (\S+)$", line)
        if match:
            labels = dict(re.findall(r'(\w+)="((?:[^"\\]|\\.)*)"', match.group(2) or ""))
            samples.append((match.group(1), labels, float(match.group(3))))
    return samples


def pick_port(used):
    for _ in range(200):
        port = random.SystemRandom().randint(*PORTS)
        if port in used:
            continue
        with socket.socket() as s:
            try:
                s.bind(("127.0.0.1", port))
            except OSError:
                continue
        used.add(port)
        return port
    raise RuntimeError("no free loopback port")


def auth(password=PASSWORD, user=USER):
    return "Basic " + base64.b64encode(f"{user}:{password}".encode()).decode()


def http_get(port, path, headers=None, timeout=10.0):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout)
    try:
        connection.request("GET", path, headers=headers or {})
        response = connection.getresponse()
        return response.status, response.read().decode(errors="replace")
    finally:
        connection.close()


def scpi(port, lines, replies, timeout=3.0):
    """Sends lines to a simulator over a raw socket and reads that many reply lines."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall("".join(line + "\n" for line in lines).encode())
        reader = s.makefile("r", encoding="ascii", newline="\n")
        return [reader.readline().strip() for _ in range(replies)]


def wait_until(condition, seconds, step=0.2):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if condition():
            return True
        time.sleep(step)
    return False


def proc_sample(pid, racks, exporter_port):
    stat = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    kinds = fd_kinds(pid, racks, exporter_port)
    return {"rss_mib": int(stat[21]) * os.sysconf("SC_PAGE_SIZE") / 2**20,
            "threads": int(stat[17]), "fds": len(os.listdir(f"/proc/{pid}/fd")),
            "clients": kinds.get("socket client established", 0),
            "fd kinds": ", ".join(f"{k}: {v}" for k, v in sorted(kinds.items()))}


def fd_kinds(pid, racks, exporter_port):
    """The exporter's descriptors by kind: its sockets by peer and TCP state."""
    states = {"01": "established", "06": "time-wait", "08": "close-wait", "0A": "listening"}
    simulators = {r["port"] for r in racks}
    sockets = {}
    for table in ("tcp", "tcp6"):
        for line in open(f"/proc/net/{table}").readlines()[1:]:
            fields = line.split()
            local, remote = (int(a.split(":")[1], 16) for a in fields[1:3])
            sockets[fields[9]] = (local, remote, states.get(fields[3], fields[3]))
    unix = {line.split()[6] for line in open("/proc/net/unix").readlines()[1:]}
    kinds = defaultdict(int)
    for fd in os.listdir(f"/proc/{pid}/fd"):
        try:
            target = os.readlink(f"/proc/{pid}/fd/{fd}")
        except OSError:
            continue
        inode = re.match(r"socket:\[(\d+)\]", target)
        if inode and inode.group(1) in sockets:
            local, remote, state = sockets[inode.group(1)]
            peer = "simulator" if remote in simulators else \
                "client" if local == exporter_port else f"port {remote}"
            kinds[f"socket {peer} {state}"] += 1
        elif inode:
            kinds["unix socket" if inode.group(1) in unix else "socket in no TCP table"] += 1
        else:
            kinds[re.sub(r"[:\[].*", "", target)] += 1
    return kinds


class Bench:
    """The processes the soak starts, each stopped by its own pid when the soak ends."""

    def __init__(self, work, args):
        self.work, self.args = work, args
        self.processes = []
        self.ports = set()
        self.lock = threading.Lock()
        self.racks = []

    def start(self, argv, log, env=None):
        with open(log, "w") as out:
            process = subprocess.Popen(argv, stdout=out, stderr=subprocess.STDOUT,
                                       stdin=subprocess.DEVNULL, env=env)
        with self.lock:
            self.processes.append(process)
        return process

    def stop_all(self):
        with self.lock:
            processes = list(reversed(self.processes))
        for process in processes:
            if process.poll() is None:
                process.terminate()
        deadline = time.time() + 15
        for process in processes:
            try:
                process.wait(timeout=max(0.1, deadline - time.time()))
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()

    def start_sim(self, rack, attempt):
        bench = os.path.join(self.work, f"{rack['name']}.bench")
        with open(bench, "w") as f:
            f.write(rack["bench"].format(port=rack["port"]))
        log = os.path.join(self.work, f"{rack['name']}.{attempt}.log")
        rack["process"] = self.start(
            [self.args.simulator, "--bench", bench, "--speed", "0",
             "--resolved", os.path.join(self.work, f"{rack['name']}.resolved")], log)
        return wait_until(lambda: "ksm7720-sim: listening" in open(log).read(), 5)

    def start_racks(self, count):
        for r in range(count):
            la = 24 + r
            rack = {"name": f"rack{r}", "lab": f"lab-bay-{r + 1:02d}", "la": la,
                    "resource": f"VXI0::{la}::INSTR", "blowers": 1 + r % 3}
            rack["bench"] = (f"instrument {rack['name']} mainframe port={{port}} seed={r + 1} "
                             f"blowers={rack['blowers']}\nresource {rack['resource']} "
                             f"{rack['name']} intf=VXI manf=3372 model=2861\n")
            self.racks.append(rack)
        for rack in self.racks:
            for attempt in range(5):
                rack["port"] = pick_port(self.ports)
                if self.start_sim(rack, attempt):
                    break
            else:
                raise RuntimeError(f"simulator {rack['name']} did not start")
        with open(os.path.join(self.work, "bench"), "w") as f:
            f.write("".join(r["bench"].format(port=r["port"]) for r in self.racks))

    def restart_sim(self, rack):
        """A killed simulator again on its own port (freed at once: SO_REUSEADDR)."""
        for attempt in range(10):
            if self.start_sim(rack, f"restart{time.time():.0f}.{attempt}"):
                return True
            time.sleep(0.5)
        return False


def read_truth(port):
    replies = scpi(port, [f"MEAS:LEV? {c}" for c in CODES] + ["SYST:ERR?"], len(CODES) + 1)
    if not replies[-1].startswith("0,"):
        raise RuntimeError(f"reading the truth queued an error: {replies[-1]}")
    return {c: [float(v) for v in reply.split(",")] for c, reply in zip(CODES, replies)}


class Record:
    """What the bench did and saw, shared by the fault loop and the hostile clients."""

    def __init__(self):
        self.lock = threading.Lock()
        self.excursions = []
        self.faulted = set()  # racks a fault was injected on (aliases included)
        self.problems = defaultdict(list)  # assertion -> messages
        self.counts = defaultdict(int)
        self.timeline = defaultdict(list)  # action -> "+seconds(rack)"

    def problem(self, assertion, message):
        with self.lock:
            self.problems[assertion].append(message)

    def count(self, what, n=1):
        with self.lock:
            self.counts[what] += n

    def excursion_at(self, rack, objects, start, end):
        """Whether the bench held a limit of one of objects below its reading on the rack at a
        time within [start - MARGIN, end + MARGIN]."""
        with self.lock:
            return any(e.rack == rack and objects & e.objects and e.sent - MARGIN <= end and
                       start <= e.restored + MARGIN for e in self.excursions)


def plan(rng, racks, truth, duration):
    """The seeded schedule: (offset, action, rack index, argument), sorted."""
    events = []
    chaos = rng.sample(range(len(racks)), max(1, len(racks) // 3))
    for r in chaos:
        limitable = [c for c in CODES if min(abs(v) for v in truth[r][c]) > 1]
        t = rng.uniform(0, 4)
        while True:
            kind = rng.choice(["hang", "drop", "errors", "limit", "limit", "kill"])
            length = {"hang": rng.uniform(2, 6), "drop": 1, "errors": 1,
                      "limit": rng.uniform(5, 9), "kill": rng.uniform(2, 5)}[kind]
            if t + length > duration - 1:
                break
            if kind == "hang":
                events += [(t, "hang", r, None), (t + length, "resume", r, None)]
            elif kind == "drop":
                events.append((t, "drop", r, None))
            elif kind == "errors":
                events.append((t, "errors", r, rng.randint(1, 5)))
            elif kind == "kill":
                events += [(t, "kill", r, None), (t + length, "restart", r, None)]
            else:
                # A few objects, or a rack running hot (all but blower 1, which a scrape reads
                # first): then a hang or a drop more likely cuts a scrape between a reading
                # and its look at the queue, and a verdict taken from that for blower 1 shows.
                hot = [c for c in limitable if c != 50]
                codes = rng.choice([rng.sample(limitable, rng.randint(1, 4)), hot])
                events += [(t, "limit", r, codes), (t + length, "restore", r, codes),
                           (t + 0.5, "alias", r, None)]
                # A hang or a drop while the mainframe queues excursions, a few milliseconds
                # into a probe of the bench's own.
                inner = rng.choice(["hang", "drop", None])
                at, into = t + rng.uniform(1.5, length - 3), rng.uniform(0.005, 0.04)
                if codes is hot:  # a drop every 1.5 s
                    events += [(t + 1 + 1.5 * i, "drop", r, rng.uniform(0.002, 0.03))
                               for i in range(int((length - 2) / 1.5))]
                elif inner == "hang":
                    events += [(at, "hang", r, into), (at + rng.uniform(1, 2), "resume", r, None)]
                elif inner == "drop":
                    events.append((at, "drop", r, into))
            t += length + rng.uniform(1.5, 4)
    t = 1.0
    while t < duration - 2:
        events.append((t, "alias", rng.choice(chaos), None))
        if rng.random() < 0.3:
            events.append((t + 0.3, "burst", rng.randrange(len(racks)), None))
        if rng.random() < 0.15:
            events.append((t + 0.6, "flood", rng.randrange(len(racks)), None))
        t += rng.uniform(1.5, 3)
    return sorted(events, key=lambda e: e[0]), set(chaos)


class Soak:
    def __init__(self, bench, record, truth, exporter_port):
        self.bench, self.record, self.truth = bench, record, truth
        self.port = exporter_port
        self.stop = threading.Event()
        self.threads = []
        self.slow = {"opened": 0, "closed_by_exporter": 0, "longest": 0.0}
        self.floods = True

    def spawn(self, function, *args):
        thread = threading.Thread(target=function, args=args, daemon=True)
        thread.start()
        self.threads.append(thread)

    # --- faults, carried out on the main thread ---

    def fault(self, action, r, argument):
        rack = self.bench.racks[r]
        port = rack["port"]
        if action not in ("burst", "flood"):
            self.record.faulted.add(r)
        if action in ("hang", "resume", "drop", "errors"):
            if action in ("hang", "drop") and argument is not None:
                # Cuts that probe, most likely between a reading and its look at the queue,
                # more often than a fault at a random moment would cut a scrape.
                self.spawn(self.probe, r)
                time.sleep(argument)
            command = {"hang": "SIMulate:HANG 0", "resume": "SIMulate:RESume",
                       "drop": "SIMulate:DROP", "errors": f"SIMulate:ERRor {argument}"}[action]
            # A SIMulate query answers even while the mainframe hangs: the command was taken.
            lines = [command] if action == "drop" else [command, "SIMulate:SPEed?"]
            scpi(port, lines, len(lines) - 1)
        elif action == "limit":
            old = scpi(port, [f"LIM? {c}" for c in argument], len(argument))
            rack.setdefault("saved_limits", {}).update(zip(argument, old))
            objects = {code_series(c)[2] for c in argument}
            entry = Excursion(r, objects, time.time())
            with self.record.lock:
                self.record.excursions.append(entry)
            replies = scpi(port, [f"LIM {c},1;*OPC?" for c in argument], len(argument))
            if replies != ["1"] * len(argument):
                raise RuntimeError(f"{rack['resource']} did not take the limits: {replies}")
            entry.taken = time.time()
            rack["excursion"] = entry
        elif action == "restore":
            lines = [f"LIM {c},{rack['saved_limits'][c]};*OPC?" for c in argument]
            rack["excursion"].restoring = time.time()
            if scpi(port, lines, len(lines)) != ["1"] * len(lines):
                raise RuntimeError(f"{rack['resource']} did not take back its limits")
            rack["excursion"].restored = time.time()
        elif action == "kill":
            rack["process"].kill()
            rack["process"].wait()
        elif action == "restart":
            if not self.bench.restart_sim(rack):
                raise RuntimeError(f"simulator {rack['name']} did not start again on {port}")
        elif action == "alias":
            self.spawn(self.alias_probes, r)
        elif action == "burst":
            self.spawn(self.burst, r)
        elif action == "flood" and self.floods:
            self.spawn(self.flood, r)

    # --- hostile clients, each on a thread of its own ---

    def check_probe(self, r, start, status, body, assertion):
        """An answer of a probe of rack r: refused, busy, down, or the rack's true readings
        and only the excursions the bench caused."""
        self.record.count(f"{assertion} status {status}")
        if status in (403, 503):
            return
        if status != 200:
            self.record.problem(assertion, f"probe of rack {r} answered {status}: {body[:80]}")
            return
        samples = parse_exposition(body)
        if ("ksm7720_up", {}, 1.0) not in samples:
            self.record.count(f"{assertion} ksm7720_up 0")
            return
        expected = expected_series(self.truth[r])
        resource = self.bench.racks[r]["resource"]
        for name, labels, value in samples:
            if name in READING_FAMILIES and not math.isclose(
                    expected.get(key(name, labels), math.nan), value, rel_tol=1e-9):
                self.record.problem(assertion, f"{resource} {name}{labels} answered {value}, "
                                    f"simulator {expected.get(key(name, labels))}")
            if name == "ksm7720_over_limit" and value == 1 and not self.record.excursion_at(
                    r, {(labels.get("quantity"), labels.get("object"))}, start, time.time()):
                self.record.problem(assertion, f"{resource} over limit {labels} at {start:.1f} "
                                    "without an excursion of the bench")

    def alias_probes(self, r):
        la = self.bench.racks[r]["la"]
        for spelling in (f"VXI0::0{la}::INSTR", f"vxi::{la}", f"VXI0::{la}",
                         f"VXI::{la}::INSTR", f"vxi0::{la}::instr"):
            start = time.time()
            try:
                status, body = http_get(self.port, "/probe?target=" + urllib.parse.quote(spelling),
                                        {"Authorization": auth(),
                                         "X-Prometheus-Scrape-Timeout-Seconds": "1"})
            except OSError as error:
                self.record.count(f"alias {type(error).__name__}")
                continue
            self.check_probe(r, start, status, body, "alias spellings refused or the same rack")

    def probe(self, r):
        start = time.time()
        try:
            status, body = http_get(self.port, "/probe?target=" + self.bench.racks[r]["resource"],
                                    {"Authorization": auth(),
                                     "X-Prometheus-Scrape-Timeout-Seconds": "1"})
        except OSError as error:
            self.record.count(f"probe {type(error).__name__}")
            return
        self.check_probe(r, start, status, body, "bursts answered truly")

    def burst(self, r, probes=16):
        threads = [threading.Thread(target=self.probe, args=(r,), daemon=True)
                   for _ in range(probes)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(timeout=15)

    def flood(self, r, clients=6, seconds=3.0):
        target = "/probe?target=" + self.bench.racks[r]["resource"]
        end = time.time() + seconds

        def one(i):
            n = 0
            while time.time() < end and not self.stop.is_set():
                user = USER if i % 2 else "intruder"
                try:
                    status, _ = http_get(self.port, target, {"Authorization": auth(f"wrong{n}", user)})
                except OSError as error:
                    self.record.count(f"wrong password {type(error).__name__}")
                    time.sleep(0.05)
                    continue
                finally:
                    n += 1
                self.record.count(f"wrong password status {status}")
                if status not in (401, 429, 503):
                    self.record.problem("wrong passwords refused", f"a wrong password got {status}")

        threads = [threading.Thread(target=one, args=(i,), daemon=True) for i in range(clients)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(timeout=30)

    def slow_header(self, r):
        """Sends a probe's request a byte a second, for at most 40 s a connection."""
        request = (f"GET /probe?target={self.bench.racks[r]['resource']} HTTP/1.1\r\n"
                   f"Host: 127.0.0.1\r\nAuthorization: {auth()}\r\n\r\n").encode()
        while not self.stop.is_set():
            start = time.time()
            closed = False
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=5) as s:
                    self.record.count("slow-header connections")
                    for byte in request[:40]:
                        s.sendall(bytes([byte]))
                        readable, _, _ = select.select([s], [], [], 1.0)
                        if readable or self.stop.is_set():
                            closed = bool(readable)
                            break
            except OSError:
                closed = True
            with self.record.lock:
                self.slow["opened"] += 1
                self.slow["closed_by_exporter"] += closed
                self.slow["longest"] = max(self.slow["longest"], time.time() - start)

    def run(self, events, duration):
        start = time.time()
        for i in range(6):
            self.spawn(self.slow_header, i % len(self.bench.racks))
        for offset, action, r, argument in events:
            time.sleep(max(0.0, start + offset - time.time()))
            self.record.timeline[action].append(f"+{time.time() - start:.1f}({r})")
            try:
                self.fault(action, r, argument)
            except (OSError, RuntimeError) as error:
                self.record.problem("the bench carried out its faults",
                                    f"{action} on rack {r}: {error}")
        time.sleep(max(0.0, start + duration - time.time()))
        self.stop.set()
        for thread in self.threads:
            thread.join(timeout=45)


def prometheus_config(racks, exporter_port, replica):
    targets = "".join(f"          - {r['resource']}\n" for r in racks)
    return f"""global:
  scrape_interval: 1s
  scrape_timeout: {SCRAPE_TIMEOUT:g}s
  evaluation_interval: 1s
  external_labels:
    replica: {replica}
scrape_configs:
  - job_name: ksm7720
    metrics_path: /probe
    basic_auth:
      username: {USER}
      password: {PASSWORD}
    static_configs:
      - targets:
{targets}    relabel_configs:
      - source_labels: [__address__]
        target_label: __param_target
      - source_labels: [__param_target]
        target_label: instance
      - target_label: __address__
        replacement: 127.0.0.1:{exporter_port}
"""


def query(port, expression, at):
    path = "/api/v1/query?" + urllib.parse.urlencode({"query": expression, "time": f"{at:.3f}"})
    status, body = http_get(port, path, timeout=60)
    if status != 200:
        raise RuntimeError(f"Prometheus on {port} answered {status} to {expression}: {body[:200]}")
    return json.loads(body)["data"]["result"]


def stored_samples(port, resource, start, end, window=300):
    """Every sample Prometheus stored for one rack: {timestamp: {(name, labels): value}}."""
    scrapes = defaultdict(dict)
    at = end
    while at > start:
        selector = f'{{instance="{resource}",__name__=~"up|ksm7720_.+"}}[{window}s]'
        for series in query(port, selector, at):
            labels = {k: v for k, v in series["metric"].items()
                      if k not in ("__name__", "instance", "job")}
            name = series["metric"]["__name__"]
            for timestamp, value in series["values"]:
                if timestamp >= start:
                    scrapes[round(timestamp, 3)][key(name, labels)] = float(value)
        at -= window
    return scrapes


def judge(record, racks, truth, prom_ports, start, end, chaos_start):
    """The assertions on what both Prometheus servers stored."""
    ups = {}
    for replica, port in prom_ports.items():
        for r, rack in enumerate(racks):
            expected = expected_series(truth[r])
            scrapes = stored_samples(port, rack["resource"], start, end)
            scrape_count = healthy = 0
            downs = []
            for timestamp, samples in scrapes.items():
                up = samples.get(key("ksm7720_up", {}))
                for (name, labels), value in samples.items():
                    where = f"{replica}: {rack['resource']} at {timestamp:.3f} {name}{dict(labels)}"
                    if name in READING_FAMILIES:
                        record.count("reading samples checked")
                        if up != 1:
                            record.problem("values equal the simulator's", f"{where} stored "
                                           f"while ksm7720_up was {up}")
                        elif not math.isclose(expected.get((name, labels), math.nan), value,
                                              rel_tol=1e-9):
                            record.problem("values equal the simulator's", f"{where} = {value}, "
                                           f"simulator {expected.get((name, labels))}")
                    elif name == "ksm7720_over_limit":
                        judge_verdict(record, r, dict(labels), timestamp, value, where)
                if timestamp >= chaos_start and key("up", {}) in samples:
                    scrape_count += 1
                    healthy += up == 1
                    if up != 1:
                        failed = samples[key("up", {})] == 0
                        downs.append(f"+{timestamp - chaos_start:.1f}" + ("!" if failed else ""))
            ups[(replica, r)] = (healthy, scrape_count, sorted(downs, key=lambda d: float(d.strip("+!"))))
    return ups


def judge_verdict(record, r, labels, timestamp, value, where):
    objects = {(labels.get("quantity"), labels.get("object"))}
    record.count("verdict samples checked")
    if value == 1:
        record.count("over-limit samples")
        if not record.excursion_at(r, objects, timestamp, timestamp):
            record.problem("every over-limit sample was caused by the bench",
                           f"{where} without an excursion of the bench")
        return
    # A scrape that began after the limit was set and ended before it was restored read the
    # object beyond its limit.
    with record.lock:
        held = any(e.rack == r and objects & e.objects and e.taken is not None and
                   e.taken <= timestamp and e.restoring is not None and
                   timestamp + MARGIN <= e.restoring for e in record.excursions)
    if held:
        record.problem("every excursion the bench caused was reported",
                       f"{where} = 0 while the bench held its limit below the reading")


def main():
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
    parser.add_argument("--keep", action="store_true", help="keep the work folder and its logs")
    args = parser.parse_args()
    if not 3 <= args.racks <= 60 or not 10 <= args.duration <= 7200 or not 5 <= args.settle <= 600:
        parser.error("3..60 racks, 10..7200 seconds of chaos, 5..600 seconds to settle")
    if not shutil.which("prometheus"):
        print("SKIPPED: prometheus is not installed (Debian package prometheus)")
        return 77
    for path in (args.exporter, args.simulator):
        if not os.access(path, os.X_OK):
            parser.error(f"not a program: {path}")
    args.seed = args.seed if args.seed is not None else random.SystemRandom().randrange(10**9)
    print(f"chaos-exporter: seed {args.seed} (--seed {args.seed} replays these faults)", flush=True)

    def interrupt(signum, _frame):
        for other in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            signal.signal(other, signal.SIG_IGN)  # the clean-up is not cut short
        raise Interrupted(signal.Signals(signum).name)

    for signum in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, interrupt)
    work = tempfile.mkdtemp(prefix="ksm7720-chaos-")
    bench = Bench(work, args)
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


def tail(path, lines=15):
    try:
        return "".join(open(path).readlines()[-lines:])
    except OSError:
        return ""


def soak(bench, args, work):
    bench.start_racks(args.racks)
    racks = bench.racks
    truth = [read_truth(r["port"]) for r in racks]
    with open(os.path.join(work, "racks.yml"), "w") as f:
        f.write("racks:\n" + "".join(
            f"  - resource: {r['resource']}\n    name: {r['lab']}\n    blowers: {r['blowers']}\n"
            for r in racks))
    with open(os.path.join(work, "web.yml"), "w") as f:
        f.write(f"basic_auth_users:\n  {USER}: {PASSWORD_HASH}\n")
    standin = os.path.abspath(args.standin)
    env = dict(os.environ, KSM7720_BENCH=os.path.join(work, "bench"),
               LD_LIBRARY_PATH=standin + ":" + os.environ.get("LD_LIBRARY_PATH", ""),
               KSM7720_VISA_LIBRARY=os.path.join(standin, "libvisa.so"),
               KSM7720_DRIVER_LIBRARY=os.path.join(standin, "libksm7720_32.so"))
    eport = pick_port(bench.ports)
    exporter_log = os.path.join(work, "exporter.log")
    exporter = bench.start([args.exporter, f"--web.listen-address=127.0.0.1:{eport}",
                            f"--config.file={work}/racks.yml"] +
                           ([] if args.no_auth else [f"--web.config.file={work}/web.yml"]),
                           exporter_log, env)

    def answers(timeout=2):
        try:
            return http_get(eport, "/metrics", {"Authorization": auth()}, timeout)[0] == 200
        except OSError:
            return False

    if not wait_until(answers, 10):
        raise SystemExit(f"chaos-exporter: the exporter did not start\n{tail(exporter_log)}")
    prom_ports = {}
    for replica in ("a", "b"):
        pport = pick_port(bench.ports)
        config = os.path.join(work, f"prometheus-{replica}.yml")
        with open(config, "w") as f:
            f.write(prometheus_config(racks, eport, replica))
        bench.start(["prometheus", f"--config.file={config}",
                     f"--storage.tsdb.path={work}/data-{replica}",
                     f"--web.listen-address=127.0.0.1:{pport}", "--log.level=debug"],
                    os.path.join(work, f"prometheus-{replica}.log"))
        prom_ports[replica] = pport
    start = time.time()

    def all_up():
        try:
            return all([r["value"][1] for r in query(p, "count(ksm7720_up == 1)", time.time())]
                       == [str(len(racks))] for p in prom_ports.values())
        except (OSError, RuntimeError, ValueError):
            return False

    if not wait_until(all_up, 60, 0.5):
        raise SystemExit("chaos-exporter: the Prometheus servers did not see every rack up\n"
                         + tail(exporter_log) + tail(os.path.join(work, "prometheus-a.log")))
    time.sleep(3)
    before = proc_sample(exporter.pid, racks, eport)
    record = Record()
    events, chaos = plan(random.Random(args.seed), racks, truth, args.duration)
    print(f"chaos-exporter: {len(racks)} racks, chaos on {sorted(racks[r]['resource'] for r in chaos)}"
          f", {len(events)} events over {args.duration} s", flush=True)
    chaos_start = time.time()
    chaos_run = Soak(bench, record, truth, eport)
    chaos_run.floods = not args.no_auth
    chaos_run.run(events, args.duration)
    record.faulted |= chaos
    print("slow-header clients: {opened} connections, {closed_by_exporter} closed by the exporter, "
          "longest held {longest:.0f} s".format(**chaos_run.slow))
    time.sleep(args.settle - 10)
    # The level it came back to: the least of ten readings a second apart, so requests that
    # happen to be in flight are not taken for a leak. A closed connection's descriptor is
    # freed when the next connection comes: a request before each reading.
    after = None
    for _ in range(10):
        answers(1)
        time.sleep(1)
        if exporter.poll() is None:
            now = proc_sample(exporter.pid, racks, eport)
            after = now if after is None or now["threads"] < after["threads"] else after
    end = time.time()
    alive = exporter.poll() is None and wait_until(answers, 15, 1)
    if not alive:
        record.problem("the exporter never died", f"exporter gone or silent (status "
                       f"{exporter.poll()})\n{tail(exporter_log)}")
    for r, rack in enumerate(racks):
        if read_truth(rack["port"]) != truth[r]:
            record.problem("the bench stood still", f"{rack['resource']} reads otherwise now")
    ups = judge(record, racks, truth, prom_ports, start, end, chaos_start)
    for replica in prom_ports:
        reasons = defaultdict(int)
        for line in open(os.path.join(work, f"prometheus-{replica}.log")):
            if 'msg="Scrape failed"' in line:
                reason = re.search(r'err="((?:[^"\\]|\\.)*)"', line)
                reasons[re.sub(r"127\.0\.0\.1:\d+->127\.0\.0\.1:\d+|\?target=\S+", "", reason.group(1)
                                   if reason else "?")] += 1
        print(f"failed scrapes of Prometheus {replica} by reason: " + (", ".join(
            f"{n}x {why}" for why, n in sorted(reasons.items(), key=lambda i: -i[1])) or "none"))
    return summary(record, racks, ups, before, after, chaos)


def summary(record, racks, ups, before, after, chaos):
    assertions = ["values equal the simulator's", "every over-limit sample was caused by the bench",
                  "every excursion the bench caused was reported",
                  "healthy racks up in 99 % of scrapes", "the exporter never died",
                  "memory, threads and descriptors came back",
                  "alias spellings refused or the same rack", "bursts answered truly",
                  "wrong passwords refused", "the bench stood still",
                  "the bench carried out its faults"]
    # Both servers' scrapes of a rack count together; 99 % is rounded down to a whole scrape,
    # so a minute's soak allows one or two missed scrapes of a healthy rack, not none.
    for r in sorted({r for _, r in ups} - set(record.faulted)):
        rows = [(replica, v) for (replica, rr), v in sorted(ups.items()) if rr == r]
        healthy = sum(v[0] for _, v in rows)
        scrapes = sum(v[1] for _, v in rows)
        if scrapes == 0 or healthy < math.floor(0.99 * scrapes):
            downs = "; ".join(f"{replica} at {' '.join(v[2])}" for replica, v in rows if v[2])
            record.problem("healthy racks up in 99 % of scrapes",
                           f"{racks[r]['resource']} up in {healthy} of {scrapes} scrapes; "
                           f"down: {downs}")
    if after is not None:
        # Prometheus may keep more connections open after the chaos than before (a thread and
        # a descriptor each): those are compared with what two servers may hold, the rest
        # with the reading before the faults.
        own = {what: (before[what] - before["clients"], after[what] - after["clients"])
               for what in ("threads", "fds")}
        checks = [("resident MiB", before["rss_mib"], after["rss_mib"], before["rss_mib"] * 1.25 + 8),
                  ("threads besides connections", *own["threads"], own["threads"][0] + 3),
                  ("descriptors besides connections", *own["fds"], own["fds"][0] + 3),
                  ("client connections", before["clients"], after["clients"], 2 * len(racks) + 2)]
        for what, was, now, limit in checks:
            if now > limit:
                record.problem("memory, threads and descriptors came back",
                               f"{what}: {was:.1f} before the faults, {now:.1f} after "
                               f"(at most {limit:.1f})")
    for when, figures in (("before the faults", before), ("after", after)):
        if figures is not None:
            print(f"exporter {when}: {figures['rss_mib']:.1f} MiB, {figures['threads']} threads, "
                  f"{figures['fds']} descriptors ({figures['fd kinds']})")
    healthy = [v for (_, r), v in ups.items() if r not in record.faulted]
    faulted = [v for (_, r), v in ups.items() if r in record.faulted]
    for what, values in (("healthy", healthy), ("faulted", faulted)):
        if values:
            print(f"{what} racks: up in {sum(v[0] for v in values)} of "
                  f"{sum(v[1] for v in values)} scrapes")
    print("counts: " + ", ".join(f"{k} {v}" for k, v in sorted(record.counts.items())))
    print(f"limit excursions caused: {len(record.excursions)}")
    print("seconds into the chaos (rack index) of each action:")
    for action, times in sorted(record.timeline.items()):
        print(f"  {action}: {' '.join(times)}")
    print("healthy racks' down scrapes are listed by seconds into the chaos; '!' marks a scrape "
          "that failed, the others answered ksm7720_up 0")
    failed = 0
    for assertion in assertions:
        problems = record.problems.get(assertion, [])
        print(f"{'FAIL' if problems else 'ok  '} {assertion}" +
              (f" ({len(problems)})" if problems else ""))
        for message in problems[:40]:
            print(f"       {message}")
        failed += bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
