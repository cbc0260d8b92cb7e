#!/usr/bin/env bash
# The textfile collector end to end with real parts: two simulated racks, the command line
# exactly as ksm7720-metrics@.service runs it (its Environment=, EnvironmentFile=, UMask=
# and ExecStart= read from the unit, the instance put in, /etc and /var/lib moved under a
# folder of the test; no systemd), and Debian's node_exporter reading the folder as its own
# user. One rack is named by its resource (and so has no name), the other by a rack file
# (whose name it takes). Node_exporter must show every series of both racks with their
# rack label; a rack whose simulator stopped
# must show ksm7720_up 0 after one run; a run killed while writing (a file-size limit)
# must leave the rack's file as it was; and node_exporter never reports a textfile error.
# Both units also pass `systemd-analyze verify`.
#
#   textfile_e2e.sh UNIT-DIR KSM7720 SIMULATOR STANDIN-DIR
#
# Exit status 77 (skipped) only when Debian's prometheus-node-exporter is not installed.
set -euo pipefail
units=$1 cli=$2 sim=$3 standin=$4
node_exporter=/usr/bin/prometheus-node-exporter
service="$units/ksm7720-metrics@.service"

# shellcheck source=tests/prometheus/e2e_lib.sh
source "$(dirname "$0")/e2e_lib.sh"
require_tools "$node_exporter:prometheus-node-exporter"

# Both units as systemd reads them, the program where the unit expects it.
mkdir "$work/units"
sed "s#/usr/bin/ksm7720 #$cli #" "$service" >"$work/units/ksm7720-metrics@.service"
cp "$units/ksm7720-metrics@.timer" "$work/units/"
(cd "$work/units" && systemd-analyze verify --man=no ./ksm7720-metrics@.service \
  ./ksm7720-metrics@.timer) >"$work/verify.log" 2>&1 || fail "systemd-analyze verify: $(cat "$work/verify.log")"

# One simulator per rack, so one can stop; the stand-in VISA library reads both benches.
start_simulator racka "racka VXI0::24::INSTR 1 2"
start_simulator rackb "rackb VXI0::32::INSTR 7 3"
cat "$work/racka.resolved" "$work/rackb.resolved" >"$work/bench"

# The host's files under $root: the libraries in /etc/default/ksm7720, rack B's own file,
# and node_exporter's folder as Debian makes it (root's, readable by all).
root="$work/root"
textfiles="$root/var/lib/prometheus/node-exporter"
mkdir -p "$root/etc/default" "$root/etc/ksm7720" "$textfiles"
chmod 755 "$work" "$root" "$root/var" "$root/var/lib" "$root/var/lib/prometheus" "$textfiles"
cat >"$root/etc/default/ksm7720" <<EOF
# The stand-in libraries, and the bench they read.
KSM7720_VISA_LIBRARY=$standin/libvisa.so
KSM7720_DRIVER_LIBRARY="$standin/libksm7720_32.so"
LD_LIBRARY_PATH=$standin
KSM7720_BENCH=$work/bench
EOF
printf 'RESOURCE=VXI0::32::INSTR\nARGS="--blowers 3"\n' >"$root/etc/ksm7720/rack-b.conf"

