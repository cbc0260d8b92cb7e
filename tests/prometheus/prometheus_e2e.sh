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

for tool in prometheus promtool; do
  command -v "$tool" >/dev/null || {
    echo "SKIPPED: $tool is not installed (Debian package prometheus)"
    exit 77
  }
done
[ -x "$exporter" ] || { echo "FAIL: no exporter at $exporter" >&2; exit 1; }

# shellcheck source=tests/prometheus/e2e_lib.sh
. "$(dirname "$0")/e2e_lib.sh"

start_rack racka VXI0::24::INSTR 1 2
start_rack rackb VXI0::32::INSTR 7 3
cat >"$work/racks.yml" <<'EOF'
racks:
  - resource: VXI0::24::INSTR
    name: rack-a
    blowers: 2
  - resource: VXI0::32::INSTR
    name: rack-b
    blowers: 3
EOF
start_exporter exporter "$work/racks.yml" racka rackb
exporter_url="http://127.0.0.1:${exporter_port[exporter]}"
# No Alertmanager: its port is one nobody listens on.
start_prometheus prometheus "$examples" "${exporter_port[exporter]}" "$(free_port)"
prom_url=${prometheus_url[prometheus]}
# The command line reads the same bench as the exporter.
export LD_LIBRARY_PATH="$standin${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
export KSM7720_BENCH="$work/exporter.bench"
export KSM7720_VISA_LIBRARY="$standin/libvisa.so" KSM7720_DRIVER_LIBRARY="$standin/libksm7720_32.so"

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

# What a rack's simulator answers, in the same lines: each present reading over its socket.
supplies=(P5 P12 N12 P24 N24 N5PT2 N2)
positions=(front middle rear)
measure() { # FD CODE NAME DIVISOR LABEL
  local reply values i label
  printf 'MEAS:LEV? %s\n' "$2" >&"$1"
  IFS= read -r -t 2 reply <&"$1" || return 1
  IFS=, read -r -a values <<<"${reply%$'\r'}"
  for i in "${!values[@]}"; do
    label=$5
    [ "${#values[@]}" -eq 1 ] || label="$5/${positions[$i]}"
    awk -v n="$3" -v l="$label" -v v="${values[$i]}" -v d="$4" 'BEGIN { printf "%s|%s|%.10g\n", n, l, v / d }'
  done
}
simulator_readings() { # RACK
  local fd code i
  exec {fd}<>"/dev/tcp/127.0.0.1/${sim_port[$1]}"
  {
    for code in 1 2 3; do measure "$fd" $((49 + code)) ksm7720_blower_speed_rpm 1 "$code"; done
    for i in "${!supplies[@]}"; do
      measure "$fd" $((42 + i)) ksm7720_supply_voltage_volts 1000 "${supplies[$i]}"
      measure "$fd" $((35 + i)) ksm7720_supply_current_amperes 1000 "${supplies[$i]}"
      measure "$fd" $((27 + i)) ksm7720_supply_power_watts 1000 "${supplies[$i]}"
    done
    for code in $(seq 0 12); do
      measure "$fd" "$code" ksm7720_slot_air_temperature_celsius 10 "$code"
      measure "$fd" $((13 + code)) ksm7720_slot_temperature_rise_celsius 10 "$code"
    done
    measure "$fd" 26 ksm7720_ambient_temperature_celsius 10 ""
  } | sort
  exec {fd}>&-
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
"$cli" -a VXI0::24::INSTR metrics >"$work/textfile.prom" ||
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
