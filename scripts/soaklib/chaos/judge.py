"""The assertions on what both Prometheus servers stored, on the exporter's figures before and
after, and on what the hostile clients were answered; then the report."""
import math
from collections import defaultdict

from soaklib.common import query
from soaklib.chaos.record import MARGIN
from soaklib.chaos.truth import READING_FAMILIES, expected_series, key

ASSERTIONS = ["values equal the simulator's", "every over-limit sample was caused by the bench",
              "every excursion the bench caused was reported",
              "healthy racks up in 99 % of scrapes", "the exporter never died",
              "memory, threads and descriptors came back",
              "alias spellings refused or the same rack", "bursts answered truly",
              "wrong passwords refused", "the bench stood still",
              "the bench carried out its faults"]


def stored_samples(port, resource, start, end, window=300):
    """Every sample Prometheus stored for one rack: {timestamp: {(name, labels): value}}."""
    scrapes = defaultdict(dict)
    at = end
    while at > start:
        selector = f'{{instance="{resource}",__name__=~"up|ksm7720_.+"}}[{window}s]'
        for series in query(port, selector, at):
            labels = {k: v for k, v in series["metric"].items()
                      if k not in ("__name__", "instance", "job")}
            name = series["metric"]["__name__"]
            for timestamp, value in series["values"]:
                if timestamp >= start:
                    scrapes[round(timestamp, 3)][key(name, labels)] = float(value)
        at -= window
    return scrapes


def scrapes_of(port, resource, start, end, chaos_start):
    """One server's scrapes of a rack from the chaos on: (timestamp, ksm7720_up was 1, the
    scrape itself failed)."""
    return [(timestamp, samples.get(key("ksm7720_up", {})) == 1, samples[key("up", {})] == 0)
            for timestamp, samples in sorted(stored_samples(port, resource, start, end).items())
            if timestamp >= chaos_start and key("up", {}) in samples]


def judge(record, racks, truth, prom_ports, start, end):
    """Checks every stored sample; returns each (replica, rack)'s scrapes from the chaos on as
    (timestamp, ksm7720_up was 1, the scrape itself failed)."""
    ups = {}
    for replica, port in prom_ports.items():
        for r, rack in enumerate(racks):
            expected = expected_series(truth[r])
            ups[(replica, r)] = []
            for timestamp, samples in sorted(stored_samples(port, rack["resource"], start,
                                                            end).items()):
                up = samples.get(key("ksm7720_up", {}))
                for (name, labels), value in samples.items():
                    where = f"{replica}: {rack['resource']} at {timestamp:.3f} {name}{dict(labels)}"
                    if name in READING_FAMILIES:
                        record.count("reading samples checked")
                        if up != 1:
                            record.problem("values equal the simulator's", f"{where} stored "
                                           f"while ksm7720_up was {up}")
                        elif not math.isclose(expected.get((name, labels), math.nan), value,
                                              rel_tol=1e-9):
                            record.problem("values equal the simulator's", f"{where} = {value}, "
                                           f"simulator {expected.get((name, labels))}")
                    elif name == "ksm7720_over_limit":
                        judge_verdict(record, r, dict(labels), timestamp, value, where)
                if timestamp >= record.chaos_start and key("up", {}) in samples:
                    ups[(replica, r)].append((timestamp, up == 1, samples[key("up", {})] == 0))
    return ups


def judge_verdict(record, r, labels, timestamp, value, where):
    objects = {(labels.get("quantity"), labels.get("object"))}
    record.count("verdict samples checked")
    if value == 1:
        record.count("over-limit samples")
        if not record.excursion_at(r, objects, timestamp, timestamp):
            record.problem("every over-limit sample was caused by the bench",
                           f"{where} without an excursion of the bench")
    elif record.excursion_held(r, objects, timestamp):
        record.problem("every excursion the bench caused was reported",
                       f"{where} = 0 while the bench held its limit below the reading")


