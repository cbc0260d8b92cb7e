"""The seeded fault plan and the faults the bench carries out on the simulators."""
import time

from soaklib.chaos.record import Excursion
from soaklib.chaos.truth import CODES, code_series, scpi

# The plan's actions that hostile clients carry out; the others are faults of a rack.
CLIENT_ACTIONS = ("alias", "burst", "flood")


def plan(rng, racks, truth, duration, spare=None):
    """The seeded schedule: (offset, action, rack index, argument), sorted, and the racks with
    faults; the rack `spare` gets none."""
    events = []
    chaos = rng.sample([r for r in range(len(racks)) if r != spare], max(1, len(racks) // 3))
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
                events += limit_events(rng, r, t, length, limitable)
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


def limit_events(rng, r, t, length, limitable):
    """A limit held below a few readings, or a rack running hot (all but blower 1, which a
    scrape reads first): then a hang or a drop more likely cuts a scrape between a reading and
    its look at the queue, and a verdict taken from that for blower 1 shows."""
    hot = [c for c in limitable if c != 50]
    codes = rng.choice([rng.sample(limitable, rng.randint(1, 4)), hot])
    events = [(t, "limit", r, codes), (t + length, "restore", r, codes), (t + 0.5, "alias", r, None)]
    # A hang or a drop while the mainframe queues excursions, a few milliseconds into a probe
    # of the bench's own.
    inner = rng.choice(["hang", "drop", None])
    at, into = t + rng.uniform(1.5, length - 3), rng.uniform(0.005, 0.04)
    if codes is hot:  # a drop every 1.5 s
        events += [(t + 1 + 1.5 * i, "drop", r, rng.uniform(0.002, 0.03))
                   for i in range(int((length - 2) / 1.5))]
    elif inner == "hang":
        events += [(at, "hang", r, into), (at + rng.uniform(1, 2), "resume", r, None)]
    elif inner == "drop":
        events.append((at, "drop", r, into))
    return events


class Faults:
    """Carries out a rack's faults on the thread that calls `fault`."""

    def __init__(self, bench, record, clients):
        self.bench, self.record, self.clients = bench, record, clients

    def fault(self, action, r, argument):
        rack = self.bench.racks[r]
        port = rack["port"]
        self.record.faulted.add(r)
        if action in ("hang", "resume", "drop", "errors"):
            if action in ("hang", "drop") and argument is not None:
                # Cuts that probe, most likely between a reading and its look at the queue,
                # more often than a fault at a random moment would cut a scrape.
                self.clients.spawn(self.clients.probe, r)
                time.sleep(argument)
            command = {"hang": "SIMulate:HANG 0", "resume": "SIMulate:RESume",
                       "drop": "SIMulate:DROP", "errors": f"SIMulate:ERRor {argument}"}[action]
            # A SIMulate query answers even while the mainframe hangs: the command was taken.
            lines = [command] if action == "drop" else [command, "SIMulate:SPEed?"]
            scpi(port, lines, len(lines) - 1)
        elif action == "limit":
            self.limit(rack, r, argument)
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
                raise RuntimeError(f"simulator {rack['name']} did not start again")

    def limit(self, rack, r, codes):
        old = scpi(rack["port"], [f"LIM? {c}" for c in codes], len(codes))
        rack.setdefault("saved_limits", {}).update(zip(codes, old))
        entry = Excursion(r, {code_series(c)[2] for c in codes}, time.time())
        with self.record.lock:
            self.record.excursions.append(entry)
        replies = scpi(rack["port"], [f"LIM {c},1;*OPC?" for c in codes], len(codes))
        if replies != ["1"] * len(codes):
            raise RuntimeError(f"{rack['resource']} did not take the limits: {replies}")
        entry.taken = time.time()
        rack["excursion"] = entry
