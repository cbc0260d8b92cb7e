# shellcheck shell=bash
# Helpers for the end-to-end scripts in this folder, sourced by them: a temporary folder
# and the processes started (`work`, `pids`), both cleaned up at exit; waiting, free ports,
# simulated racks and what they answer over their own sockets. The caller sets `sim` (the
# simulator) and adds what it starts to `pids`.

work=$(mktemp -d)
pids=()
# Ends the processes last started first, so an agent stops while the server it writes to
# still answers.
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[$i]}" 2>/dev/null || true
    wait "${pids[$i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
  echo "FAIL: $*" >&2
  local log
  for log in "$work"/*.log; do
    [ -s "$log" ] && { echo "--- $(basename "$log")" >&2; tail -n 20 "$log" >&2; }
  done
  exit 1
}

# Polls "$@" every 0.2 s until it succeeds, for at most $1 seconds.
within() {
  local seconds=$1
  shift
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}

# A port nobody listens on at any of the loopback addresses given (127.0.0.1 when none);
# the caller binds it at once and fails if it lost it. It is taken below the range the
# kernel hands out to outgoing connections: a closed connection's port stays taken for a
# minute (TIME_WAIT), and a busy machine's loopback holds thousands of them.
free_port() { # [ADDRESS...]
  local port address taken low=32768
  read -r low _ </proc/sys/net/ipv4/ip_local_port_range 2>/dev/null || true
  [ "$low" -gt 12000 ] || low=32768
  for _ in $(seq 100); do
    port=$((10000 + RANDOM % (low - 10000)))
    taken=
    for address in "${@:-127.0.0.1}"; do
      (exec 3<>"/dev/tcp/$address/$port") 2>/dev/null && taken=1
    done
    [ -n "$taken" ] || { echo "$port"; return; }
  done
  return 1
}

# One simulator with the mainframes given as "NAME RESOURCE SEED BLOWERS", writing its
# resolved bench to $work/BENCH.resolved; each mainframe's port goes in sim_port[NAME], the
# simulator's process id in sim_pid[BENCH]. It is started by scripts/start-sim.sh.
# shellcheck source=scripts/start-sim.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/start-sim.sh"
declare -A sim_port sim_pid
start_simulator() { # BENCH "NAME RESOURCE SEED BLOWERS"...
  local bench=$1 rack name resource seed blowers
  shift
  for rack in "$@"; do
    read -r name resource seed blowers <<<"$rack"
    printf 'instrument %s mainframe port=0 seed=%s blowers=%s\nresource %s %s intf=VXI manf=3372 model=2861\n' \
      "$name" "$seed" "$blowers" "$resource" "$name"
  done >"$work/$bench.bench"
  local started=1
  launch_simulator "$sim" "$work/$bench.bench" "$work/$bench.resolved" "$work/$bench.log" \
    --speed 0 2>>"$work/$bench.log" || started=""
  sim_pid[$bench]=$launched_pid
  pids+=("$launched_pid")
  [ -n "$started" ] || fail "simulator $bench did not start"
  for rack in "$@"; do
    name=${rack%% *}
    sim_port[$name]=$(sed -n "s/^instrument $name .*port=\([0-9]*\).*/\1/p" "$work/$bench.resolved")
    [ -n "${sim_port[$name]}" ] || fail "no port for $name in its resolved bench"
  done
}

