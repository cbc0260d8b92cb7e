#!/usr/bin/env bash
# End to end with real parts, the layouts of packaging/prometheus/site: racks on two bus
# hosts, stood in for by the loopback addresses 127.0.0.2 (racks A and B, VXI0::24::INSTR and
# VXI0::32::INSTR) and 127.0.0.3 (rack C, also VXI0::24::INSTR), one simulator and one
# exporter each, the exporters on one port with TLS (a self-signed certificate for the
# address) and a bcrypt password. Debian's Prometheus runs the shipped central
# configuration on a racks file naming both exporters; it must show every rack up, with
# exactly its own simulator's readings and its exporter's HOST:PORT as the exporter label,
# and each exporter's own /metrics once. A Prometheus agent runs the shipped agent
# configuration against a third exporter (plain, 127.0.0.1) on the first host's racks and
# remote-writes to the central server (TLS and a password too): both racks' readings must
# arrive there with the agent's site and host labels.
#
#   prometheus_site_e2e.sh EXPORTER SIMULATOR STANDIN-DIR SITE-EXAMPLES-DIR RULES-FILE
#
# Exit status 77 (skipped) only when Debian's prometheus is not installed.
set -euo pipefail
exporter=$1 sim=$2 standin=$3 examples=$4 rules=$5

for tool in curl jq openssl python3; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed" >&2; exit 1; }
done
[ -x "$exporter" ] || { echo "FAIL: no exporter at $exporter" >&2; exit 1; }

# shellcheck source=tests/prometheus/e2e_lib.sh
source "$(dirname "$0")/e2e_lib.sh"
require_tools prometheus:prometheus promtool:prometheus

start_simulator host-a "racka VXI0::24::INSTR 1 2" "rackb VXI0::32::INSTR 7 3"
start_simulator host-b "rackc VXI0::24::INSTR 3 2"

# A self-signed certificate for ADDRESS, NAME.crt and NAME.key.
certificate() { # NAME ADDRESS
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 \
    -subj "/CN=$2" -addext "subjectAltName=IP:$2" \
    -keyout "$work/$1.key" -out "$work/$1.crt" 2>/dev/null || fail "openssl made no certificate for $2"
}
# A bcrypt hash of PASSWORD through the system's crypt library, as `htpasswd -nbB` makes.
bcrypt() { # PASSWORD
  python3 -c '
import ctypes, ctypes.util, sys
crypt = ctypes.CDLL(ctypes.util.find_library("crypt") or "libcrypt.so.1")
crypt.crypt_gensalt.restype = crypt.crypt.restype = ctypes.c_char_p
crypt.crypt_gensalt.argtypes = [ctypes.c_char_p, ctypes.c_ulong, ctypes.c_char_p, ctypes.c_int]
crypt.crypt.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
salt = crypt.crypt_gensalt(b"$2b$", 5, None, 0)
if not salt:
    sys.exit("crypt_gensalt made no bcrypt setting")
print(crypt.crypt(sys.argv[1].encode(), salt).decode())' "$1"
}
web_config() { # NAME USER PASSWORD
  local hash
  hash=$(bcrypt "$3") && [[ $hash == '$2b$'* ]] || fail "no bcrypt hash"
  printf 'tls_server_config:\n  cert_file: %s.crt\n  key_file: %s.key\nbasic_auth_users:\n  %s: %s\n' \
    "$1" "$1" "$2" "$hash" >"$work/$1.web.yml"
}

# Every configuration in one folder under the names the examples use (their relative file
# names are kept): the shipped rules, the test's own racks file (the exporters' addresses),
# one CA file with every certificate, the two password files, and the shipped central and
# agent configurations with only these changed: the intervals to 1 s in both; in the
# agent's, the local exporter's port and the central server's address.
etc=$work/etc
mkdir "$etc"
cp "$rules" "$etc/ksm7720.rules.yml"
certificate host-a 127.0.0.2
certificate host-b 127.0.0.3
certificate central 127.0.0.1
cat "$work"/{host-a,host-b,central}.crt >"$etc/ksm7720-ca.crt"
scrape_password=scrape-$RANDOM$RANDOM write_password=write-$RANDOM$RANDOM
echo "$scrape_password" >"$etc/ksm7720.password"
echo "$write_password" >"$etc/remote-write.password"
web_config host-a prometheus "$scrape_password"
web_config host-b prometheus "$scrape_password"
web_config central bus-a "$write_password"

export LD_LIBRARY_PATH="$standin${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
export KSM7720_VISA_LIBRARY="$standin/libvisa.so" KSM7720_DRIVER_LIBRARY="$standin/libksm7720_32.so"
start_host_exporter() { # NAME BENCH ADDRESS:PORT [FLAG...]
  local name=$1 bench=$2 address=$3
  shift 3
  KSM7720_BENCH="$work/$bench.resolved" "$exporter" --web.listen-address="$address" "$@" \
    >"$work/$name.log" 2>&1 &
  pids+=($!)
}
eport=$(free_port 127.0.0.2 127.0.0.3) || fail "no free port for the exporters"
start_host_exporter exporter-a host-a "127.0.0.2:$eport" --web.config.file="$work/host-a.web.yml"
start_host_exporter exporter-b host-b "127.0.0.3:$eport" --web.config.file="$work/host-b.web.yml"
aport=$(free_port) || fail "no free port for the agent's exporter"
start_host_exporter exporter-agent host-a "127.0.0.1:$aport"
for url in "https://127.0.0.2:$eport" "https://127.0.0.3:$eport" "http://127.0.0.1:$aport"; do
  within 5 curl -fs -o /dev/null --max-time 1 --cacert "$etc/ksm7720-ca.crt" \
    -u "prometheus:$scrape_password" "$url/metrics" || fail "the exporter at $url did not start"
