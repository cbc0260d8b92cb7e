#!/usr/bin/env bash
# End to end with real parts: two simulated racks (one simulator process each, time standing
# still), the exporter, and Debian's Prometheus running the shipped example configuration
# (only its ports and intervals changed) with the shipped alert rules, scraping every second.
# Prometheus must hold exactly what each simulator answers over its own socket; once one
# rack's simulator is stopped, that rack must show ksm7720_up 0, no reading, limit, fitted or
# error-queue series and a pending KSM7720RackDown within a few scrapes, while the other
# rack still reads true. (That every exposition passes `promtool check metrics` is the
# exporter's and the command line's process tests' to check.)
#
#   prometheus_e2e.sh EXPORTER SIMULATOR STANDIN-DIR EXAMPLES-DIR
#
# Exit status 77 (skipped) only when Debian's prometheus is not installed.
set -euo pipefail
exporter=$1 sim=$2 standin=$3 examples=$4

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
  query "{__name__=~\"ksm7720_(blower_speed_rpm|supply_.*|slot_.*|ambient_temperature_celsius)\",instance=\"$1\"}" |
    awk -F'|' '{ printf "%s|%s|%.10g\n", $1, $2, $3 }'
}

up_is() { # RESOURCE VALUE
  [ "$(query "ksm7720_up{instance=\"$1\"}")" = "ksm7720_up||$2" ]
}

declare -A rack_of=([VXI0::24::INSTR]=racka [VXI0::32::INSTR]=rackb)
for resource in "${!rack_of[@]}"; do
  within 15 up_is "$resource" 1 || fail "Prometheus does not show $resource up"
  expect_readings 5 "${rack_of[$resource]}" "Prometheus's readings of $resource" readings "$resource"
done
[ "$(query 'ksm7720_blower_fitted{instance="VXI0::32::INSTR"}')" = $'ksm7720_blower_fitted|1|1\nksm7720_blower_fitted|2|1\nksm7720_blower_fitted|3|1' ] ||
  fail "rack B's three blowers are not all fitted"
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
up_is VXI0::24::INSTR 1 || fail "rack A is no longer up"
expect_readings 1 racka "rack A's readings" readings VXI0::24::INSTR
echo "rack A still up with its simulator's values"
