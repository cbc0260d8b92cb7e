#!/usr/bin/env bash
# End to end, one notification per fault, with real parts: Debian's Alertmanager on a copy
# of the shipped alertmanager.yml whose receivers post to a local webhook recording every
# notification (group_wait shortened to 5 s), and Prometheus on the shipped configuration
# and rules (1 s intervals, `for:` and the silence windows shortened as said below):
# - exporter 1 (racks A and B) and node_exporter, with rack G's textfile written by
#   `ksm7720 metrics --name rack-g` every second as the timer would, under Prometheus 1;
# - exporter 2 (racks C and D) under Prometheus 2;
# - exporter 3 (racks E and F) under a Prometheus agent on the shipped site/agent.yml
#   (site lab-north, host bus-a), remote-writing to Prometheus 1.
# Four faults at once: exporter 2 killed, rack B hung, the simulator of racks E and F
# killed, rack G's timer stopped; then, once those have paged, the agent killed. Exactly
# five notifications must come, one per fault, each naming what failed: exporter 2 with
# racks C and D in its text, rack-b, both of rack-e and rack-f in one bus host alert, rack-g's
# stale file, and site lab-north host bus-a. The alerts held back must be those of the
# dead exporter's probes and of racks E and F; a rack's readings alerts must be held back
# by its own KSM7720RackDown only, and a node's bus host alert must hold back that node's
# racks alone (alerts posted as Prometheus would send them). Faults it catches: alerts named by resource only, the
# `exporter` label missing or not compared (one exporter's fault muting another's racks, one
# alert per rack behind a dead exporter or bus host), grouping or routing by something else
# than rack and severity, a silent agent or stale file that pages nothing.
#
#   alertmanager_e2e.sh EXPORTER SIMULATOR STANDIN-DIR EXAMPLES-DIR KSM7720
#
# Exit status 77 (skipped) only when Debian's prometheus, prometheus-alertmanager or
# prometheus-node-exporter is not installed.
set -euo pipefail
export LC_ALL=C # sorted lines in byte order, as written below
exporter=$1 sim=$2 standin=$3 examples=$4 cli=$5
node_exporter=/usr/bin/prometheus-node-exporter

[ -x "$exporter" ] || { echo "FAIL: no exporter at $exporter" >&2; exit 1; }
# shellcheck source=tests/prometheus/e2e_lib.sh
source "$(dirname "$0")/e2e_lib.sh"
require_tools prometheus:prometheus promtool:prometheus \
  prometheus-alertmanager:prometheus-alertmanager amtool:prometheus-alertmanager \
  "$node_exporter:prometheus-node-exporter"