def scraper_gets_through(record, racks, ups, control, assertion, within=(-math.inf, math.inf)):
    """Each healthy rack up in 99 % of both servers' scrapes together that began within the
    window, rounded down to a whole scrape (a minute's soak allows one or two misses), less
    the share the control rack missed in the same window: what the machine's load took from
    a rack that nothing else touched. Returns (healthy, count) over the healthy racks and
    (up, count) of the control."""
    control = [ok for t, ok, _ in control if within[0] <= t < within[1]]
    missed = (len(control) - sum(control)) / len(control) if control else 0.0
    totals = []
    for r in sorted({r for _, r in ups} - set(record.faulted)):
        rows = [(replica, [s for s in scrapes if within[0] <= s[0] < within[1]])
                for (replica, rr), scrapes in sorted(ups.items()) if rr == r]
        healthy = sum(ok for _, scrapes in rows for _, ok, _ in scrapes)
        count = sum(len(scrapes) for _, scrapes in rows)
        totals.append((healthy, count))
        if count == 0 or healthy < math.floor((0.99 - missed) * count):
            downs = "; ".join(f"{replica} at " + " ".join(
                f"+{t - record.chaos_start:.1f}" + ("!" if failed else "")
                for t, ok, failed in scrapes if not ok) for replica, scrapes in rows)
            record.problem(assertion, f"{racks[r]['resource']} up in {healthy} of {count} "
                           f"scrapes (the control rack in {sum(control)} of {len(control)}); "
                           f"down: {downs}")
    return (sum(h for h, _ in totals), sum(c for _, c in totals)), (sum(control), len(control))


def came_back(record, racks, before, after):
    """Prometheus may keep more connections open after the chaos than before (a descriptor
    each): those are compared with what two servers may hold, the other descriptors with the
    reading before the faults. Threads are compared alone: the exporter's are fixed pools,
    none per connection."""
    fds = (before["fds"] - before["clients"], after["fds"] - after["clients"])
    checks = [("resident MiB", before["rss_mib"], after["rss_mib"], before["rss_mib"] * 1.25 + 8),
              ("threads", before["threads"], after["threads"], before["threads"] + 3),
              ("descriptors besides connections", *fds, fds[0] + 3),
              ("client connections", before["clients"], after["clients"], 2 * len(racks) + 2)]
    for what, was, now, limit in checks:
        if now > limit:
            record.problem("memory, threads and descriptors came back",
                           f"{what}: {was:.1f} before the faults, {now:.1f} after "
                           f"(at most {limit:.1f})")


def summary(record, racks, ups, control, before, after):
    """Prints the figures and every assertion; 1 when one failed."""
    assertions = list(ASSERTIONS)
    _, (up, count) = scraper_gets_through(record, racks, ups, control,
                                          "healthy racks up in 99 % of scrapes")
    print(f"the control rack (an exporter of its own, no faults, no hostile clients): up in "
          f"{up} of {count} scrapes")
    for shape, window in sorted(record.phases.items(), key=lambda p: p[1]):
        assertion = f"while {shape}: healthy racks up in 99 % of scrapes"
        assertions.append(assertion)
        (healthy, count), (up, total) = scraper_gets_through(record, racks, ups, control,
                                                             assertion, window)
        print(f"while {shape} (+{window[0] - record.chaos_start:.0f} s, "
              f"{window[1] - window[0]:.0f} s): healthy racks up in {healthy} of {count} scrapes, "
              f"the control rack in {up} of {total}")
    if record.phases.get("share") or record.phases.get("crowd"):
        assertions.append("slow-rack probes answered truly")
    if record.phases.get("burst"):
        assertions.append("one-address bursts all served")
    if after is not None:
        came_back(record, racks, before, after)
    for when, figures in (("before the faults", before), ("after", after)):
        if figures is not None:
            print(f"exporter {when}: {figures['rss_mib']:.1f} MiB, {figures['threads']} threads, "
                  f"{figures['fds']} descriptors ({figures['fd kinds']})")
    for what, chosen in (("healthy", lambda r: r not in record.faulted),
                         ("faulted", lambda r: r in record.faulted)):
        scrapes = [s for (_, r), rows in ups.items() if chosen(r) for s in rows]
        if scrapes:
            print(f"{what} racks: up in {sum(ok for _, ok, _ in scrapes)} of {len(scrapes)} scrapes")
    print("counts: " + ", ".join(f"{k} {v}" for k, v in sorted(record.counts.items())))
    print(f"limit excursions caused: {len(record.excursions)}")
    print("seconds into the chaos (rack index) of each action:")
    for action, times in sorted(record.timeline.items()):
        print(f"  {action}: {' '.join(times)}")
    print("healthy racks' down scrapes are listed by seconds into the chaos; '!' marks a scrape "
          "that failed, the others answered ksm7720_up 0")
    failed = 0
    for assertion in assertions:
        problems = record.problems.get(assertion, [])
        print(f"{'FAIL' if problems else 'ok  '} {assertion}" +
              (f" ({len(problems)})" if problems else ""))
        for message in problems[:40]:
            print(f"       {message}")
        failed += bool(problems)
    return 1 if failed else 0
