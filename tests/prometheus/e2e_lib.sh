# shellcheck shell=bash disable=SC2034,SC2154  # sourced: the caller sets and reads these
# Shared by the end-to-end scripts in this folder, sourced after `set -euo pipefail` with
# $sim, $exporter and $standin set (the simulator, the exporter, the stand-in libraries'
# folder): a work folder, the processes started (all stopped on exit), polling, loopback
# ports, simulated racks, exporters and Prometheus servers on the shipped example
# configuration.

work=$(mktemp -d)
pids=()
cleanup() {
  local pid
  for pid in ${pids[@]+"${pids[@]}"}; do kill "$pid" 2>/dev/null || true; done
  for pid in ${pids[@]+"${pids[@]}"}; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
  echo "FAIL: $*" >&2
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

# A loopback port nobody listens on; the caller binds it at once and fails if it lost it.
free_port() {
  local port
  for _ in $(seq 100); do
    port=$((20000 + RANDOM % 40000))
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
  done
  return 1
}

# One simulator per rack, each its own bench and resolved file on a port it picks itself.
declare -A sim_pid sim_port
start_rack() { # NAME RESOURCE SEED BLOWERS
  printf 'instrument %s mainframe port=0 seed=%s blowers=%s\nresource %s %s intf=VXI manf=3372 model=2861\n' \
    "$1" "$3" "$4" "$2" "$1" >"$work/$1.bench"
  "$sim" --bench "$work/$1.bench" --resolved "$work/$1.resolved" --speed 0 >"$work/$1.log" 2>&1 &
  sim_pid[$1]=$!
  pids+=($!)
  within 5 grep -qs "^ksm7720-sim: listening" "$work/$1.log" || fail "simulator $1 did not start"
  sim_port[$1]=$(sed -n "s/^instrument $1 .*port=\([0-9]*\).*/\1/p" "$work/$1.resolved")
  [ -n "${sim_port[$1]}" ] || fail "no port for $1 in its resolved bench"
}

# An exporter on a free loopback port whose stand-in VISA library reads the resolved
# benches of RACKS, with the rack list RACK-LIST; its port in exporter_port[NAME].
declare -A exporter_pid exporter_port
start_exporter() { # NAME RACK-LIST RACK...
  local name=$1 list=$2 port rack
  shift 2
  for rack in "$@"; do cat "$work/$rack.resolved"; done >"$work/$name.bench"
  port=$(free_port) || fail "no free port for $name"
  LD_LIBRARY_PATH="$standin${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" KSM7720_BENCH="$work/$name.bench" \
    KSM7720_VISA_LIBRARY="$standin/libvisa.so" KSM7720_DRIVER_LIBRARY="$standin/libksm7720_32.so" \
    "$exporter" --web.listen-address="127.0.0.1:$port" --config.file="$list" >"$work/$name.log" 2>&1 &
  exporter_pid[$name]=$!
  exporter_port[$name]=$port
  pids+=($!)
  within 5 curl -fs -o /dev/null --max-time 1 "http://127.0.0.1:$port/metrics" ||
    fail "$name did not start"
}

# Prometheus on the shipped configuration and rules (in EXAMPLES), changed only in the
# exporter's and Alertmanager's ports and to a 1 s interval; its URL in prometheus_url[NAME].
declare -A prometheus_url
start_prometheus() { # NAME EXAMPLES EXPORTER-PORT ALERTMANAGER-PORT
  local name=$1 examples=$2 port
  mkdir "$work/$name"
  sed -e "s/127\.0\.0\.1:9772/127.0.0.1:$3/" -e "s/127\.0\.0\.1:9093/127.0.0.1:$4/" \
      -e "s/^\(  [a-z_]*_interval:\) 15s$/\1 1s/" "$examples/prometheus.yml" >"$work/$name/prometheus.yml"
  cp "$examples/ksm7720.rules.yml" "$work/$name/"
  [ "$(grep -c -e "127.0.0.1:$3\$" -e "127.0.0.1:$4\$" -e '_interval: 1s$' "$work/$name/prometheus.yml")" = 5 ] ||
    fail "the example configuration no longer has the lines this test changes"
  promtool check config "$work/$name/prometheus.yml" >"$work/promtool.log" 2>&1 ||
    fail "promtool check config failed on the test's configuration"
  port=$(free_port) || fail "no free port for $name"
  prometheus --config.file="$work/$name/prometheus.yml" --storage.tsdb.path="$work/$name/data" \
    --web.listen-address="127.0.0.1:$port" >"$work/$name.log" 2>&1 &
  pids+=($!)
  prometheus_url[$name]="http://127.0.0.1:$port"
  within 15 curl -fs -o /dev/null --max-time 1 "${prometheus_url[$name]}/-/ready" ||
    fail "$name did not start"
}
