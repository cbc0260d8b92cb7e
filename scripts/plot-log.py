#!/usr/bin/env python3
"""Plots the CSV that `ksm7720 log` writes (its default format): one panel per quantity the
log holds, in its base unit, over the time each snapshot began, and below them a strip per
rack that shows when it was read, when not (BUSY or failed) and when the log has no row.

    scripts/plot-log.py LOG.csv PICTURE.png [--speed F] [--title TEXT]

Racks are named as the log names them (its name column, else the resource) and drawn in
line styles of their own; objects in colours of their own, with the legends beside the
panels, never over the data. Blower speeds, supply voltages, currents and powers show every
object; slot air temperatures show the ambient sensor and the mean of the outlet (OUT) rear
sensors with their range shaded. A line never crosses a gap: it breaks where a rack was not
read or where the log has no row for longer than two intervals. Error-queue rows (kind
ERROR) are counted in the strip's label.

Options:
  --speed F    the log was taken on a simulated bench running F times faster than real
               time: the time axis shows the bench's hours since the first row.
  --title TEXT the figure's title (default: the racks).

Needs python3-matplotlib.
"""
import argparse
import csv
import datetime
import math
import statistics
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.dates  # noqa: E402
import matplotlib.lines as mlines  # noqa: E402
import matplotlib.pyplot as plt  # noqa: E402

# (kind, panel label): the order of the panels.
QUANTITIES = [
    ("BLOWER", "Blower speed (rpm)"),
    ("VOLT", "Supply voltage (V)"),
    ("CURRENT", "Supply current (A)"),
    ("POWER", "Supply power (W)"),
    ("TEMPERATURE", "Air temperature (degC)"),
]
RACK_STYLES = ["-", "--", ":", "-."]
OUTLETS = "outlets (OUT rear)"


def parse_time(text):
    return datetime.datetime.strptime(text, "%Y-%m-%dT%H:%M:%S.%fZ").replace(
        tzinfo=datetime.timezone.utc)


def read_log(path):
    with open(path, newline="", encoding="utf-8") as f:
        rows = list(csv.DictReader(f))
    if rows and "snapshot_time" not in rows[0]:
        sys.exit(f"plot-log.py: {path} is not a log of ksm7720 log --format csv")
    return rows


def rack_of(row):
    return row["name"] or row["resource"]


def snapshots(rows):
    """{rack: {snapshot_time: {"up": bool, "values": {series: value}, "errors": n}}}"""
    racks = {}
    for row in rows:
        shot = racks.setdefault(rack_of(row), {}).setdefault(
            parse_time(row["snapshot_time"]), {"up": False, "values": {}, "errors": 0})
        if row["kind"] == "ERROR":
            shot["errors"] += 1
        elif row["up"] == "true":
            shot["up"] = True
            add_value(shot["values"], row)
    for shots in racks.values():
        for shot in shots.values():
            outlets = shot["values"].pop(("TEMPERATURE", OUTLETS), None)
            if outlets:
                shot["values"][("TEMPERATURE", OUTLETS)] = statistics.fmean(outlets)
                shot["values"][("TEMPERATURE", OUTLETS, "range")] = (min(outlets), max(outlets))
    return racks


def add_value(values, row):
    value = float(row["si_value"])
    if row["kind"] != "TEMPERATURE":
        values[(row["kind"], row["object"])] = value
    elif row["object"] == "AMBIENT":
        values[("TEMPERATURE", "AMBIENT")] = value
    elif row["object"].startswith("OUT") and row["position"] == "rear":
        values.setdefault(("TEMPERATURE", OUTLETS), []).append(value)


def interval_of(racks):
    steps = [(b - a).total_seconds() for shots in racks.values()
             for a, b in zip(sorted(shots), sorted(shots)[1:]) if b > a]
    return statistics.median(steps) if steps else 1.0


def broken(times, shots, key, interval):
    """The points of one series, with NaN where it must not be joined."""
    xs, ys, last = [], [], None
    for t in times:
        value = shots[t]["values"].get(key)
        if last is not None and (value is None or (t - last).total_seconds() > 2 * interval):
            xs.append(t)
            ys.append(math.nan)
        if value is not None:
            xs.append(t)
            ys.append(value)
            last = t
        else:
            last = None
    return xs, ys


