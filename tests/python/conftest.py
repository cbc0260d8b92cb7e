"""The simulated bench for the module's tests: a ksm7720-sim process on free loopback
ports in a temporary folder, and the environment that points the core at it and at the
stand-in libraries (KSM7720_SIM, KSM7720_VISA_LIBRARY and KSM7720_DRIVER_LIBRARY come
from CTest)."""

import ctypes
import os
import re
import signal
import socket
import subprocess
import time

import pytest

RACKS = ("rack1", "rack2")


def bench_text(racks=RACKS):
    lines = []
    for number, name in enumerate(racks, start=1):
        lines.append(f"instrument {name} mainframe port=0 seed={number} blowers=2")
        lines.append(f"resource VXI0::{number}::INSTR {name} intf=VXI manf=3372 model=2861")
    lines.append('instrument dmm device idn="ACME-INSTRUMENTS,DMM-4040,0,1.2"')
    lines.append("resource GPIB0::9::INSTR dmm intf=GPIB")
    return "\n".join(lines) + "\n"


def end_with_parent():
    """A test process that dies must not leave its simulator running (PR_SET_PDEATHSIG)."""
    ctypes.CDLL(None).prctl(1, signal.SIGTERM)


class Bench:
    """One simulator; start() again after stop() comes up on new ports, same bench file."""

    def __init__(self, folder, racks=RACKS):
        self.folder = folder
        self.bench = folder / "bench.bench"
        self.bench.write_text(bench_text(racks))
        self.resolved = folder / "resolved.bench"
        self.process = None
        self.ports = {}

    def start(self):
        self.process = subprocess.Popen(
            [os.environ["KSM7720_SIM"], "--bench", str(self.bench), "--resolved",
             str(self.resolved), "--state-dir", str(self.folder), "--speed", "0"],
            stdout=subprocess.PIPE, text=True, preexec_fn=end_with_parent)
        line = self.process.stdout.readline()
        assert line.startswith("ksm7720-sim: listening"), line
        self.ports = {k: int(v) for k, v in re.findall(r"(\w+)=(\d+)", line)}

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)
        self.process.stdout.close()

    def query(self, rack, line):
        """One line to a rack over its own socket, as any SCPI client sends it; its reply."""
        with socket.create_connection(("127.0.0.1", self.ports[rack]), timeout=5) as link:
            link.sendall(line.encode() + b"\n")
            if not line.split()[0].endswith("?"):
                # A query the simulator answers even while it hangs: the line was taken.
                link.sendall(b"SIMulate:SPEed?\n")
            return link.makefile().readline().strip()


@pytest.fixture
def bench(tmp_path, monkeypatch):
    sim = Bench(tmp_path)
    sim.start()
    monkeypatch.setenv("KSM7720_BENCH", str(sim.resolved))
    yield sim
    if sim.process.poll() is None:
        sim.stop()


@pytest.fixture
def rack(bench):
    import ksm7720

    with ksm7720.Mainframe("VXI0::1::INSTR", timeout=2.0) as mainframe:
        yield mainframe


def elapsed(call):
    """Seconds call took, and the exception it raised (or None)."""
    start = time.monotonic()
    try:
        call()
    except Exception as error:  # noqa: BLE001 - the caller judges it
        return time.monotonic() - start, error
    return time.monotonic() - start, None
