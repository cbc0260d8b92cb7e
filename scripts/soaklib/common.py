"""Shared by the exporter's soak scripts: free loopback ports, waiting, HTTP, a process's
figures from /proc, the simulator's start and Debian's Prometheus (its configuration, start
and queries). Everything listens and connects on 127.0.0.1 only."""
import http.client
import json
import os
import random
import socket
import subprocess
import time
import urllib.parse

# Below the kernel's range for outgoing sockets: none of them takes a port we freed, so a
# killed simulator can have its port back.
PORTS = (20000, 32767)
TICKS = os.sysconf("SC_CLK_TCK")
PAGE = os.sysconf("SC_PAGE_SIZE")


def wait_until(condition, seconds, step=0.2):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if condition():
            return True
        time.sleep(step)
    return False


def free_port(used=None):
    """A loopback port nobody holds, taken into `used` (a set) so it is handed out once."""
    used = set() if used is None else used
    for _ in range(200):
        port = random.SystemRandom().randint(*PORTS)
        if port in used:
            continue
        with socket.socket() as s:
            try:
                s.bind(("127.0.0.1", port))
            except OSError:
                continue
        used.add(port)
        return port
    raise RuntimeError("no free loopback port")


def http_get(port, path, headers=None, timeout=10.0):
    """(status, body) of one GET on a connection of its own."""
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout)
    try:
        connection.request("GET", path, headers=headers or {})
        response = connection.getresponse()
        return response.status, response.read().decode(errors="replace")
    finally:
        connection.close()


def proc_sample(pid):
    """A process's CPU seconds, resident MiB, threads and open descriptors."""
    stat = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return {"cpu": (int(stat[11]) + int(stat[12])) / TICKS,
            "rss_mib": int(stat[21]) * PAGE / 2**20,
            "threads": int(stat[17]), "fds": len(os.listdir(f"/proc/{pid}/fd"))}


def spawn(argv, log, env=None):
    """Starts a program with its output (both streams) in the file `log`."""
    with open(log, "w") as out:
        return subprocess.Popen(argv, stdout=out, stderr=subprocess.STDOUT,
                                stdin=subprocess.DEVNULL, env=env)


def start_simulator(simulator, bench, resolved, log, speed, seconds=5, start=spawn):
    """ksm7720-sim on a bench file, once it listens; None (and stopped) when it did not within
    `seconds` (a port was taken). `start(argv, log)` starts it, `spawn` by default."""
    process = start([simulator, "--bench", bench, "--resolved", resolved, "--speed", str(speed)],
                    log)
    if wait_until(lambda: "ksm7720-sim: listening" in open(log).read(), seconds, 0.05):
        return process
    if process.poll() is None:
        process.kill()
    process.wait()
    return None


def prometheus_config(targets, exporter_port, interval, timeout, external_labels=None,
                      basic_auth=None):
    """A Prometheus configuration with one job probing every target through the exporter,
    as packaging/prometheus/prometheus.yml does. `basic_auth` is (user, password)."""
    labels = "".join(f"    {k}: {v}\n" for k, v in (external_labels or {}).items())
    auth = (f"    basic_auth:\n      username: {basic_auth[0]}\n"
            f"      password: {basic_auth[1]}\n") if basic_auth else ""
    return (f"global:\n  scrape_interval: {interval:g}s\n  scrape_timeout: {timeout:g}s\n"
            f"  evaluation_interval: {interval:g}s\n"
            + (f"  external_labels:\n{labels}" if labels else "")
            + "scrape_configs:\n  - job_name: ksm7720\n    metrics_path: /probe\n" + auth
            + "    static_configs:\n      - targets:\n"
            + "".join(f"          - {t}\n" for t in targets)
            + "    relabel_configs:\n"
            "      - source_labels: [__address__]\n        target_label: __param_target\n"
            "      - source_labels: [__param_target]\n        target_label: instance\n"
            f"      - target_label: __address__\n        replacement: 127.0.0.1:{exporter_port}\n")


def start_prometheus(config, data, port, log, debug=False, start=spawn):
    """Debian's Prometheus on 127.0.0.1:port, started by `start(argv, log)`."""
    return start(["prometheus", f"--config.file={config}", f"--storage.tsdb.path={data}",
                  f"--web.listen-address=127.0.0.1:{port}"]
                 + (["--log.level=debug"] if debug else []), log)


def prometheus_ready(port, seconds=30):
    def ready():
        try:
            return http_get(port, "/-/ready", timeout=1)[0] == 200
        except OSError:
            return False
    return wait_until(ready, seconds)


def query(port, expression, at=None):
    """The result list of an instant query (at `at`, else now)."""
    parameters = {"query": expression} | ({"time": f"{at:.3f}"} if at else {})
    status, body = http_get(port, "/api/v1/query?" + urllib.parse.urlencode(parameters),
                            timeout=60)
    if status != 200:
        raise RuntimeError(f"Prometheus on {port} answered {status} to {expression}: {body[:200]}")
    return json.loads(body)["data"]["result"]