# systemd's part for instance $1, without systemd: the unit's specifiers put in, its paths
# moved under $root, its environment (later settings win, a missing "-" file skipped), its
# umask, and ExecStart's words with ${NAME} kept whole and $NAME split at blanks. Runs the
# command with the extra shell commands of $2 (such as a ulimit) first; its status.
run_unit() { # INSTANCE [SHELL-COMMANDS]
  local escaped=$1 unescaped line key value word file split
  unescaped=$(systemd-escape --unescape -- "$1")
  local -A env=([PATH]=/usr/bin:/bin)
  local umask_value=0022 argv=() words=()
  while IFS= read -r line; do
    line=${line//%i/$escaped}
    line=${line//%I/$unescaped}
    line=${line//\/etc\//$root\/etc\/}
    line=${line//\/var\/lib\//$root\/var\/lib\/}
    key=${line%%=*} value=${line#*=}
    case $key in
      Environment)
        read -r -a words <<<"$value"
        for word in "${words[@]}"; do env[${word%%=*}]=${word#*=}; done ;;
      EnvironmentFile)
        file=${value#-}
        if [ ! -e "$file" ]; then
          [ "$file" != "$value" ] || fail "the unit needs $file"
          continue
        fi
        while IFS= read -r word; do
          [[ $word =~ ^([A-Za-z_][A-Za-z0-9_]*)=(.*)$ ]] || continue
          key=${BASH_REMATCH[1]} value=${BASH_REMATCH[2]}
          [[ $value =~ ^\"(.*)\"$ ]] && value=${BASH_REMATCH[1]}
          env[$key]=$value
        done <"$file" ;;
      UMask) umask_value=$value ;;
      ExecStart)
        read -r -a words <<<"$value"
        argv=()
        for word in "${words[@]}"; do
          if [[ $word =~ ^\$([A-Za-z_][A-Za-z0-9_]*)$ ]]; then
            read -r -a split <<<"${env[${BASH_REMATCH[1]}]-}"
            argv+=(${split[@]+"${split[@]}"})
          else
            while [[ $word =~ \$\{([A-Za-z_][A-Za-z0-9_]*)\} ]]; do
              word=${word//"${BASH_REMATCH[0]}"/${env[${BASH_REMATCH[1]}]-}}
            done
            argv+=("$word")
          fi
        done ;;
    esac
  done < <(grep -E '^(Environment|EnvironmentFile|UMask|ExecStart)=' "$service")
  [ "${argv[0]}" = /usr/bin/ksm7720 ] || fail "the unit no longer runs /usr/bin/ksm7720: ${argv[*]}"
  argv[0]=$cli
  local assignments=()
  for key in "${!env[@]}"; do assignments+=("$key=${env[$key]}"); done
  (
    umask "$umask_value"
    ulimit -c 0
    eval "${2:-:}"
    exec timeout 30 env -i "${assignments[@]}" "${argv[@]}"
  ) >"$work/unit.log" 2>&1
}

fileA="$textfiles/ksm7720-VXI0::24::INSTR.prom"
fileB="$textfiles/ksm7720-rack-b.prom"
run_unit VXI0::24::INSTR || fail "the unit for VXI0::24::INSTR failed"
run_unit rack-b || fail "the unit for rack-b failed"
for f in "$fileA" "$fileB"; do
  [ "$(stat -c %a "$f")" = 644 ] || fail "$f has mode $(stat -c %a "$f"), not 644"
done

# Node_exporter with nothing but its textfile collector, as its own user where it has one.
as_user=()
if [ "$(id -u)" -eq 0 ] && id prometheus >/dev/null 2>&1; then
  as_user=(setpriv --reuid=prometheus --regid=prometheus --init-groups)
fi
port=$(free_port 127.0.0.1) || fail "no free port for node_exporter"
${as_user[@]+"${as_user[@]}"} "$node_exporter" --web.listen-address="127.0.0.1:$port" \
  --collector.disable-defaults --collector.textfile \
  --collector.textfile.directory="$textfiles" >"$work/node_exporter.log" 2>&1 &
pids+=($!)
url="http://127.0.0.1:$port/metrics"
within 10 curl -fs -o /dev/null --max-time 1 "$url" || fail "node_exporter did not start"

scrape() { curl -fsS --max-time 5 "$url" >"$work/scrape" || fail "could not fetch $url"; }
has() { grep -qxF "$1" "$work/scrape"; }
series_of() { grep -c "^ksm7720_[a-z_]*{.*rack=\"$1\"" "$2" || true; }
scrape_ok() {
  has "node_textfile_scrape_error 0" || fail "node_exporter reports a textfile error:
$(grep -i textfile "$work/scrape")"
}

scrape
scrape_ok
has 'ksm7720_up{rack="VXI0::24"} 1' || fail "rack A is not up in node_exporter"
has 'ksm7720_up{rack="VXI0::32"} 1' || fail "rack B is not up in node_exporter"
has 'ksm7720_blower_fitted{blower="3",rack="VXI0::32"} 1' || fail "rack B's file did not give --blowers 3"
has 'ksm7720_info{name="rack-b",rack="VXI0::32",resource="VXI0::32::INSTR"} 1' ||
  fail "rack B is not named after its file rack-b.conf"
has 'ksm7720_info{rack="VXI0::24",resource="VXI0::24::INSTR"} 1' ||
  fail "rack A, whose unit is named after its resource, has a name"
declare -A file_of=([VXI0::24]=$fileA [VXI0::32]=$fileB)
for rack in "${!file_of[@]}"; do
  wrote=$(series_of "$rack" "${file_of[$rack]}") shown=$(series_of "$rack" "$work/scrape")
  if [ "$wrote" -le 100 ] || [ "$wrote" != "$shown" ]; then
    fail "rack $rack: $wrote series in its file, $shown in node_exporter"
  fi
done
echo "both racks' series in node_exporter with their rack label"

# Rack B stops for good: one run, and node_exporter shows it down with no readings.
kill "${sim_pid[rackb]}"
wait "${sim_pid[rackb]}" 2>/dev/null || true
if run_unit rack-b; then fail "the unit for a dead rack succeeded"; fi
scrape
scrape_ok
has 'ksm7720_up{rack="VXI0::32"} 0' || fail "rack B does not show ksm7720_up 0 after its simulator stopped"
grep -q '^ksm7720_supply_voltage_volts{.*rack="VXI0::32"' "$work/scrape" &&
  fail "rack B still shows readings"
echo "rack B down after one run: ksm7720_up 0, no readings"

# A run killed halfway through writing rack A's file (a file-size limit of 1 KiB) keeps it.
cp "$fileA" "$work/before.prom"
if run_unit VXI0::24::INSTR "ulimit -f 1" 2>"$work/killed.log"; then fail "a run over the file-size limit succeeded"; fi
cmp -s "$fileA" "$work/before.prom" || fail "a killed run changed rack A's file"
scrape
scrape_ok
has 'ksm7720_up{rack="VXI0::24"} 1' || fail "rack A is no longer up after a killed run"
[ "$(series_of VXI0::24 "$work/scrape")" = "$(series_of VXI0::24 "$fileA")" ] ||
  fail "node_exporter shows a part of rack A's file"
echo "a run killed while writing left rack A's file and node_exporter as they were"
