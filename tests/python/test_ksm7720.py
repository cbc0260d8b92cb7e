"""The ksm7720 module against the simulated bench over its real sockets."""

import gc
import os
import random
import subprocess
import sys
import threading
import time
from pathlib import Path

import pytest

import ksm7720
from conftest import elapsed


def simulator_values(bench, rack, code):
    return [float(v) for v in bench.query(rack, f"MEAS:LEV? {code}").split(",")]


def test_snapshot_and_read_match_the_simulator_object_by_object(bench, rack):
    snapshot = rack.snapshot()
    assert len(snapshot) == 103 and snapshot.resource == "VXI0::1::INSTR"
    codes = {("BLOWER", "BLOWER1"): 50, ("VOLT", "N12"): 44, ("CURRENT", "P5"): 35,
             ("POWER", "N2"): 33, ("TEMPERATURE", "OUT3"): 3, ("TEMPERATURE", "AMBIENT"): 26}
    for (kind, name), code in codes.items():
        expected = simulator_values(bench, "rack1", code)
        taken = [r for r in snapshot if (r.kind, r.object) == (kind, name)]
        assert [r.value for r in taken] == expected
        assert [r.value for r in rack.read(kind.lower(), name.lower())] == expected
    volt = rack.read(ksm7720.Kind.VOLT, ksm7720.Supply.N12)[0]
    assert (volt.unit, volt.si_unit, volt.si_value) == ("mV", "V", volt.value / 1000)
    assert volt.object_over_limit is False and volt.time.tzinfo is not None
    with pytest.warns(DeprecationWarning, match="use Reading.object"):
        assert volt.name == volt.object == "N12"
    assert [r.position for r in rack.read("TEMP", "OUT3")] == ["front", "middle", "rear"]


def test_writes_and_queries_reach_the_simulator(bench, rack):
    rack.set_limit("volt", "p5", 4000)
    assert float(bench.query("rack1", "LIM? 42")) == 4000
    over = rack.read("VOLT", "P5")
    assert over[0].object_over_limit is True and [e.number for e in over.entries] == [201]
    rack.reset()
    assert rack.read("VOLT", "P5")[0].object_over_limit is False
    rack.message("hello rack")
    assert bench.query("rack1", "DISP:TEXT?").strip('"') == "hello rack"
    rack.set_time_unit(ksm7720.TimeUnit.MINUTES)
    assert rack.time_unit() == "minutes" and bench.query("rack1", "HIST:TUN?") == "18"
    histogram = rack.histogram("blower", ksm7720.Blower.BLOWER1)
    assert histogram.counts == [int(v) for v in bench.query("rack1", "HIST:DATA? 50,0").split(",")]
    assert histogram.edges[0][0] == int(bench.query("rack1", "HIST:DATA? 50,1").split(",")[0])
    rack.reset_history("blower", "blow1")
    rack.reset_history("queue")
    assert sum(rack.histogram("blower", "blower1").counts) == 0
    bench.query("rack1", "SIMulate:ERRor 2")
    assert [e.number for e in rack.errors()] == [-300, -300] and rack.errors() == []
    rack.save()
    assert rack.self_test().passed
    resources = {r.resource: r for r in ksm7720.resources()}
    assert resources["VXI0::2::INSTR"].mainframe and not resources["GPIB0::9::INSTR"].mainframe


@pytest.mark.parametrize("call, error, words", [
    (lambda r: r.read("voltage", "P5"), ksm7720.UnknownObjectError, "unknown kind 'voltage'"),
    (lambda r: r.read("VOLT", "OUT3"), ValueError, "no VOLT object named 'OUT3'"),
    (lambda r: r.read(4, "P5"), TypeError, "kind must be a str"),
    (lambda r: r.snapshot(["VOLT", "FAN"]), ksm7720.UnknownObjectError, "'FAN'"),
    (lambda r: r.set_time_unit("days"), ksm7720.UnknownObjectError, "unknown time unit 'days'"),
    (lambda r: r.reset_history("everything"), ValueError, "'all' or 'queue'"),
    (lambda r: r.message("x" * 41), ksm7720.Error, "Too much data"),
    (lambda r: ksm7720.Mainframe("GPIB0::9::INSTR"), ksm7720.NotAMainframeError, "not a KS M7720"),
    (lambda r: ksm7720.Mainframe(timeout=-1), ValueError, "timeout must be"),
    (lambda r: ksm7720.Mainframe(), ksm7720.Error, "VXI0::1::INSTR, VXI0::2::INSTR"),
    (lambda r: r.close() or r.__enter__(), ksm7720.Error, "with: VXI0::1::INSTR is closed"),
])
def test_bad_arguments_raise_the_documented_exception(rack, call, error, words):
    with pytest.raises(error, match=words.replace("(", r"\(")):
        call(rack)


