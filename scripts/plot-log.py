#!/usr/bin/env python3
"""Plots a CSV that `ksm7720 log` wrote: blower speeds, supply voltages and the ambient and
slot air temperatures of each rack over time, in their base units, with the intervals a rack
was down shaded.

    scripts/plot-log.py soak.csv soak.png [--speed F] [--title TEXT]

--speed F: the log was taken on a simulated bench running F times faster than real time;
the time axis then shows the bench's hours since the first row instead of the clock.
Needs python3-matplotlib.
"""
import argparse
import csv
import datetime
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

PANELS = [
    ("Blower speed (rpm)", lambda r: r["kind"] == "BLOWER"),
    ("Supply voltage (V)", lambda r: r["kind"] == "VOLT"),
    ("Air temperature (degC)",
     lambda r: r["kind"] == "TEMPERATURE" and (r["object"] == "AMBIENT"
                                               or (r["object"].startswith("OUT")
                                                   and r["position"] == "rear"))),
]


def parse_time(text):
    return datetime.datetime.strptime(text, "%Y-%m-%dT%H:%M:%S.%fZ").replace(
        tzinfo=datetime.timezone.utc)


def read_log(path):
    with open(path, newline="", encoding="utf-8") as f:
        return list(csv.DictReader(f))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("csv")
    parser.add_argument("png")
    parser.add_argument("--speed", type=float, default=None)
    parser.add_argument("--title", default=None)
    args = parser.parse_args()
    rows = read_log(args.csv)
    if not rows:
        sys.exit(f"plot-log.py: {args.csv} holds no rows")
    start = min(parse_time(r["time"]) for r in rows)

    def x_of(row):
        t = parse_time(row["time"])
        if args.speed:
            return (t - start).total_seconds() * args.speed / 3600.0
        return t

    racks = sorted({r["resource"] for r in rows})
    fig, axes = plt.subplots(len(PANELS), 1, sharex=True, figsize=(10, 8))
    for ax, (label, chosen) in zip(axes, PANELS):
        series = {}
        for row in rows:
            if row["up"] == "true" and chosen(row):
                key = (row["resource"] if len(racks) > 1 else "") + " " + row["object"]
                series.setdefault(key.strip(), []).append((x_of(row), float(row["si_value"])))
        for key, points in sorted(series.items()):
            xs, ys = zip(*points)
            ax.plot(xs, ys, linewidth=0.9, label=key)
        for row in rows:
            if row["up"] == "false":
                ax.axvline(x_of(row), color="red", alpha=0.3, linewidth=0.8)
        ax.set_ylabel(label)
        ax.grid(True, alpha=0.3)
        ax.legend(fontsize=6, ncol=7, loc="upper right")
    axes[-1].set_xlabel("bench hours since the first row" if args.speed else "time (UTC)")
    fig.suptitle(args.title or f"ksm7720 log: {', '.join(racks)}")
    fig.tight_layout()
    fig.savefig(args.png, dpi=90)


if __name__ == "__main__":
    main()
