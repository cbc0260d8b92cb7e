"""The hostile clients of the chaos soak, each on a thread of its own: alias spellings, bursts,
wrong-password floods throughout, and the shapes chosen with --hostile, each in a phase of its
own (slow and held connections are the body and idle shapes')."""
import http.client
import math
import os
import select
import signal
import socket
import threading
import time
import urllib.parse

from soaklib.chaos.harness import USER, auth
from soaklib.chaos.truth import READING_FAMILIES, expected_series, key, parse_exposition

# The shapes --hostile turns on, by name.
HOSTILE = ("body", "idle", "share", "crowd", "burst", "flood")


def address(n):
    """A loopback address of its own for a group of hostile clients (127.0.0.2 and up)."""
    return f"127.0.0.{2 + n}"


def get(port, path, headers, timeout, source="127.0.0.1"):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout,
                                            source_address=(source, 0))
    try:
        connection.request("GET", path, headers=headers)
        response = connection.getresponse()
        return response.status, response.read().decode(errors="replace")
    finally:
        connection.close()


class Clients:
    def __init__(self, bench, record, truth, port, exporter=None, floods=True):
        self.bench, self.record, self.truth = bench, record, truth
        self.port, self.exporter, self.floods = port, exporter, floods
        self.stop = threading.Event()
        self.threads = []
        self.slow_rack = None  # (rack index, DelayingProxy) for the share shape

    def spawn(self, function, *args):
        thread = threading.Thread(target=function, args=args, daemon=True)
        thread.start()
        self.threads.append(thread)

    def act(self, action, r):
        """One of the plan's client actions on rack r."""
        if action == "alias":
            self.record.faulted.add(r)  # its answers may be refusals, counted apart
            self.spawn(self.alias_probes, r)
        elif action == "burst":
            self.spawn(self.burst, r)
        elif action == "flood" and self.floods:
            self.spawn(self.flood, r)

    def join(self):
        self.stop.set()
        for thread in self.threads:
            thread.join(timeout=45)

    # --- throughout the chaos ---

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

    def probe_as(self, r, path, assertion, what, timeout="1", source="127.0.0.1"):
        start = time.time()
        try:
            status, body = get(self.port, path, {"Authorization": auth(),
                                                 "X-Prometheus-Scrape-Timeout-Seconds": timeout},
                               float(timeout) + 9, source)
        except OSError as error:
            self.record.count(f"{what} {type(error).__name__}")
            return
        self.check_probe(r, start, status, body, assertion)

    def alias_probes(self, r):
        la = self.bench.racks[r]["la"]
        for spelling in (f"VXI0::0{la}::INSTR", f"vxi::{la}", f"VXI0::{la}",
                         f"VXI::{la}::INSTR", f"vxi0::{la}::instr"):
            self.probe_as(r, "/probe?target=" + urllib.parse.quote(spelling),
                          "alias spellings refused or the same rack", "alias")

    def probe(self, r):
        self.probe_as(r, "/probe?target=" + self.bench.racks[r]["resource"],
                      "bursts answered truly", "probe")

    def burst(self, r, probes=16):
        threads = [threading.Thread(target=self.probe, args=(r,), daemon=True)
                   for _ in range(probes)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(timeout=15)

    def flood(self, r, clients=6, seconds=3.0, sources=("127.0.0.1",)):
        """Wrong passwords, for a listed user and an unknown one, as fast as answered."""
        target = "/probe?target=" + self.bench.racks[r]["resource"]
        end = time.time() + seconds

        def one(i):
            n = 0
            while time.time() < end and not self.stop.is_set():
                user = USER if i % 2 else "intruder"
                try:
                    status, _ = get(self.port, target, {"Authorization": auth(f"wrong{n}", user)},
                                    10.0, sources[i % len(sources)])
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

    # --- the --hostile shapes, each until `end` ---

    def hostile(self, shape, end):
        with self.record.lock:
            self.record.phases[shape] = (time.time(), end)
        getattr(self, "shape_" + shape)(end)

    def shape_body(self, end):
        """GET requests whose body never ends, from 24 addresses, 46 connections each: half
        chunked, one size byte every 5 s; half announcing 100 bytes and sending none."""
        target = f"/probe?target={self.bench.racks[0]['resource']}"
        head = f"GET {target} HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: {auth()}\r\n"
        chunked = ((head + "Transfer-Encoding: chunked\r\n\r\n").encode(), b"1", 5.0)
        length = ((head + "Content-Length: 100\r\n\r\n").encode(), b"", math.inf)
        slots = [(address(40 + a), chunked if c % 2 else length)
                 for a in range(24) for c in range(46)]
        HeldConnections(self, "body", slots).run(end)

    def shape_idle(self, end):
        """Kept-alive connections from 36 addresses, 32 each, sending `GET /` every 20 s."""
        request = b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"
        slots = [(address(100 + a), (request, request, 20.0)) for a in range(36) for _ in range(32)]
        HeldConnections(self, "idle", slots).run(end)

    def shape_share(self, end):
        """Probes of a slow rack (its replies delayed, a read taking seconds) kept in flight, 15
        from each of two addresses."""
        r, proxy = self.slow_rack
        self.record.faulted.add(r)
        proxy.delay = 0.06
        path = "/probe?target=" + self.bench.racks[r]["resource"]

        def one(source):
            while time.time() < end and not self.stop.is_set():
                start = time.time()
                self.probe_as(r, path, "slow-rack probes answered truly", "slow-rack probe",
                              "10", source)
                # At most ten probes a second each, should the exporter answer at once.
                self.stop.wait(max(0.0, start + 0.1 - time.time()))

        threads = [threading.Thread(target=one, args=(address(i % 2),), daemon=True)
                   for i in range(30)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(timeout=30)
        proxy.delay = 0.0

    def shape_crowd(self, end):
        """Probes of the slow rack kept in flight from 40 addresses, one each: every probe slot
        taken, while the scraper's probes must still get one."""
        r, proxy = self.slow_rack
        self.record.faulted.add(r)
        proxy.delay = 0.06
        path = "/probe?target=" + self.bench.racks[r]["resource"]

        def one(source):
            while time.time() < end and not self.stop.is_set():
                start = time.time()
                self.probe_as(r, path, "slow-rack probes answered truly", "crowd probe", "10",
                              source)
                self.stop.wait(max(0.0, start + 0.1 - time.time()))

        threads = [threading.Thread(target=one, args=(address(140 + i),), daemon=True)
                   for i in range(40)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(timeout=30)
        proxy.delay = 0.0

    def shape_burst(self, end):
        """Every 5 s, 60 probes at once from one address (the healthy racks in turn), as a lone
        Prometheus sends them: each must be served (200) and true, none refused."""
        healthy = [r for r in range(len(self.bench.racks)) if r not in self.record.faulted]

        def one(r):
            start = time.time()
            try:
                status, body = get(self.port, "/probe?target=" + self.bench.racks[r]["resource"],
                                   {"Authorization": auth(),
                                    "X-Prometheus-Scrape-Timeout-Seconds": "10"}, 19, address(250))
            except OSError as error:
                self.record.problem("one-address bursts all served", f"rack {r}: {error}")
                return
            if status != 200:
                self.record.problem("one-address bursts all served", f"rack {r}: {status}")
            self.check_probe(r, start, status, body, "one-address bursts all served")

        while healthy and time.time() + 5 < end and not self.stop.is_set():
            start = time.time()
            threads = [threading.Thread(target=one, args=(healthy[i % len(healthy)],), daemon=True)
                       for i in range(60)]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join(timeout=20)
            self.stop.wait(max(0.0, start + 5 - time.time()))

    def shape_flood(self, end):
        """Every 10 s a reload (SIGHUP) and a 4 s wrong-password flood from 12 addresses."""
        r = 0
        while time.time() + 4 < end and not self.stop.is_set():
            start = time.time()
            self.exporter.send_signal(signal.SIGHUP)
            self.record.count("reloads")
            self.flood(r, clients=12, seconds=4.0, sources=[address(200 + i) for i in range(12)])
            r = (r + 1) % len(self.bench.racks)
            self.stop.wait(max(0.0, start + 10 - time.time()))


class HeldConnections:
    """Connections a hostile client holds open on one thread: each slot (source address,
    (first bytes, next bytes, every seconds)) is opened, sends its first bytes, then its next
    bytes at that pace; answers are read and dropped, and a slot the exporter closed is opened
    again (at most once a second)."""

    def __init__(self, clients, name, slots):
        self.clients, self.name, self.slots = clients, name, slots
        self.sockets = {}  # slot index -> (socket, opened, next send)
        self.last_open = [0.0] * len(slots)

    def run(self, end):
        held_longest = 0.0
        while time.time() < end and not self.clients.stop.is_set():
            now = time.time()
            for i, (source, (first, _, _)) in enumerate(self.slots):
                # Half a second of opening a pass, so a full backlog cannot stall the rest.
                if time.time() - now > 0.5:
                    break
                if i not in self.sockets and now - self.last_open[i] >= 1.0:
                    self.open(i, source, first, now)
            for i, (s, opened, due) in list(self.sockets.items()):
                if now >= due:
                    _, (_, more, every) = self.slots[i]
                    if self.send(i, s, more):
                        self.sockets[i] = (s, opened, now + every)
            # poll, not select: these descriptors go past select's 1,024.
            poller = select.poll()
            by_fd = {}
            for i, (s, opened, _) in self.sockets.items():
                poller.register(s, select.POLLIN)
                by_fd[s.fileno()] = (i, s, opened)
            for fd, _ in poller.poll(500):
                i, s, opened = by_fd[fd]
                if not self.drain(s):
                    held_longest = max(held_longest, time.time() - opened)
                    self.close(i, s, by_exporter=True)
        for i, (s, opened, _) in list(self.sockets.items()):
            held_longest = max(held_longest, time.time() - opened)
            self.close(i, s, by_exporter=False)
        self.clients.record.count(f"{self.name} connections held longest s", round(held_longest))

    def open(self, i, source, first, now):
        self.last_open[i] = now
        try:
            s = socket.socket()
            s.bind((source, 0))
            s.settimeout(0.5)
            s.connect(("127.0.0.1", self.clients.port))
            s.sendall(first)
            s.setblocking(False)
        except OSError:
            s.close()
            self.clients.record.count(f"{self.name} connections refused")
            return
        self.clients.record.count(f"{self.name} connections opened")
        self.sockets[i] = (s, now, now + self.slots[i][1][2])

    def send(self, i, s, data):
        try:
            if data:
                s.send(data)
            return True
        except OSError:
            self.close(i, s, by_exporter=True)
            return False

    def drain(self, s):
        try:
            return bool(s.recv(65536))
        except BlockingIOError:
            return True
        except OSError:
            return False

    def close(self, i, s, by_exporter):
        if by_exporter:
            self.clients.record.count(f"{self.name} connections closed by the exporter")
        s.close()
        del self.sockets[i]


class DelayingProxy:
    """A rack's port that forwards to its simulator, each reply `delay` seconds late: a slow
    rack the simulator alone cannot make."""

    def __init__(self, target):
        self.target, self.delay = target, 0.0
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self.accept, daemon=True).start()

    def accept(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                continue
            try:
                upstream = socket.create_connection(("127.0.0.1", self.target), timeout=5)
            except OSError:
                client.close()
                continue
            upstream.settimeout(None)
            threading.Thread(target=self.pipe, args=(client, upstream, False), daemon=True).start()
            threading.Thread(target=self.pipe, args=(upstream, client, True), daemon=True).start()

    def pipe(self, source, sink, late):
        try:
            while data := source.recv(65536):
                if late and self.delay:
                    time.sleep(self.delay)
                sink.sendall(data)
        except OSError:
            pass
        for s in (source, sink):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        source.close()
