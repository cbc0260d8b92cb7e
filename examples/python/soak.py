#!/usr/bin/env python3
"""Soak a rack: a snapshot every INTERVAL seconds into a CSV file, then a plot of it.

    soak.py --interval 10 --count 360 --output soak.csv --plot soak.png [--resource VXI0::24::INSTR]
    soak.py --plot soak.png --input soak.csv        # plot an earlier log only

Each row: the time of the reading (UTC), kind, object, position, SI value and unit, the
over-limit verdict. A snapshot that fails writes one row saying why (status name), never
the last values again; the session is opened anew on the next interval.
"""

import argparse
import csv
import os
import sys
import time

import ksm7720

FIELDS = ["time", "resource", "kind", "object", "position", "value", "unit", "object_over_limit",
          "status"]


def log(args):
    rack = None
    with open(args.output, "a", newline="") as out:
        writer = csv.DictWriter(out, FIELDS)
        if out.tell() == 0:
            writer.writeheader()
        next_row = time.monotonic()
        for _ in range(args.count):
            try:
                rack = rack or ksm7720.Mainframe(args.resource, timeout=args.timeout)
                for r in rack.snapshot(args.kinds or None):
                    writer.writerow({"time": r.time.isoformat(timespec="milliseconds"),
                                     "resource": rack.resource, "kind": r.kind,
                                     "object": r.object, "position": r.position,
                                     "value": repr(r.si_value), "unit": r.si_unit,
                                     "object_over_limit": r.object_over_limit, "status": ""})
            except ksm7720.Error as error:
                writer.writerow({"time": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime()),
                                 "resource": args.resource or "", "status":
                                 error.status_name or str(error)})
                if rack is not None:
                    rack.close()
                    rack = None
            out.flush()
            os.fsync(out.fileno())
            next_row += args.interval
            time.sleep(max(0.0, next_row - time.monotonic()))
    if rack is not None:
        rack.close()


def plot(args):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.dates as mdates
    import matplotlib.pyplot as plt
    from datetime import datetime

    series = {}
    with open(args.input or args.output, newline="") as source:
        for row in csv.DictReader(source):
            if row["status"] or row["kind"] not in ("VOLT", "BLOWER", "TEMPERATURE"):
                continue
            if row["kind"] == "TEMPERATURE" and row["object"] != "AMBIENT":
                continue
            key = (row["kind"], row["object"], row["unit"])
            times, values = series.setdefault(key, ([], []))
            times.append(datetime.fromisoformat(row["time"]))
            values.append(float(row["value"]))
    panels = [("VOLT", "Supply voltages, % from each one's mean"), ("BLOWER", "Blower speeds"),
              ("TEMPERATURE", "Ambient temperature")]
    figure, axes = plt.subplots(len(panels), 1, figsize=(9, 8), sharex=True)
    for axis, (kind, title) in zip(axes, panels):
        for (k, name, unit), (times, values) in sorted(series.items()):
            if k != kind:
                continue
            if kind == "VOLT":  # rails 2 V to 24 V apart: their drift shows as a share
                mean = sum(values) / len(values)
                values, unit = [100.0 * (v / mean - 1.0) for v in values], "%"
            axis.plot(times, values, label=name)
            axis.set_ylabel(unit)
        axis.set_title(title)
        axis.legend(loc="upper right", fontsize="small", ncol=4)
    axes[-1].xaxis.set_major_formatter(mdates.DateFormatter("%H:%M:%S"))
    axes[-1].set_xlabel("time (UTC)")
    figure.tight_layout()
    figure.savefig(args.plot, dpi=80)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--resource", help="the rack (the only mainframe found when unset)")
    parser.add_argument("--interval", type=float, default=10.0, help="seconds between rows")
    parser.add_argument("--count", type=int, default=0, help="snapshots to log")
    parser.add_argument("--timeout", type=float, default=5.0, help="seconds per call")
    parser.add_argument("--kinds", nargs="*", help="kinds to log (every kind when unset)")
    parser.add_argument("--output", default="soak.csv", help="CSV file, appended to")
    parser.add_argument("--input", help="CSV file to plot, instead of --output")
    parser.add_argument("--plot", help="PNG file to draw when the log ends")
    args = parser.parse_args()
    if args.count:
        log(args)
    if args.plot:
        plot(args)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except KeyboardInterrupt:
        sys.exit(0)