@pytest.mark.parametrize("call, error, words", [
    (lambda r: ksm7720.Mainframe("VXI0::1::INSTR\x00x"), ValueError, "resource must not contain a NUL"),
    (lambda r: r.message("AB\x00CD"), ValueError, "text must not contain a NUL"),
    (lambda r: r.read("VOLT", "P5\x00"), ValueError, "name must not contain a NUL"),
    (lambda r: r.message("AB\udc80"), ValueError, "text cannot be encoded as UTF-8"),
    (lambda r: r.set_time_unit("hours\ud800"), ValueError, "unit cannot be encoded"),
    (lambda r: ksm7720.Mainframe(timeout=True), TypeError, "timeout must be a real number, not bool"),
    (lambda r: ksm7720.Mainframe(timeout="5"), TypeError, "not str"),
    (lambda r: r.set_limit("VOLT", "P5", False), TypeError, "value must be a real number"),
    (lambda r: r.snapshot([]), ValueError, "kinds names no kind"),
    (lambda r: r.snapshot(iter(())), ValueError, "kinds names no kind"),
    (lambda r: r.message(b"hi"), TypeError, "text must be a str, not bytes"),
])
def test_malformed_arguments_are_refused_before_the_rack_hears_anything(bench, rack, call, error,
                                                                        words):
    bench.query("rack1", "SIMulate:ERRor 1")
    with pytest.raises(error, match=words):
        call(rack)
    assert [e.number for e in rack.errors()] == [-300]


ARGUMENTS = {"read": ("VOLT", "P5"), "histogram": ("VOLT", "P5"), "set_limit": ("VOLT", "P5", 1),
             "set_time_unit": ("hours",), "message": ("hi",), "reset_history": ("all",),
             "__exit__": (None, None, None)}


def test_mainframe_never_initialised_refuses_every_method_in_any_order(bench):
    names = [n for n in dir(ksm7720.Mainframe) if not n.startswith("_")]
    names += ["__enter__", "__exit__", "__repr__"]
    for seed in range(20):
        rng = random.Random(seed)
        unopened = ksm7720.Mainframe.__new__(ksm7720.Mainframe)
        if seed % 2:  # an __init__ that failed leaves it as unopened
            with pytest.raises(ksm7720.NotAMainframeError):
                unopened.__init__("GPIB0::9::INSTR")
        for name in rng.sample(names, len(names)):
            with pytest.raises(TypeError, match="never opened"):
                getattr(unopened, name)(*ARGUMENTS.get(name, ()))
    unopened.__init__("VXI0::1::INSTR", timeout=2.0)
    assert len(unopened.read("VOLT", "P5")) == 1 and not unopened.closed


def test_missing_library_names_every_path_tried(monkeypatch):
    monkeypatch.setenv("KSM7720_DRIVER_LIBRARY", "/nonexistent/libdriver.so")
    with pytest.raises(ksm7720.LibraryNotFoundError) as raised:
        ksm7720.Mainframe()
    assert raised.value.paths == ["/nonexistent/libdriver.so"]


def test_hung_rack_times_out_within_the_timeout_then_reads_again(bench, rack):
    bench.query("rack1", "SIMulate:HANG 0")
    took, error = elapsed(lambda: rack.read("VOLT", "P5"))
    assert isinstance(error, ksm7720.InstrumentTimeoutError) and isinstance(error, TimeoutError)
    assert error.status_name == "VI_ERROR_TMO" and took < 2.0 + 1.0
    bench.query("rack1", "SIMulate:RESume")
    assert rack.read("VOLT", "P5")[0].value == simulator_values(bench, "rack1", 42)[0]