done
cat >"$etc/ksm7720-racks.yml" <<EOF2
- labels: {exporter: "127.0.0.2:$eport"}
  targets: [VXI0::24::INSTR, VXI0::32::INSTR]
- labels: {exporter: "127.0.0.3:$eport"}
  targets: [VXI0::24::INSTR]
EOF2

cport=$(free_port) || fail "no free port for the central Prometheus"
sed -e "s/^\(  [a-z_]*_interval:\) 15s$/\1 1s/" "$examples/prometheus.yml" >"$etc/prometheus.yml"
sed -e "s/^\(  [a-z_]*_interval:\) 15s$/\1 1s/" -e "s/127\.0\.0\.1:9772/127.0.0.1:$aport/" \
    -e "s|https://prometheus\.lab\.example:9090/|https://127.0.0.1:$cport/|" \
    "$examples/agent.yml" >"$etc/agent.yml"
[ "$(grep -c '_interval: 1s$' "$etc/prometheus.yml")" = 2 ] &&
  [ "$(grep -c -e '_interval: 1s$' -e "127.0.0.1:$aport" -e "//127.0.0.1:$cport/" "$etc/agent.yml")" = 4 ] ||
  fail "the example configurations no longer have the lines this test changes"
promtool check config "$etc/prometheus.yml" >"$work/promtool.log" 2>&1 ||
  fail "promtool check config failed on the test's configuration"

prometheus --config.file="$etc/prometheus.yml" --storage.tsdb.path="$work/central-data" \
  --web.listen-address="127.0.0.1:$cport" --web.config.file="$work/central.web.yml" \
  --web.enable-remote-write-receiver >"$work/central.log" 2>&1 &
pids+=($!)
central=(curl -fsS --max-time 2 --cacert "$etc/ksm7720-ca.crt" -u "bus-a:$write_password")
within 15 "${central[@]}" -o /dev/null "https://127.0.0.1:$cport/-/ready" 2>/dev/null ||
  fail "the central Prometheus did not start"
start_prometheus agent "$etc/agent.yml" --agent --storage.remote.flush-deadline=2s

# An instant query's result on the central server as sorted lines: the LABELS named, then
# the value, joined by |.
query() { # EXPR [LABEL...]
  local expr=$1
  shift
  "${central[@]}" "https://127.0.0.1:$cport/api/v1/query" --data-urlencode "query=$expr" |
    jq -r --args '.data.result[] | [($ARGS.positional[] as $l | .metric[$l] // ""), .value[1]]
      | join("|")' "$@" | sort
}
readings() { # SELECTOR, without braces
  query "{__name__=~\"ksm7720_(blower_speed_rpm|supply_.*|slot_.*|ambient_temperature_celsius)\",$1}" \
    __name__ blower supply slot position |
    awk -F'|' '{ l = ""; for (i = 2; i < NF; i++) if ($i != "") l = (l == "" ? $i : l "/" $i)
                 printf "%s|%s|%.10g\n", $1, l, $NF }' | sort
}
result_is() { # EXPECTED EXPR LABEL...
  [ "$(query "${@:2}")" = "$1" ]
}
shows() { # WHAT EXPECTED EXPR LABEL...
  local what=$1 expected=$2
  shift 2
  within 15 result_is "$expected" "$@" ||
    fail "$what: expected
$expected
got
$(query "$@")"
}

a=127.0.0.2:$eport b=127.0.0.3:$eport
shows "the racks scraped by the central server" \
  "$a|VXI0::24::INSTR|1
$a|VXI0::32::INSTR|1
$b|VXI0::24::INSTR|1" 'ksm7720_up{job="ksm7720",host=""}' exporter instance
shows "the exporters' own /metrics, one target each" "$a|$a|1
$b|$b|1" 'up{job="ksm7720_exporter",host=""}' exporter instance
for rack in "$a VXI0::24::INSTR racka" "$a VXI0::32::INSTR rackb" "$b VXI0::24::INSTR rackc"; do
  read -r address resource name <<<"$rack"
  selector="exporter=\"$address\",instance=\"$resource\",host=\"\""
  expect_readings 5 "$name" "the readings of $resource at $address" readings "$selector"
done
echo "three racks on two exporters scraped over TLS with a password; values equal the simulators'"

agent_labels="lab-north|bus-a|bus-a.lab.example:9772"
shows "the racks written by the agent" \
  "$agent_labels|VXI0::24::INSTR|1
$agent_labels|VXI0::32::INSTR|1" 'ksm7720_up{host!=""}' site host exporter instance
for rack in "VXI0::24::INSTR racka" "VXI0::32::INSTR rackb"; do
  read -r resource name <<<"$rack"
  selector="site=\"lab-north\",host=\"bus-a\",instance=\"$resource\""
  expect_readings 10 "$name" "the readings of $resource written by the agent" readings "$selector"
done
echo "both racks of the agent's exporter remote-written with site and host; values equal the simulators'"
