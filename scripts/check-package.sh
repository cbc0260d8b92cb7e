#!/usr/bin/env bash
# Checks what scripts/package.sh built in DIR (build-package unless given): lintian on the
# .changes (source and binary packages) finds no error and no warning but those debian/
# overrides explain, the panel's desktop entry and AppStream metainfo validate, neither the
# command line, the exporter nor the Python module needs Qt, the systemd services are
# hardened enough; and, as root:
#   - the life of the packages on this system: the exporter's previous version installed
#     (its service enabled and started), everything upgraded to this one (the service still
#     enabled, restarted once), each program answering, each unit verified, and all purged
#     leaving nothing behind. systemd is not running here, so this runs in a mount namespace
#     of its own that makes debhelper's maintainer scripts believe it is (/run/systemd/system)
#     and records, through policy-rc.d, each start, restart and stop they ask for instead of
#     doing it; enablement is read from the unit's symlinks and deb-systemd-helper's state;
#   - the autopkgtest (debian/tests) against the installed packages, with the null runner
#     (it installs them on this system and leaves them; they are purged after).
#
#   scripts/check-package.sh [DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
packages=(ksm7720 prometheus-ksm7720-exporter ksm7720-sfp python3-ksm7720)
unit=prometheus-ksm7720-exporter.service
fail() { echo "check-package.sh: $*" >&2; exit 1; }

# The packages' life on this system, inside the namespace (see above).
lifecycle() { # DIR
  local out=$1 log version p f
  stage=$(mktemp -d)
  log=$stage/policy.log
  version=$(dpkg-deb -f "$out"/prometheus-ksm7720-exporter_*.deb Version)
  mkdir -p /run/systemd
  mount -t tmpfs tmpfs /run/systemd
  mkdir /run/systemd/system
  printf '#!/bin/sh\necho "$*" >>%s\nexit 101\n' "$log" >"$stage/policy-rc.d"
  chmod +x "$stage/policy-rc.d"
  [ -e /usr/sbin/policy-rc.d ] || fail "no /usr/sbin/policy-rc.d to stand in for"
  mount --bind "$stage/policy-rc.d" /usr/sbin/policy-rc.d
  # Whatever fails, nothing of ours stays installed.
  trap 'apt_get purge "${packages[@]}" 2>/dev/null || true; rm -rf "$stage"' EXIT
  : >"$log"
  apt_get() { DEBIAN_FRONTEND=noninteractive apt-get -y -qq --no-install-recommends "$@" >/dev/null; }
  enabled() {
    [ -L "/etc/systemd/system/multi-user.target.wants/$unit" ] &&
      DPKG_MAINTSCRIPT_PACKAGE=prometheus-ksm7720-exporter deb-systemd-helper --quiet \
        was-enabled "$unit"
  }

  # The previous version: this package relabelled.
  dpkg-deb -R "$out"/prometheus-ksm7720-exporter_*.deb "$stage/previous"
  sed -i "s/^Version: .*/Version: $version~previous/" "$stage/previous/DEBIAN/control"
  dpkg-deb --root-owner-group -b "$stage/previous" "$stage/previous.deb" >/dev/null
  apt_get install "$stage/previous.deb"
  enabled || fail "the previous version left $unit disabled"
  [ "$(cat "$log")" = "$unit start" ] || fail "installing did not start $unit once: $(cat "$log")"

  : >"$log"
  local debs=()
  for p in "${packages[@]}"; do debs+=("$(ls "$out/$p"_*.deb)"); done
  apt_get install "${debs[@]}"
  [ "$(dpkg-query -W -f='${Version}' prometheus-ksm7720-exporter)" = "$version" ] ||
    fail "the exporter was not upgraded"
  enabled || fail "the upgrade left $unit disabled"
  [ "$(cat "$log")" = "$unit restart" ] || fail "the upgrade did not restart $unit once: $(cat "$log")"
  for p in ksm7720 prometheus-ksm7720-exporter ksm7720-sfp; do
    env -u DISPLAY -u WAYLAND_DISPLAY "$p" --version >/dev/null
  done
  (cd / && /usr/bin/python3 -c 'import ksm7720')
  for f in /lib/systemd/system/$unit /lib/systemd/system/ksm7720-metrics@.service \
           /lib/systemd/system/ksm7720-metrics@.timer; do
    systemd-analyze verify --man=no "$f"
  done
  for p in "${packages[@]}"; do dpkg-query -L "$p"; done | grep -vx '/\.' | sort -u >"$stage/files"
  echo "check-package.sh: installed, upgraded from $version~previous: $unit enabled, restarted once"

  : >"$log"
  apt_get purge "${packages[@]}"
  [ "$(cat "$log")" = "$unit stop" ] || fail "removing did not stop $unit once: $(cat "$log")"
  while read -r f; do
    # A folder of the system's own (another package's, or a merged-/usr link) stays;
    # nothing of ours does.
    if [ -d "$f" ]; then
      [ -L "$f" ] || dpkg -S "$f" >/dev/null 2>&1 || fail "$f left behind"
    elif [ -e "$f" ] || [ -L "$f" ]; then
      fail "$f left behind"
    fi
  done <"$stage/files"
  for f in "/etc/systemd/system/multi-user.target.wants/$unit" "/etc/systemd/system/$unit" \
           /etc/default/ksm7720 /etc/default/prometheus-ksm7720-exporter; do
    if [ -e "$f" ] || [ -L "$f" ]; then fail "$f left behind"; fi
  done
  if find /var/lib/systemd/deb-systemd-helper-enabled /var/lib/systemd/deb-systemd-helper-masked \
       -name "*ksm7720*" 2>/dev/null | grep .; then
    fail "deb-systemd-helper still remembers the units"
  fi
  echo "check-package.sh: purged, $unit stopped once, nothing left behind"
}
if [ "${1:-}" = --lifecycle ]; then
  lifecycle "$2"
  exit 0
