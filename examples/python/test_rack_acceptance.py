"""Acceptance check of one rack, for pytest: every supply within a band of its nominal
voltage, every fitted blower turning, nothing in the error queue.

    KSM7720_RESOURCE=VXI0::24::INSTR KSM7720_BLOWERS=2 python3 -m pytest test_rack_acceptance.py

KSM7720_RESOURCE names the rack (the only mainframe found when unset), KSM7720_BLOWERS how
many blowers it has fitted (all three when unset), KSM7720_BAND the allowed deviation from
nominal (0.05 for 5 %).
"""

import os

import pytest

import ksm7720

# Nominal supply voltages, in volts.
NOMINAL_VOLTS = {"P5": 5.0, "P12": 12.0, "N12": -12.0, "P24": 24.0, "N24": -24.0,
                 "N5PT2": -5.2, "N2": -2.0}
BAND = float(os.environ.get("KSM7720_BAND", "0.05"))
BLOWERS = int(os.environ.get("KSM7720_BLOWERS", "3"))
LOWEST_RPM = 1000.0


@pytest.fixture(scope="module")
def rack():
    with ksm7720.Mainframe(os.environ.get("KSM7720_RESOURCE"), timeout=5.0) as mainframe:
        mainframe.errors()  # entries from before the check judge nothing
        yield mainframe


@pytest.fixture(scope="module")
def snapshot(rack):
    return rack.snapshot([ksm7720.Kind.VOLT, ksm7720.Kind.BLOWER])


@pytest.mark.parametrize("supply", list(ksm7720.Supply))
def test_supply_within_band(snapshot, supply):
    reading = next(r for r in snapshot if r.kind == "VOLT" and r.object == supply.value)
    nominal = NOMINAL_VOLTS[supply.value]
    assert reading.si_value == pytest.approx(nominal, rel=BAND), f"{supply.value} reads {reading.si_value} V"
    assert reading.object_over_limit is False


@pytest.mark.parametrize("blower", list(ksm7720.Blower)[:BLOWERS])
def test_fitted_blower_turns(snapshot, blower):
    reading = next(r for r in snapshot if r.kind == "BLOWER" and r.object == blower.value)
    assert reading.si_value > LOWEST_RPM, f"{blower.value} turns at {reading.si_value} rpm"


def test_error_queue_empty(rack, snapshot):
    assert snapshot.entries == [] and rack.errors() == []
