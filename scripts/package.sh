#!/usr/bin/env bash
# Builds the four Debian packages in build-package/ (NAME_VERSION_ARCH.deb) with Debian's
# hardening flags, stripped, without the tests, benchmarks and simulated bench tools, and
# with --install installs them all with apt:
#
#   scripts/package.sh [--install]
#
#   ksm7720-sfp                  the panel (Qt): program, desktop entry, icons, metainfo
#   ksm7720                      the command line, no Qt
#   prometheus-ksm7720-exporter  the exporter, no Qt: program, systemd unit,
#                                /etc/default/prometheus-ksm7720-exporter, examples
#   python3-ksm7720              the Python module and its type stub, no Qt
#
# Each holds its program's manual page, copyright and changelog. The simulator and the
# stand-in libraries are in none of them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
install=0
case "${1:-}" in
  --install) install=1 ;;
  "") ;;
  *) echo "usage: $0 [--install]" >&2; exit 2 ;;
esac
scripts/install-deps.sh

out="$root/build-package"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSFP_BUILD_TESTS=OFF \
  -DSFP_BUILD_BENCH=OFF \
  -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  -DCMAKE_SHARED_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  -DCMAKE_MODULE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$out" -j"$(nproc)"
rm -f "$out"/*.deb
(cd "$out" && cpack -G DEB >/dev/null)
debs=("$out"/*.deb)
printf '%s\n' "${debs[@]}"

if [ "$install" = 1 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get install -y "${debs[@]}"
fi