fi

out=$(realpath "${1:-$root/build-package}")
declare -A deb
for p in "${packages[@]}"; do
  deb[$p]=$(ls "$out/$p"_*.deb)
done
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
for p in "${packages[@]}"; do dpkg-deb -x "${deb[$p]}" "$stage/$p"; done

desktop-file-validate "$stage"/ksm7720-sfp/usr/share/applications/*.desktop
appstreamcli validate --no-net --pedantic "$stage"/ksm7720-sfp/usr/share/metainfo/*.metainfo.xml
lintian --fail-on error,warning "$out"/*.changes
echo "check-package.sh: desktop entry, metainfo and lintian clean"

for p in ksm7720 prometheus-ksm7720-exporter python3-ksm7720; do
  if find "$stage/$p" -type f \( -path '*/bin/*' -o -name '*.so' \) -exec readelf -d {} + \
       2>/dev/null | grep -q 'NEEDED.*libQt'; then
    fail "$p links Qt"
  fi
  depends=$(dpkg-deb -f "${deb[$p]}" Depends | sed 's/([^)]*)//g; s/[,|]/ /g')
  # shellcheck disable=SC2086
  if apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
       --no-replaces --no-enhances $depends | grep -i '^libqt\|^qt6'; then
    fail "$p pulls Qt"
  fi
done
# Each service's exposure as systemd-analyze rates it (0 safe to 10 exposed): at most 1.5.
for service in "prometheus-ksm7720-exporter/lib/systemd/system/$unit" \
               "ksm7720/lib/systemd/system/ksm7720-metrics@.service"; do
  systemd-analyze security --offline=yes --threshold=15 "$stage/$service" | tail -n 1
done
echo "check-package.sh: the command line, the exporter and the Python module pull no Qt"

[ "$(id -u)" -eq 0 ] || { echo "check-package.sh: not root, install and autopkgtest not tried"; exit 0; }
for p in "${packages[@]}"; do
  if dpkg-query -W "$p" >/dev/null 2>&1; then
    echo "check-package.sh: $p is already installed here, install and autopkgtest not tried"
    exit 0
  fi
  # A configuration file left by an install outside dpkg (cmake --install as root) would
  # stop apt at a question nobody can answer.
  for f in $(dpkg-deb --ctrl-tarfile "${deb[$p]}" | tar -xOf - ./conffiles 2>/dev/null); do
    [ ! -e "$f" ] || fail "$f is on this system but $p is not installed; remove it"
  done
done
unshare -m --propagation private "$0" --lifecycle "$out"

# The null runner installs the packages here and leaves them: purged after, pass or fail.
trap 'DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "${packages[@]}" >/dev/null; rm -rf "$stage"' EXIT
autopkgtest "$out"/*.changes -- null
echo "check-package.sh: autopkgtest passed"
