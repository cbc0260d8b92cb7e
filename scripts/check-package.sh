#!/usr/bin/env bash
# Checks the four packages scripts/package.sh produced: the panel's desktop entry and
# AppStream metainfo validate, lintian finds nothing to warn about in any of them, neither
# the command line nor the exporter needs Qt (their programs link none and nothing they
# depend on pulls it), the systemd services are hardened enough; and (as root) each
# package installs with apt, puts its files in place, answers --version (the Python module:
# imports with Debian's python3), its units verify, and purges without a trace.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build-package"
packages=(ksm7720 prometheus-ksm7720-exporter ksm7720-sfp python3-ksm7720)
declare -A deb
for p in "${packages[@]}"; do
  deb[$p]=$(ls "$out/$p"_*.deb)
done
unit=prometheus-ksm7720-exporter.service
cli_units="ksm7720-metrics@.service ksm7720-metrics@.timer"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
for p in "${packages[@]}"; do dpkg-deb -x "${deb[$p]}" "$stage/$p"; done

desktop-file-validate "$stage"/ksm7720-sfp/usr/share/applications/*.desktop
appstreamcli validate --no-net --pedantic "$stage"/ksm7720-sfp/usr/share/metainfo/*.metainfo.xml
lintian --fail-on error,warning "${deb[@]}"
echo "check-package.sh: desktop entry, metainfo and lintian clean"

for p in ksm7720 prometheus-ksm7720-exporter python3-ksm7720; do
  if readelf -d "$stage/$p"/usr/bin/* "$stage/$p"/usr/lib/python3/dist-packages/ksm7720/*.so \
       2>/dev/null | grep -q 'NEEDED.*libQt'; then
    echo "check-package.sh: $p links Qt" >&2
    exit 1
  fi
  depends=$(dpkg-deb -f "${deb[$p]}" Depends | sed 's/([^)]*)//g; s/[,|]/ /g')
  # shellcheck disable=SC2086
  if apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
       --no-replaces --no-enhances $depends | grep -i '^libqt\|^qt6'; then
    echo "check-package.sh: $p pulls Qt" >&2
    exit 1
  fi
done
# Each service's exposure as systemd-analyze rates it (0 safe to 10 exposed): at most 1.5.
for service in "prometheus-ksm7720-exporter/lib/systemd/system/$unit" \
               "ksm7720/lib/systemd/system/ksm7720-metrics@.service"; do
  systemd-analyze security --offline=yes --threshold=15 "$stage/$service" | tail -n 1
done
echo "check-package.sh: the command line, the exporter and the Python module pull no Qt"

[ "$(id -u)" -eq 0 ] || { echo "check-package.sh: not root, install not tried"; exit 0; }
for p in "${packages[@]}"; do
  if dpkg-query -W "$p" >/dev/null 2>&1; then
    echo "check-package.sh: $p is already installed here, install not tried"
    exit 0
  fi
  # A configuration file left by an install outside dpkg (cmake --install as root) would
  # stop apt at a question nobody can answer.
  for f in $(dpkg-deb --ctrl-tarfile "${deb[$p]}" | tar -xOf - ./conffiles 2>/dev/null); do
    if [ -e "$f" ]; then
      echo "check-package.sh: $f is on this system but $p is not installed; remove it" >&2
      exit 1
    fi
  done
done

declare -A files=(
  [ksm7720]="/usr/bin/ksm7720 /usr/share/man/man1/ksm7720.1.gz /etc/default/ksm7720
    /lib/systemd/system/ksm7720-metrics@.service /lib/systemd/system/ksm7720-metrics@.timer
    /usr/share/doc/ksm7720/examples/rack.conf"
  [prometheus-ksm7720-exporter]="/usr/bin/prometheus-ksm7720-exporter
    /usr/share/man/man1/prometheus-ksm7720-exporter.1.gz /lib/systemd/system/$unit
    /etc/default/prometheus-ksm7720-exporter
    /usr/share/doc/prometheus-ksm7720-exporter/examples/prometheus.yml
    /usr/share/doc/prometheus-ksm7720-exporter/examples/ksm7720.rules.yml
    /usr/share/doc/prometheus-ksm7720-exporter/examples/alertmanager.yml
    /usr/share/doc/prometheus-ksm7720-exporter/examples/ksm7720.yml
    /usr/share/doc/prometheus-ksm7720-exporter/examples/web.yml
    /usr/share/doc/prometheus-ksm7720-exporter/examples/credentials.conf
    /usr/share/doc/prometheus-ksm7720-exporter/examples/site/prometheus.yml"
  [ksm7720-sfp]="/usr/bin/ksm7720-sfp /usr/share/man/man1/ksm7720-sfp.1.gz
    /usr/share/applications/org.ksm7720.sfp.desktop
    /usr/share/icons/hicolor/48x48/apps/ksm7720-sfp.png"
  [python3-ksm7720]="/usr/lib/python3/dist-packages/ksm7720/__init__.pyi
    /usr/lib/python3/dist-packages/ksm7720/py.typed
    /usr/share/doc/python3-ksm7720/copyright"
)
for p in "${packages[@]}"; do
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${deb[$p]}" >/dev/null
  for f in ${files[$p]}; do
    [ -e "$f" ] || { echo "check-package.sh: $f not installed" >&2; exit 1; }
  done
  if [ "$p" = python3-ksm7720 ]; then
    (cd / && /usr/bin/python3 -c 'import ksm7720; print("ksm7720", ksm7720.__version__)')
  else
    env -u DISPLAY -u WAYLAND_DISPLAY "$p" --version
  fi
  if [ "$p" = prometheus-ksm7720-exporter ]; then
    systemd-analyze verify --man=no "/lib/systemd/system/$unit"
  fi
  if [ "$p" = ksm7720 ]; then
    for u in $cli_units; do systemd-analyze verify --man=no "/lib/systemd/system/$u"; done
  fi
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "$p" >/dev/null
  for f in ${files[$p]} "/etc/systemd/system/multi-user.target.wants/$unit"; do
    if [ -e "$f" ] || [ -L "$f" ]; then
      echo "check-package.sh: $f left behind by $p" >&2
      exit 1
    fi
  done
  if dpkg-query -W "$p" >/dev/null 2>&1; then
    echo "check-package.sh: $p did not remove cleanly" >&2
    exit 1
  fi
  echo "check-package.sh: $p installed and purged cleanly"
done
