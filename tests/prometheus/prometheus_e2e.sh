#!/usr/bin/env bash
# End to end with real parts: two simulated racks (one simulator process each, time standing
# still), the exporter, and Debian's Prometheus running the shipped example configuration
# (only its ports and intervals changed) with the shipped alert rules, scraping every second.
# Prometheus must hold exactly what each simulator answers over its own socket; once one
# rack's simulator is stopped, that rack must show ksm7720_up 0, no reading, limit, fitted or
# error-queue series and a pending KSM7720RackDown within a few scrapes, while the other
# rack still reads true.
# Every exposition it sees passes `promtool check metrics`.
#
#   prometheus_e2e.sh EXPORTER SIMULATOR STANDIN-DIR EXAMPLES-DIR KSM7720
#
# Exit status 77 (skipped) only when Debian's prometheus is not installed.
set -euo pipefail
exporter=$1 sim=$2 standin=$3 examples=$4 cli=$5

[ -x "$exporter" ] || { echo "FAIL: no exporter at $exporter" >&2; exit 1; }

# shellcheck source=tests/prometheus/e2e_lib.sh
source "$(dirname "$0")/e2e_lib.sh"
require_tools prometheus:prometheus promtool:prometheus

# One simulator per rack, each its own bench and resolved file on a port it picks itself.
start_simulator racka "racka VXI0::24::INSTR 1 2"
start_simulator rackb "rackb VXI0::32::INSTR 7 3"
# The stand-in VISA library reads one bench: both resolved ones, each naming its fixed port.
cat "$work/racka.resolved" "$work/rackb.resolved" >"$work/both.resolved"

cat >"$work/racks.yml" <<'EOF2'
racks:
  - resource: VXI0::24::INSTR
    name: rack-a
    blowers: 2
  - resource: VXI0::32::INSTR
    name: rack-b
    blowers: 3
EOF2
start_exporter exporter both --config.file="$work/racks.yml"
eport=${exporter_port[exporter]}
exporter_url="http://127.0.0.1:$eport"

# The shipped configuration and rules, with the exporter's port, a 1 s interval, and the
# node_exporter job sent to a port nobody listens on.
edit_example "$examples/prometheus.yml" "$work/prometheus.yml" 5 \
  "s/127\.0\.0\.1:9772/127.0.0.1:$eport/" "s/127\.0\.0\.1:9100/127.0.0.1:$(free_port)/" \
  "s/^\(  [a-z_]*_interval:\) 15s$/\1 1s/"
cp "$examples/ksm7720.rules.yml" "$work/"
start_prometheus prometheus "$work/prometheus.yml"
prom_url=${prometheus_url[prometheus]}

# An instant query's result as sorted lines "name|identifying labels|value".
query() {
  curl -fsS --max-time 2 "$prom_url/api/v1/query" --data-urlencode "query=$1" | jq -r '
    .data.result[] | [.metric.__name__ // "",
      ([.metric.blower, .metric.supply, .metric.slot, .metric.position, .metric.alertstate]
        | map(select(. != null)) | join("/")),
      .value[1]] | join("|")' | sort
}
readings() { # RESOURCE
  query "{__name__=~\"ksm7720_(blower_speed_rpm|supply_.*|slot_.*|ambient_temperature_celsius)\",instance=\"$1\"}"
}

# Prometheus's readings of RESOURCE equal RACK's simulator's, all 103 series of them.
values_match() { # RESOURCE RACK
  local expected actual
  expected=$(simulator_readings "$2") || return 1
  actual=$(readings "$1" | awk -F'|' '{ printf "%s|%s|%.10g\n", $1, $2, $3 }')
  [ "$(wc -l <<<"$expected")" = 103 ] && [ "$expected" = "$actual" ]
}

up_is() { # RESOURCE VALUE
  [ "$(query "ksm7720_up{instance=\"$1\"}")" = "ksm7720_up||$2" ]
}

check_metrics() { # URL
  curl -fsS --max-time 5 "$1" >"$work/exposition" || fail "could not fetch $1"
  promtool check metrics <"$work/exposition" >"$work/promtool.log" 2>&1 ||
    fail "promtool check metrics on $1: $(cat "$work/promtool.log")"
}

declare -A rack_of=([VXI0::24::INSTR]=racka [VXI0::32::INSTR]=rackb)
for resource in "${!rack_of[@]}"; do
  within 15 up_is "$resource" 1 || fail "Prometheus does not show $resource up"
  within 5 values_match "$resource" "${rack_of[$resource]}" ||
    fail "Prometheus's readings of $resource differ from its simulator's:
$(diff <(simulator_readings "${rack_of[$resource]}") <(readings "$resource"))"
done
[ "$(query 'ksm7720_blower_fitted{instance="VXI0::32::INSTR"}')" = $'ksm7720_blower_fitted|1|1\nksm7720_blower_fitted|2|1\nksm7720_blower_fitted|3|1' ] ||
  fail "rack B's three blowers are not all fitted"
check_metrics "$exporter_url/probe?target=VXI0::24::INSTR"
check_metrics "$exporter_url/metrics"
LD_LIBRARY_PATH="$standin${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" KSM7720_BENCH="$work/both.resolved" \
  KSM7720_VISA_LIBRARY="$standin/libvisa.so" KSM7720_DRIVER_LIBRARY="$standin/libksm7720_32.so" \
  "$cli" -a VXI0::24::INSTR metrics --name rack-a >"$work/textfile.prom" ||
  fail "ksm7720 metrics failed"
promtool check metrics <"$work/textfile.prom" >"$work/promtool.log" 2>&1 ||
  fail "promtool check metrics on ksm7720 metrics: $(cat "$work/promtool.log")"
echo "both racks scraped through the relabelling; values equal the simulators'"

# Rack B stops for good.
kill "${sim_pid[rackb]}"
wait "${sim_pid[rackb]}" 2>/dev/null || true
stopped=$SECONDS
# Nothing but whether it was read, how long that took and what it is.
leftovers() {
  query '{__name__=~"ksm7720_.*",__name__!~"ksm7720_(up|scrape_duration_seconds|info)",instance="VXI0::32::INSTR"}'
}
no_readings() { [ -z "$(leftovers)" ]; }
rack_down_pending() {
  [ "$(query 'ALERTS{alertname="KSM7720RackDown",instance="VXI0::32::INSTR"}')" = "ALERTS|pending|1" ]
}
within 5 up_is VXI0::32::INSTR 0 || fail "rack B does not show ksm7720_up 0 after its simulator stopped"
within 2 no_readings || fail "rack B still shows readings: $(leftovers)"
within 3 rack_down_pending || fail "no pending KSM7720RackDown for rack B"
echo "rack B down after $((SECONDS - stopped)) s: ksm7720_up 0, no readings, KSM7720RackDown pending"
check_metrics "$exporter_url/probe?target=VXI0::32::INSTR"
up_is VXI0::24::INSTR 1 || fail "rack A is no longer up"
values_match VXI0::24::INSTR racka || fail "rack A no longer reads what its simulator says"
echo "rack A still up with its simulator's values"