# What a mainframe answers, as sorted lines "name|identifying labels|value" (the labels
# blower, supply, slot, position joined by /): each present reading over its socket.
measure() { # FD CODE NAME DIVISOR LABEL
  local reply values i label
  local positions=(front middle rear)
  printf 'MEAS:LEV? %s\n' "$2" >&"$1"
  IFS= read -r -t 2 reply <&"$1" || return 1
  IFS=, read -r -a values <<<"${reply%$'\r'}"
  for i in "${!values[@]}"; do
    label=$5
    [ "${#values[@]}" -eq 1 ] || label="$5/${positions[$i]}"
    awk -v n="$3" -v l="$label" -v v="${values[$i]}" -v d="$4" 'BEGIN { printf "%s|%s|%.10g\n", n, l, v / d }'
  done
}
simulator_readings() { # NAME
  local fd code i
  local supplies=(P5 P12 N12 P24 N24 N5PT2 N2)
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

# Whether the lines "name|labels|value" that COMMAND prints are RACK's simulator's readings,
# all 103 series of them.
readings_equal() { # RACK COMMAND...
  local expected
  expected=$(simulator_readings "$1") || return 1
  [ "$(wc -l <<<"$expected")" = 103 ] && [ "$expected" = "$("${@:2}")" ]
}
# Waits up to SECONDS until COMMAND prints RACK's simulator's readings; else fails with WHAT
# and the difference.
expect_readings() { # SECONDS RACK WHAT COMMAND...
  within "$1" readings_equal "$2" "${@:4}" ||
    fail "$3 differ from the simulator's:
$(diff <(simulator_readings "$2") <("${@:4}"))"
}

# The tools a test needs, as "COMMAND:DEBIAN-PACKAGE": a missing one skips the test
# (status 77) with its package named.
require_tools() { # COMMAND:PACKAGE...
  local tool
  for tool in "$@"; do
    command -v "${tool%%:*}" >/dev/null || {
      echo "SKIPPED: ${tool%%:*} is not installed (Debian package ${tool#*:})"
      exit 77
    }
  done
}

# SOURCE copied to DEST with the sed expressions given, failing when they change another
# number of lines than CHANGED: the example no longer has the lines the test edits.
edit_example() { # SOURCE DEST CHANGED SED-EXPRESSION...
  local source=$1 dest=$2 changed=$3 expression args=()
  shift 3
  for expression in "$@"; do args+=(-e "$expression"); done
  sed "${args[@]}" "$source" >"$dest"
  [ "$(diff "$source" "$dest" | grep -c '^>')" = "$changed" ] ||
    fail "$(basename "$source") no longer has the $changed lines this test changes:
$(diff "$source" "$dest")"
}

# The exporter on a free loopback port, its stand-in VISA library reading the resolved
# bench BENCH, with the flags given; its port in exporter_port[NAME], its process id in
# exporter_pid[NAME]. The caller sets `exporter` and `standin`.
declare -A exporter_pid exporter_port
start_exporter() { # NAME BENCH [FLAG...]
  local name=$1 bench=$2 port
  shift 2
  port=$(free_port 127.0.0.1) || fail "no free port for $name"
  LD_LIBRARY_PATH="$standin${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" KSM7720_BENCH="$work/$bench.resolved" \
    KSM7720_VISA_LIBRARY="$standin/libvisa.so" KSM7720_DRIVER_LIBRARY="$standin/libksm7720_32.so" \
    "$exporter" --web.listen-address="127.0.0.1:$port" "$@" >"$work/$name.log" 2>&1 &
  exporter_pid[$name]=$!
  exporter_port[$name]=$port
  pids+=($!)
  within 5 curl -fs -o /dev/null --max-time 1 "http://127.0.0.1:$port/metrics" ||
    fail "$name did not start"
}

# Debian's Prometheus on CONFIG (checked by promtool first) at a free loopback port, with
# the flags given; its URL in prometheus_url[NAME]. `--agent` as a flag runs it as an
# agent: a feature flag up to Prometheus 2.x (Debian 12), a flag of its own since 3.0.
declare -A prometheus_url prometheus_pid
start_prometheus() { # NAME CONFIG [--agent] [FLAG...]
  local name=$1 config=$2 port check=() storage=--storage.tsdb.path
  shift 2
  if [ "${1-}" = --agent ]; then
    shift
    check=(--agent) storage=--storage.agent.path
    if prometheus --help 2>&1 | grep -qE -- ' --(\[no-\])?agent '; then
      set -- --agent "$@"
    else
      set -- --enable-feature=agent "$@"
    fi
  fi
  promtool check config ${check[@]+"${check[@]}"} "$config" >"$work/$name.promtool.log" 2>&1 ||
    fail "promtool check config failed on $config: $(cat "$work/$name.promtool.log")"
  port=$(free_port 127.0.0.1) || fail "no free port for $name"
  prometheus "$@" --config.file="$config" "$storage=$work/$name.data" \
    --web.listen-address="127.0.0.1:$port" >"$work/$name.log" 2>&1 &
  prometheus_pid[$name]=$!
  pids+=($!)
  prometheus_url[$name]="http://127.0.0.1:$port"
  within 15 curl -fs -o /dev/null --max-time 1 "${prometheus_url[$name]}/-/ready" ||
    fail "$name did not start"
}