def test_failed_drain_names_its_own_status_and_keeps_its_entries(bench, monkeypatch):
    """A status read back after an earlier call's time-out, or the entries drained lost."""
    monkeypatch.setenv("KSM7720_DRIVER_LIBRARY", os.environ["KSM7720_FAULT_DRIVER"])
    with ksm7720.Mainframe("VXI0::1::INSTR", timeout=2.0) as mainframe:
        monkeypatch.setenv("KSM7720_ERROR_QUERY", "fail-after=0")
        with pytest.raises(ksm7720.InstrumentTimeoutError):
            mainframe.snapshot()
        monkeypatch.setenv("KSM7720_ERROR_QUERY", "endless")
        for call in (mainframe.snapshot, mainframe.errors):
            with pytest.raises(ksm7720.Error) as raised:
                call()
            assert not isinstance(raised.value, TimeoutError)
            assert raised.value.status_name == "ERROR_QUEUE_NOT_EMPTIED"
            assert len(raised.value.entries) == 100


def test_dropped_link_and_restarted_simulator_raise_then_read_fresh_values(bench, rack):
    bench.query("rack1", "SIMulate:DROP")
    with pytest.raises(ksm7720.Error):
        rack.snapshot()
    assert len(rack.snapshot()) == 103
    bench.stop()
    for _ in range(2):  # never the last value again while the rack is gone
        with pytest.raises(ksm7720.Error):
            rack.read("VOLT", "P5")
    bench.start()
    bench.query("rack1", "SIMulate:ADVance 3600")  # values the old simulator never gave
    assert rack.read("VOLT", "P5")[0].value == simulator_values(bench, "rack1", 42)[0]


def test_hung_rack_in_one_thread_leaves_the_other_rack_and_the_interpreter_running(bench):
    hung = ksm7720.Mainframe("VXI0::1::INSTR", timeout=2.0)
    healthy = ksm7720.Mainframe("VXI0::2::INSTR", timeout=2.0)
    bench.query("rack1", "SIMulate:HANG 0")
    outcome = []
    waiting = threading.Thread(target=lambda: outcome.append(elapsed(hung.snapshot)[1]))
    waiting.start()
    reads = 0
    while waiting.is_alive():
        reads += len(healthy.read("VOLT", "P5"))
    assert isinstance(outcome[0], ksm7720.InstrumentTimeoutError) and reads > 50
    hung.close()
    healthy.close()


def test_one_mainframe_shared_by_threads_never_mixes_replies_and_closes_safely(bench, rack):
    failures, deadline = [], time.monotonic() + 10

    def reader(kind, name):
        while time.monotonic() < deadline:
            try:
                reading = rack.read(kind, name)[0]
            except ksm7720.Error as error:
                failures.append(str(error))
                return
            if (reading.kind, reading.object) != (kind, name):
                failures.append(repr(reading))

    threads = [threading.Thread(target=reader, args=pair)
               for pair in (("VOLT", "P5"), ("CURRENT", "N12"), ("BLOWER", "BLOWER2"))]
    for thread in threads:
        thread.start()
    time.sleep(0.5)
    rack.close()  # while the others read: each stops with "closed", none crashes
    for thread in threads:
        thread.join()
    assert len(failures) == 3 and all("is closed" in failure for failure in failures)


def test_ten_thousand_reads_grow_neither_objects_nor_memory(rack):
    def resident_kib():
        with open("/proc/self/status") as status:
            return next(int(line.split()[1]) for line in status if line.startswith("VmRSS"))

    for _ in range(1000):
        rack.read("VOLT", "P5")
    gc.collect()
    objects, memory = len(gc.get_objects()), resident_kib()
    for _ in range(10000):
        rack.read("TEMPERATURE", "OUT1")
    gc.collect()
    assert len(gc.get_objects()) - objects < 50
    if not os.environ.get("KSM7720_TEST_SANITIZED"):  # freed memory is held back there
        assert resident_kib() - memory < 2048


def test_examples_run_on_the_bench(bench, tmp_path):
    examples = Path(__file__).resolve().parents[2] / "examples" / "python"
    env = dict(os.environ, KSM7720_RESOURCE="VXI0::2::INSTR", KSM7720_BLOWERS="2")
    check = subprocess.run([sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider",
                            str(examples / "test_rack_acceptance.py")], env=env)
    assert check.returncode == 0
    csv_file, png = tmp_path / "soak.csv", tmp_path / "soak.png"
    subprocess.run([sys.executable, str(examples / "soak.py"), "--resource", "VXI0::2::INSTR",
                    "--interval", "0.1", "--count", "3", "--output", str(csv_file),
                    "--plot", str(png)], check=True, env=env)
    assert len(csv_file.read_text().splitlines()) == 1 + 3 * 103 and png.stat().st_size > 0
