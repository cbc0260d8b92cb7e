"""What a simulated mainframe answers over its raw socket, and the series and values the
exporter must make of it."""
import re
import socket

SUPPLIES = ["P5", "P12", "N12", "P24", "N24", "N5PT2", "N2"]
POSITIONS = ["front", "middle", "rear"]
SENSORS = [f"OUT{i}" for i in range(13)] + [f"DELT{i}" for i in range(13)] + ["AMBIENT"]
CODES = [c for c in range(53) if c not in (34, 49)]
READING_FAMILIES = {"ksm7720_blower_speed_rpm", "ksm7720_supply_voltage_volts",
                    "ksm7720_supply_current_amperes", "ksm7720_supply_power_watts",
                    "ksm7720_slot_air_temperature_celsius",
                    "ksm7720_slot_temperature_rise_celsius", "ksm7720_ambient_temperature_celsius"}


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


def scpi(port, lines, replies, timeout=3.0):
    """Sends lines to a simulator over a raw socket and reads that many reply lines."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall("".join(line + "\n" for line in lines).encode())
        reader = s.makefile("r", encoding="ascii", newline="\n")
        return [reader.readline().strip() for _ in range(replies)]


def read_truth(port):
    """Every reading of a mainframe, by object code; its error queue must stay empty."""
    replies = scpi(port, [f"MEAS:LEV? {c}" for c in CODES] + ["SYST:ERR?"], len(CODES) + 1)
    if not replies[-1].startswith("0,"):
        raise RuntimeError(f"reading the truth queued an error: {replies[-1]}")
    return {c: [float(v) for v in reply.split(",")] for c, reply in zip(CODES, replies)}
