#!/usr/bin/env bash
# Builds the Debian source package and the four binary packages (with their -dbgsym
# packages) with dpkg-buildpackage, from the files git knows in this tree as they are on
# disk, copied into DIR/ksm7720-sfp-VERSION so that no build tree of the project's own gets
# in; the results land in DIR (build-package unless given). The build dependencies are
# installed first where missing; with --install the four packages are installed with apt.
#
#   scripts/package.sh [--install] [--out DIR]
#
#   ksm7720-sfp                  the panel (Qt): program, desktop entry, icons, metainfo
#   ksm7720                      the command line, no Qt: program, textfile collector units,
#                                /etc/default/ksm7720, an example rack file
#   prometheus-ksm7720-exporter  the exporter, no Qt: program, systemd unit,
#                                /etc/default/prometheus-ksm7720-exporter, examples
#   python3-ksm7720              the Python module and its type stub, no Qt
#
# The build runs the test suite unless DEB_BUILD_OPTIONS has nocheck. The simulator and the
# stand-in libraries are in no package.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
usage() { echo "usage: scripts/package.sh [--install] [--out DIR]" >&"$1"; }
install=0 out="$root/build-package"
while [ $# -gt 0 ]; do
  case "$1" in
    --install) install=1 ;;
    --out) [ $# -ge 2 ] || { usage 2; exit 2; }; out=$(realpath -m "$2"); shift ;;
    -h | --help) usage 1; exit 0 ;;
    *) usage 2; exit 2 ;;
  esac
  shift
done
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

profiles=()
case " ${DEB_BUILD_OPTIONS:-} " in *" nocheck "*) profiles=(-Pnocheck) ;; esac
if ! dpkg-checkbuilddeps "${profiles[@]}" 2>/dev/null; then
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get build-dep -y -qq \
    "${profiles[@]}" "$root"
fi

version=$(dpkg-parsechangelog -l debian/changelog -S Version)
src="$out/ksm7720-sfp-$version"
rm -rf "$src"
rm -f "$out"/*.deb "$out"/*.ddeb "$out"/*.changes "$out"/*.buildinfo "$out"/*.dsc \
  "$out"/*.tar.*
mkdir -p "$src"
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
  tar --null -T - -cf - | tar -xf - -C "$src"
(cd "$src" && dpkg-buildpackage -us -uc "${profiles[@]}")
ls "$out"/*.deb

if [ "$install" = 1 ]; then
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y \
    "$out"/ksm7720-sfp_*.deb "$out"/ksm7720_*.deb "$out"/prometheus-ksm7720-exporter_*.deb \
    "$out"/python3-ksm7720_*.deb
fi