def strip(ax, racks, interval, x_of):
    """One bar per rack: green where read, red where not, nothing where no row."""
    for i, (rack, shots) in enumerate(racks.items()):
        for t, shot in shots.items():
            width = x_of(t + datetime.timedelta(seconds=interval)) - x_of(t)
            ax.broken_barh([(x_of(t), width)], (i - 0.4, 0.8),
                           color="tab:green" if shot["up"] else "tab:red", linewidth=0)
    ax.set_yticks(range(len(racks)))
    errors = {rack: sum(s["errors"] for s in shots.values()) for rack, shots in racks.items()}
    ax.set_yticklabels([f"{rack} ({errors[rack]} errors)" if errors[rack] else rack
                        for rack in racks])
    ax.set_ylim(-0.6, len(racks) - 0.4)
    ax.legend(handles=[mlines.Line2D([], [], color=colour, lw=6, label=label)
                       for colour, label in (("tab:green", "read"),
                                             ("tab:red", "not read (BUSY, failed)"))],
              loc="upper left", bbox_to_anchor=(1.01, 1.0), fontsize=7, frameon=False)


def panel(ax, kind, label, racks, interval, x_of):
    objects = list(dict.fromkeys(key[1] for shots in racks.values() for shot in shots.values()
                                 for key in shot["values"] if key[0] == kind and len(key) == 2))
    colours = {name: plt.get_cmap("tab10")(i % 10) for i, name in enumerate(objects)}
    for style, (rack, shots) in zip(RACK_STYLES * 4, racks.items()):
        times = sorted(shots)
        for name in objects:
            xs, ys = broken(times, shots, (kind, name), interval)
            ax.plot([x_of(x) for x in xs], ys, style, color=colours[name], linewidth=0.9)
            if name == OUTLETS:
                band = [shots[t]["values"].get((kind, OUTLETS, "range"), (math.nan,) * 2)
                        for t in xs]
                ax.fill_between([x_of(x) for x in xs], [b[0] for b in band],
                                [b[1] for b in band], color=colours[name], alpha=0.15,
                                linewidth=0)
    ax.set_ylabel(label)
    ax.grid(True, alpha=0.3)
    ax.legend(handles=[mlines.Line2D([], [], color=colours[n], label=n) for n in objects],
              loc="upper left", bbox_to_anchor=(1.01, 1.0), fontsize=7, frameon=False,
              ncol=1 if len(objects) <= 8 else 2)


def main():
    # The whole help is this file's docstring, as written.
    parser = argparse.ArgumentParser(
        prog="plot-log.py", description=__doc__, usage=argparse.SUPPRESS, add_help=False,
        formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("-h", "--help", action="help", help=argparse.SUPPRESS)
    parser.add_argument("csv", help=argparse.SUPPRESS)
    parser.add_argument("png", help=argparse.SUPPRESS)
    parser.add_argument("--speed", type=float, default=None, help=argparse.SUPPRESS)
    parser.add_argument("--title", default=None, help=argparse.SUPPRESS)
    args = parser.parse_args()
    racks = snapshots(read_log(args.csv))
    if not racks:
        sys.exit(f"plot-log.py: {args.csv} holds no rows")
    start = min(min(shots) for shots in racks.values())
    interval = interval_of(racks)

    def x_of(t):
        if args.speed:
            return (t - start).total_seconds() * args.speed / 3600.0
        return matplotlib.dates.date2num(t)

    kinds = {key[0] for shots in racks.values() for shot in shots.values()
             for key in shot["values"]}
    quantities = [(kind, label) for kind, label in QUANTITIES if kind in kinds]
    heights = [3] * len(quantities) + [0.4 + 0.3 * len(racks)]
    fig, axes = plt.subplots(len(heights), 1, sharex=True, figsize=(11, sum(heights) * 0.8 + 1),
                             gridspec_kw={"height_ratios": heights}, squeeze=False)
    axes = axes[:, 0]
    for ax, (kind, label) in zip(axes, quantities):
        panel(ax, kind, label, racks, interval, x_of)
    strip(axes[-1], racks, interval, x_of)
    axes[0].legend_.set_title("objects", prop={"size": 7})
    if len(racks) > 1:
        axes[0].add_artist(axes[0].legend_)
        axes[0].legend(handles=[mlines.Line2D([], [], color="black", linestyle=style, label=rack)
                                for style, rack in zip(RACK_STYLES * 4, racks)],
                       loc="lower left", bbox_to_anchor=(1.01, 0.0), fontsize=7, frameon=False,
                       title="racks", title_fontsize=7)
    if args.speed:
        axes[-1].set_xlabel("bench hours since the first row")
    else:
        axes[-1].xaxis_date()
        axes[-1].set_xlabel("time (UTC)")
    fig.suptitle(args.title or f"ksm7720 log: {', '.join(racks)}")
    fig.tight_layout()
    fig.savefig(args.png, dpi=90)


if __name__ == "__main__":
    main()
