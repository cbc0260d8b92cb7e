"""The processes the chaos soak starts (simulators, the exporter, Prometheus), each stopped by
its own pid when the soak ends, and what the exporter holds."""
import base64
import os
import re
import subprocess
import threading
import time
from collections import defaultdict

from soaklib import common

USER, PASSWORD = "scraper", "chaos-scraper-password"
# bcrypt (cost 10) of PASSWORD: a wrong password costs the exporter one real check.
PASSWORD_HASH = "$2b$10$wCbdiULmOCPQ4B68WDsst.DhgDfgk8gmmk/58v8.j3Wvp2E7i.br."


class Interrupted(Exception):
    pass


def auth(password=PASSWORD, user=USER):
    return "Basic " + base64.b64encode(f"{user}:{password}".encode()).decode()


def tail(path, lines=15):
    try:
        return "".join(open(path).readlines()[-lines:])
    except OSError:
        return ""


class Bench:
    def __init__(self, work, simulator):
        self.work, self.simulator = work, simulator
        self.processes = []
        self.ports = set()
        self.lock = threading.Lock()
        self.racks = []

    def start(self, argv, log, env=None):
        process = common.spawn(argv, log, env)
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
        """Starts the rack's simulator on a port the kernel picks, and takes that port: a port
        chosen here and bound later could be taken meanwhile by any process of the machine."""
        bench = os.path.join(self.work, f"{rack['name']}.bench")
        with open(bench, "w") as f:
            f.write(rack["bench"].format(port=0))
        log = os.path.join(self.work, f"{rack['name']}.{attempt}.log")
        rack["process"] = common.start_simulator(
            self.simulator, bench, os.path.join(self.work, f"{rack['name']}.resolved"),
            log, 0, seconds=30, start=self.start)
        if rack["process"] is None:
            return False
        rack["port"] = int(re.search(rf" {rack['name']}=(\d+)", open(log).read()).group(1))
        return True

    def start_racks(self, count):
        """One simulator a rack (time standing still), each on a port of its own."""
        for r in range(count):
            la = 24 + r
            rack = {"name": f"rack{r}", "lab": f"lab-bay-{r + 1:02d}", "la": la,
                    "resource": f"VXI0::{la}::INSTR", "blowers": 1 + r % 3}
            rack["bench"] = (f"instrument {rack['name']} mainframe port={{port}} seed={r + 1} "
                             f"blowers={rack['blowers']}\nresource {rack['resource']} "
                             f"{rack['name']} intf=VXI manf=3372 model=2861\n")
            self.racks.append(rack)
        for rack in self.racks:
            if not any(self.start_sim(rack, attempt) for attempt in range(3)):
                raise RuntimeError(f"simulator {rack['name']} did not start")
        self.write_bench()

    def start_control(self):
        """The control rack: a simulator of its own for an exporter of its own, scraped beside
        the racks but reached by no fault and no hostile client, so its scrapes tell what the
        machine's load alone costs a rack in the same minutes."""
        rack = {"name": "control", "lab": "control", "resource": "VXI0::250::INSTR", "blowers": 2,
                "bench": "instrument control mainframe port={port} seed=99 blowers=2\n"
                         "resource VXI0::250::INSTR control intf=VXI manf=3372 model=2861\n"}
        if not any(self.start_sim(rack, attempt) for attempt in range(3)):
            raise RuntimeError("the control rack's simulator did not start")
        rack["bench_file"] = os.path.join(self.work, "control-bench")
        with open(rack["bench_file"], "w") as f:
            f.write(rack["bench"].format(port=rack["port"]))
        return rack

    def write_bench(self):
        """The bench the exporter reads: each rack at its simulator's port, or at the port of
        what stands in front of it (`via`). Replaced whole, so the exporter never reads half."""
        path = os.path.join(self.work, "bench")
        with open(path + ".new", "w") as f:
            f.write("".join(r["bench"].format(port=r.get("via", r["port"])) for r in self.racks))
        os.replace(path + ".new", path)

    def restart_sim(self, rack):
        """A killed simulator started again, on a new port that the bench file tells the
        exporter, as a rack restarted without a state folder of its own would be."""
        for attempt in range(3):
            if self.start_sim(rack, f"restart{time.time():.0f}.{attempt}"):
                self.write_bench()
                return True
        return False


def exporter_sample(pid, racks, exporter_port):
    """The exporter's figures, with its client connections counted apart."""
    figures = common.proc_sample(pid)
    kinds = fd_kinds(pid, racks, exporter_port)
    return figures | {"clients": kinds.get("socket client established", 0),
                      "fd kinds": ", ".join(f"{k}: {v}" for k, v in sorted(kinds.items()))}


def fd_kinds(pid, racks, exporter_port):
    """The exporter's descriptors by kind: its sockets by peer and TCP state."""
    states = {"01": "established", "06": "time-wait", "08": "close-wait", "0A": "listening"}
    simulators = {r.get("via", r["port"]) for r in racks}
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