# The webhook: every notification as one line {"path": ..., "body": ...}.
python3 - "$work/hook.port" "$work/notifications" >"$work/hook.log" 2>&1 <<'EOF2' &
import http.server, json, os, sys
class Hook(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        length = min(int(self.headers.get("Content-Length", "0")), 1 << 20)
        body = json.loads(self.rfile.read(length))
        with open(sys.argv[2], "a") as out:
            out.write(json.dumps({"path": self.path, "body": body}) + "\n")
        self.send_response(200)
        self.end_headers()
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(("127.0.0.1", 0), Hook)
with open(sys.argv[1] + ".new", "w") as port:
    port.write(str(server.server_address[1]))
os.rename(sys.argv[1] + ".new", sys.argv[1])
server.serve_forever()
EOF2
pids+=($!)
within 5 test -s "$work/hook.port" || fail "the webhook did not start"
hook_port=$(cat "$work/hook.port")

# The shipped Alertmanager configuration, its receivers posting to the webhook.
mkdir "$work/alertmanager"
edit_example "$examples/alertmanager.yml" "$work/alertmanager/alertmanager.yml" 4 \
  "s|http://127\.0\.0\.1:5001/REPLACE-|http://127.0.0.1:$hook_port/|" "s/^\(  group_wait:\) 30s$/\1 5s/"
amtool check-config "$work/alertmanager/alertmanager.yml" >"$work/amtool.log" 2>&1 ||
  fail "amtool check-config failed on the test's configuration"
am_port=$(free_port 127.0.0.1) || fail "no free port for Alertmanager"
prometheus-alertmanager --config.file="$work/alertmanager/alertmanager.yml" \
  --storage.path="$work/alertmanager/data" --web.listen-address="127.0.0.1:$am_port" \
  --cluster.listen-address= >"$work/alertmanager.log" 2>&1 &
pids+=($!)
am_url="http://127.0.0.1:$am_port"
within 10 curl -fs -o /dev/null --max-time 1 "$am_url/-/ready" || fail "Alertmanager did not start"

# The shipped rules with shorter waits: `for:` 2m to 20 s and 1m to 10 s, a silent site
# after 5 s instead of a minute, a stale file after 15 s instead of two minutes.
edit_example "$examples/ksm7720.rules.yml" "$work/ksm7720.rules.yml" 13 \
  's/^        for: 2m$/        for: 20s/' 's/^        for: 1m$/        for: 10s/' \
  's/}\[1m\])/}[5s])/' 's/ > 120,$/ > 15,/'

# Two racks behind each exporter, the same resources: one simulator per exporter, and one
# for rack G's textfile.
start_simulator site1 "racka VXI0::24::INSTR 1 2" "rackb VXI0::32::INSTR 7 3"
start_simulator site2 "rackc VXI0::24::INSTR 3 2" "rackd VXI0::32::INSTR 5 3"
start_simulator site3 "racke VXI0::24::INSTR 4 2" "rackf VXI0::32::INSTR 6 3"
start_simulator site4 "rackg VXI0::24::INSTR 8 2"
for site in 1 2 3; do
  first=$(echo "a c e" | cut -d' ' -f$site) second=$(echo "b d f" | cut -d' ' -f$site)
  printf 'racks:\n  - resource: VXI0::24::INSTR\n    name: rack-%s\n    blowers: 2\n  - resource: VXI0::32::INSTR\n    name: rack-%s\n    blowers: 3\n' \
    "$first" "$second" >"$work/racks$site.yml"
  start_exporter "exporter$site" "site$site" --config.file="$work/racks$site.yml"
done
e1="127.0.0.1:${exporter_port[exporter1]}" e2="127.0.0.1:${exporter_port[exporter2]}"

# Rack G's timer: its file rewritten every second in node_exporter's folder.
textfiles="$work/textfiles"
mkdir "$textfiles"
timer() {
  while :; do
    LD_LIBRARY_PATH="$standin${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" KSM7720_BENCH="$work/site4.resolved" \
      KSM7720_VISA_LIBRARY="$standin/libvisa.so" KSM7720_DRIVER_LIBRARY="$standin/libksm7720_32.so" \
      "$cli" -a VXI0::24::INSTR metrics --name=rack-g --blowers 2 \
      --output "$textfiles/ksm7720-rack-g.prom" 2>>"$work/timer.log" || true
    sleep 1
  done
}
timer &
timer_pid=$!
pids+=($!)
within 10 test -s "$textfiles/ksm7720-rack-g.prom" || fail "rack G's timer wrote no file"
node_port=$(free_port 127.0.0.1) || fail "no free port for node_exporter"
"$node_exporter" --web.listen-address="127.0.0.1:$node_port" --collector.disable-defaults \
  --collector.textfile --collector.textfile.directory="$textfiles" >"$work/node_exporter.log" 2>&1 &
pids+=($!)

for p in 1 2; do
  edit_example "$examples/prometheus.yml" "$work/prometheus$p.yml" 6 \
    "s/127\.0\.0\.1:9772/127.0.0.1:${exporter_port[exporter$p]}/" "s/127\.0\.0\.1:9093/127.0.0.1:$am_port/" \
    "s/127\.0\.0\.1:9100/127.0.0.1:$node_port/" "s/^\(  [a-z_]*_interval:\) 15s$/\1 1s/"
done
# Prometheus 2 reads no node_exporter: rack G belongs to Prometheus 1.
sed -i "s/127\.0\.0\.1:$node_port/127.0.0.1:$(free_port)/" "$work/prometheus2.yml"
start_prometheus prometheus1 "$work/prometheus1.yml" --web.enable-remote-write-receiver
start_prometheus prometheus2 "$work/prometheus2.yml"

# The shipped agent configuration: exporter 3 at its port, 1 s intervals, writing to
# Prometheus 1 without the TLS and password the site example sets up.
edit_example "$examples/site/agent.yml" "$work/agent.yml" 4 \
  "s/127\.0\.0\.1:9772/127.0.0.1:${exporter_port[exporter3]}/" "s/^\(  [a-z_]*_interval:\) 15s$/\1 1s/" \
  "s|https://prometheus\.lab\.example:9090/|${prometheus_url[prometheus1]}/|" '/^    tls_config:/,$d'
start_prometheus agent "$work/agent.yml" --agent
e3=bus-a.lab.example:9772

# An instant query's result as sorted lines of the labels NAMES and the value.
query() { # PROMETHEUS QUERY NAMES...
  local url=${prometheus_url[$1]} q=$2
  shift 2
  curl -fsS --max-time 2 "$url/api/v1/query" --data-urlencode "query=$q" |
    jq -r --args '.data.result[] | [($ARGS.positional[] as $l | .metric[$l] // "-"), .value[1]] | join("|")' "$@" |
    sort
}
racks_named() { # PROMETHEUS EXPECTED-LINES
  [ "$(query "$1" 'ksm7720_up * ignoring(resource, name) group_left(name) ksm7720_info' exporter instance rack name)" = "$2" ]
}
within 15 racks_named prometheus1 "-|127.0.0.1:$node_port|VXI0::24|rack-g|1
$e1|VXI0::24::INSTR|-|rack-a|1
$e1|VXI0::32::INSTR|-|rack-b|1
$e3|VXI0::24::INSTR|-|rack-e|1
$e3|VXI0::32::INSTR|-|rack-f|1" ||
  fail "Prometheus 1 does not read racks A, B, E, F and G: $(query prometheus1 'ksm7720_up * ignoring(resource, name) group_left(name) ksm7720_info' exporter instance rack name)"
within 15 racks_named prometheus2 "$e2|VXI0::24::INSTR|-|rack-c|1
$e2|VXI0::32::INSTR|-|rack-d|1" || fail "Prometheus 2 does not read rack-c and rack-d"

# The four faults at once.
kill "${exporter_pid[exporter2]}"
wait "${exporter_pid[exporter2]}" 2>/dev/null || true
kill "${sim_pid[site3]}"
wait "${sim_pid[site3]}" 2>/dev/null || true
kill "$timer_pid"
wait "$timer_pid" 2>/dev/null || true
exec {fd}<>"/dev/tcp/127.0.0.1/${sim_port[rackb]}"
printf 'SIM:HANG 0\n' >&"$fd"
exec {fd}>&-
faults=$SECONDS

# Each notification's alerts as lines "receiver path|status|alert count|alertname|name|
# exporter|site/host|summary|description".
notifications() {
  [ -s "$work/notifications" ] || return 0
  jq -r '.path as $p | .body | .status as $s | (.alerts | length) as $n | .alerts[] |
    [$p, $s, $n, .labels.alertname, .labels.name // "-", .labels.exporter // "-",
     "\(.labels.site // "-")/\(.labels.host // "-")", .annotations.summary,
     .annotations.description] | map(tostring) | join("|")' "$work/notifications" | sort
}
at_least() { [ "$(notifications | wc -l)" -ge "$1" ]; }
within 90 at_least 4 || fail "not four notifications 90 s after the faults: $(notifications)"
echo "four notifications $((SECONDS - faults)) s after the faults"

# Then the agent dies: its samples stop.
kill "${prometheus_pid[agent]}"
wait "${prometheus_pid[agent]}" 2>/dev/null || true
silent=$SECONDS
within 60 at_least 5 || fail "no fifth notification 60 s after the agent was killed: $(notifications)"
echo "the silent agent's notification $((SECONDS - silent)) s after it was killed"
# Whatever else is still to come (a group not held back) would come within group_wait.
sleep 8
node=127.0.0.1:$node_port
expected="/oncall|firing|1|KSM7720AllRacksDown|-|$e3|lab-north/bus-a|KS M7720 bus host $e3: none of its racks can be read|Every scrape of all 2 racks behind $e3 for 2 minutes failed, so the fault is most likely the bus host's (its VISA interface, a cable, a bus extender) rather than each rack's: rack-e (VXI0::24::INSTR), rack-f (VXI0::32::INSTR).
/oncall|firing|1|KSM7720ExporterDown|-|$e2|-/-|KS M7720 exporter cannot be scraped for $e2|Every scrape of $e2 in job ksm7720_exporter for 2 minutes failed: the exporter is down, refuses the target or does not answer in time, so what it watches is unknown. Racks left unread: rack-c (VXI0::24::INSTR), rack-d (VXI0::32::INSTR).
/oncall|firing|1|KSM7720RackDown|rack-b|$e1|-/-|KS M7720 rack rack-b (VXI0::32::INSTR) cannot be read|Every scrape of rack-b for 2 minutes failed (not found, no answer, connection lost or an instrument failure), so none of its readings is known.
/oncall|firing|1|KSM7720SiteSilent|-|-|lab-north/bus-a|KS M7720 site lab-north host bus-a has sent nothing for 2 minutes|No sample of site lab-north, host bus-a has come in for over 2 minutes: its Prometheus agent is down, or cannot reach this server, so its racks are not watched: rack-e (VXI0::24::INSTR), rack-f (VXI0::32::INSTR).
/oncall|firing|1|KSM7720TextfileStale|-|-|-/-|KS M7720 rack rack-g: its textfile on $node is stale|$textfiles/ksm7720-rack-g.prom on $node was last written AGE ago, so what it says of rack-g is old: ksm7720-metrics@rack-g.timer has stopped or its runs fail to write (systemctl status and journalctl -u ksm7720-metrics@rack-g)."
actual=$(notifications | sed 's/ was last written [0-9.ms ]* ago,/ was last written AGE ago,/')
[ "$actual" = "$expected" ] ||
  fail "the notifications differ from one per fault:
$(diff <(echo "$expected") <(echo "$actual"))"

# Alertmanager's alerts as lines "alertname|job|instance|exporter|state".
am_alerts() { # ALERTNAME-REGEX
  curl -fsS --max-time 2 "$am_url/api/v2/alerts" | jq -r --arg re "$1" '.[] |
    select(.labels.alertname | test($re)) |
    [.labels.alertname, .labels.job, .labels.instance // "-", .labels.exporter // "-", .status.state] | join("|")' |
    sort
}
expected="KSM7720AllRacksDown|ksm7720|-|$e3|active
KSM7720ExporterDown|ksm7720_exporter|$e2|$e2|active
KSM7720ExporterDown|ksm7720|VXI0::24::INSTR|$e2|suppressed
KSM7720ExporterDown|ksm7720|VXI0::32::INSTR|$e2|suppressed
KSM7720RackDown|ksm7720|VXI0::24::INSTR|$e3|suppressed
KSM7720RackDown|ksm7720|VXI0::32::INSTR|$e1|active
KSM7720RackDown|ksm7720|VXI0::32::INSTR|$e3|suppressed"
[ "$(am_alerts 'Down$')" = "$expected" ] ||
  fail "Alertmanager's alerts differ:
$(diff <(echo "$expected") <(am_alerts 'Down$'))"
echo "one notification per fault, each naming its racks; the alerts behind them held back"

# A blower alert of each rack behind exporter 1, as Prometheus would send it: rack B's is
# held back by its RackDown, rack A's is not.
blower_alert() { # INSTANCE NAME
  printf '{"labels": {"alertname": "KSM7720BlowerStopped", "severity": "critical", "job": "ksm7720", "instance": "%s", "exporter": "%s", "name": "%s", "blower": "1"}}' \
    "$1" "$e1" "$2"
}
curl -fsS --max-time 2 -H 'Content-Type: application/json' "$am_url/api/v2/alerts" \
  -d "[$(blower_alert VXI0::24::INSTR rack-a), $(blower_alert VXI0::32::INSTR rack-b)]" ||
  fail "Alertmanager did not take the blower alerts"
expected="KSM7720BlowerStopped|ksm7720|VXI0::24::INSTR|$e1|active
KSM7720BlowerStopped|ksm7720|VXI0::32::INSTR|$e1|suppressed"
[ "$(am_alerts Blower)" = "$expected" ] ||
  fail "the blower alerts are not held back by rack B's RackDown alone: $(am_alerts Blower)"
echo "rack-b's readings alerts held back by its RackDown, rack-a's not"

# The textfile path's bus host alert, as Prometheus would send it: it holds back the
# RackDown of its own node's racks, not another node's.
textfile_alert() { # ALERTNAME INSTANCE [RACK]
  printf '{"labels": {"alertname": "%s", "severity": "critical", "job": "node", "instance": "%s"%s}}' \
    "$1" "$2" "${3:+, \"rack\": \"$3\"}"
}
curl -fsS --max-time 2 -H 'Content-Type: application/json' "$am_url/api/v2/alerts" \
  -d "[$(textfile_alert KSM7720AllRacksDown host-a:9100), $(textfile_alert KSM7720RackDown host-a:9100 VXI0::24),
       $(textfile_alert KSM7720RackDown host-b:9100 VXI0::24)]" ||
  fail "Alertmanager did not take the textfile alerts"
expected="KSM7720AllRacksDown|node|host-a:9100|-|active
KSM7720RackDown|node|host-a:9100|-|suppressed
KSM7720RackDown|node|host-b:9100|-|active"
[ "$(am_alerts 'Down$' | grep '|node|')" = "$expected" ] ||
  fail "a node's bus host alert does not hold back its own racks alone: $(am_alerts 'Down$')"
echo "a node's bus host alert holds back its own racks' RackDown, not another node's"
